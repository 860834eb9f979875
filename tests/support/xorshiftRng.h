// xorshift32: the seeded source of variety of the bit-exact and lane scenarios. The scenarios'
// reference hashes rest on its exact sequence.
#pragma once

#include <cstdint>

namespace korvo::test {

class Rng {
 public:
  explicit Rng(std::uint32_t seed) : s_(seed ? seed : 1u) {}
  std::uint32_t next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return s_;
  }
  int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<std::uint32_t>(hi - lo + 1)); }
  bool chance(int percent) { return range(0, 99) < percent; }

 private:
  std::uint32_t s_;
};

}  // namespace korvo::test
