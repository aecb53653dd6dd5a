#pragma once
// What the preference store needs of a window: the position of its content
// area (where its controls are, inside any frame, title bar or menu-bar
// strip) on the screen and its size. Read and set mean the same rectangle,
// so bounds read from a window and set on a new one put it back exactly.
#include <cstdint>

namespace platform {

class WindowBounds {
 public:
  virtual ~WindowBounds() = default;
  virtual std::int32_t Left() const = 0;
  virtual std::int32_t Top() const = 0;
  virtual std::int32_t Width() const = 0;
  virtual std::int32_t Height() const = 0;
  virtual void SetLeft(std::int32_t value) = 0;
  virtual void SetTop(std::int32_t value) = 0;
  virtual void SetWidth(std::int32_t value) = 0;
  virtual void SetHeight(std::int32_t value) = 0;
};

}  // namespace platform
