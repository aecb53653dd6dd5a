#pragma once
// A picture loaded from a file. Copies share the same image.
#include <memory>

namespace platform {

class Picture {
 public:
  Picture() = default;  // no picture
  bool IsNil() const { return !image_; }
  explicit operator bool() const { return !IsNil(); }
  int Width() const;
  int Height() const;

  struct Image;  // the toolkit's image, inside the platform layer
  explicit Picture(std::shared_ptr<const Image> image) : image_(std::move(image)) {}
  const Image* image() const { return image_.get(); }

 private:
  std::shared_ptr<const Image> image_;
};

}  // namespace platform
