// Pitch arithmetic of the chip: pitch word to frequency word, and the octave placement that
// moves a key's pitch into the table's range while the resolution field takes up the octaves.
#pragma once

#include <cstdint>

namespace korvo {

// Pitch in 1/256 semitone -> 16-bit frequency word. Pitches from 128 semitones up fold down by
// whole octaves; negative pitches read the lowest entry. Odd 1/32 steps average two entries.
std::int32_t pitchToFrequencyWord(std::int32_t pitch);

struct PlacedPitch {
  std::int32_t semitones = 0;  // P, the key pitch placed into 12..35 or above
  std::int32_t control = 0;    // the entry's control byte with the resolution adjusted
};

// Key pitch P (semitones, with the entry's offset) and control byte R. The arithmetic runs on the
// whole byte as the hardware does, so a resolution of 0 or 7 would carry into the size field.
PlacedPitch placeOctave(std::int32_t semitones, std::int32_t control);

}  // namespace korvo
