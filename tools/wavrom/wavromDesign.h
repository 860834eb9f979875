// The open wave ROM: every table of the wave map filled with our own sound design. The image is
// computed from the map and a fixed seed, so every build writes the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvo::wavrom {

inline constexpr std::size_t kRomSize = 262144;

// What the map says about one entry, gathered over every wave and zone that uses it.
struct EntryUse {
  int entry = 0;
  int bank = 0;
  int page = 0;
  int address = 0;  // bank * 65536 + page * 256
  int size = 0;     // table length in samples
  int resolution = 0;
  double offset = 0.0;  // semitones, fine offset included
  int minKey = 127;     // lowest and highest key of the zones that use it
  int maxKey = 0;
  bool loops = false;    // used by a looping wave (0..53)
  bool oneShot = false;  // used by a one-shot wave (54..74)
  std::vector<int> waves;
  bool used() const { return !waves.empty(); }
  // Note periods per table for a looping entry: 2^(resolution - 1) * 2^(-offset / 12).
  double cyclesPerTable() const;
};

std::vector<EntryUse> entryUses();

// The whole 256 KiB image.
std::vector<std::uint8_t> buildWaveRom();

// Whether a looping wave is meant to sound at the key's pitch (all but the noises, the glints
// and the three inharmonic waves).
bool isPitchedLoop(int wave);

}  // namespace korvo::wavrom
