#pragma once
// A small random generator. Every instance is meant for one value: make it,
// RandomizeSeed() it from the operating system's entropy, draw, drop it.
#include <cstdint>

namespace platform {

class Random {
 public:
  Random() = default;
  // A fresh seed from the OS entropy source (buffered, so a seed costs nanoseconds).
  void RandomizeSeed();
  // A whole number from a to b, both included; with a > b, from b to a.
  std::int32_t InRange(std::int32_t a, std::int32_t b);

 private:
  std::uint64_t next();
  std::uint64_t state_[2] = {0x9E3779B97F4A7C15ull, 0xBF58476D1CE4E5B9ull};
};

}  // namespace platform
