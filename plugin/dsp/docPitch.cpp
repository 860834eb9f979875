#include "docPitch.h"

#include "transTables.h"

namespace korvo {

std::int32_t pitchToFrequencyWord(std::int32_t pitch) {
  constexpr std::int32_t kFold = 32768;
  constexpr std::int32_t kOctave = 3072;
  std::int32_t n = pitch;
  if (n >= kFold) n -= ((n - kFold) / kOctave + 1) * kOctave;  // the fold loop in one step
  n = n < 0 ? 0 : n >> 3;
  const auto& table = frequencyTable();
  const auto i = static_cast<std::size_t>(n >> 1);  // n is not negative here
  if ((n & 1) == 0) return table[i];
  return (table[i] + table[i + 1]) >> 1;
}

PlacedPitch placeOctave(std::int32_t semitones, std::int32_t control) {
  std::int32_t p = semitones;
  std::int32_t r = control;
  if (p >= 24) {
    r -= 1;
  } else if (p >= 0) {
    p += 12;
  } else {
    for (int pass = 0; pass < 3 && p < 0; ++pass) {
      r += 1;
      p += 12;
    }
    p += 12;
  }
  return {p, r};
}

}  // namespace korvo
