#include "Random.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <random>
#include <utility>

#if defined(__linux__)
#include <sys/random.h>
#elif defined(__APPLE__)
#include <stdlib.h>
#endif

namespace platform {
namespace {

// Seeds come from the OS in blocks: one call to the entropy source gives the
// fresh seeds of many generators, so seeding each value stays cheap.
class SeedPool {
 public:
  std::uint64_t take() {
    if (next_ == kSize) refill();
    return pool_[next_++];
  }

 private:
  static constexpr int kSize = 512;
  void refill() {
    fill(pool_, sizeof pool_);
    next_ = 0;
  }
  // One request for the whole block: std::random_device costs a microsecond
  // per 32 bits here, which would dominate the generation of a patch.
  static void fill(void* buffer, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(buffer);
#if defined(__linux__)
    while (size > 0) {
      const ssize_t n = ::getrandom(bytes, size, 0);
      if (n < 0) {
        if (errno == EINTR) continue;
        break;
      }
      bytes += n;
      size -= static_cast<std::size_t>(n);
    }
#elif defined(__APPLE__)
    ::arc4random_buf(bytes, size);
    size = 0;
#endif
    if (size == 0) return;
    std::random_device device;
    while (size > 0) {
      const unsigned value = device();
      const std::size_t n = std::min(size, sizeof value);
      std::memcpy(bytes, &value, n);
      bytes += n;
      size -= n;
    }
  }
  std::uint64_t pool_[kSize];
  int next_ = kSize;
};

std::uint64_t splitmix64(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

void Random::RandomizeSeed() {
  static thread_local SeedPool pool;
  std::uint64_t seed = pool.take();
  state_[0] = splitmix64(seed);
  state_[1] = splitmix64(seed);
}

// xoroshiro128+: small and fast, good enough for sound design.
std::uint64_t Random::next() {
  const std::uint64_t s0 = state_[0];
  std::uint64_t s1 = state_[1];
  const std::uint64_t result = s0 + s1;
  s1 ^= s0;
  state_[0] = ((s0 << 24) | (s0 >> 40)) ^ s1 ^ (s1 << 16);
  state_[1] = (s1 << 37) | (s1 >> 27);
  return result;
}

std::int32_t Random::InRange(std::int32_t a, std::int32_t b) {
  if (a > b) std::swap(a, b);
  const std::uint64_t span = std::uint64_t(std::int64_t{b} - a) + 1;  // 1 .. 2^32
  // Lemire's multiply-and-reject gives every value the same chance.
  std::uint64_t x = next() >> 32;
  std::uint64_t m = x * span;
  std::uint64_t low = m & 0xFFFFFFFFull;
  if (low < span) {
    const std::uint64_t threshold = (0x100000000ull - span) % span;
    while (low < threshold) {
      x = next() >> 32;
      m = x * span;
      low = m & 0xFFFFFFFFull;
    }
  }
  return static_cast<std::int32_t>(a + std::int64_t(m >> 32));
}

}  // namespace platform
