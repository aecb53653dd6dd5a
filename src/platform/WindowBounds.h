#pragma once
// What the preference store needs of a window: the position of its content
// area on the screen and its size, read and set.
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
