// The wave map of the chip: wave names, the zone table (which map entry a key uses) and the
// entry table (where a table lies in the ROM and how it is pitched).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvo {

inline constexpr int kWaveCount = 75;
inline constexpr int kZoneCount = 16;
inline constexpr int kWaveEntryCount = 151;
// Waves from here on are one-shot transients; the ones below loop.
inline constexpr int kFirstOneShotWave = 54;

// One map entry. Control byte: bit 7 = bank bit 0, bit 6 = bank bit 1, bits 5..3 = table size
// code (table exponent = code + 8), bits 2..0 = resolution.
struct WaveEntry {
  std::uint8_t page = 0;
  std::uint8_t control = 0;
  std::int8_t semitone = 0;  // offset added to the key
  std::uint8_t fine = 0;     // offset in 1/256 semitone
};

constexpr int entryBank(int control) { return ((control >> 6) & 1) << 1 | ((control >> 7) & 1); }
constexpr int entryTableExponent(int control) { return ((control >> 3) & 7) + 8; }
constexpr int entryResolution(int control) { return control & 7; }

// Six-character names, right-aligned with blanks; an unknown wave gives six blanks.
std::string_view waveName(int wave);

const std::array<std::array<std::uint8_t, kZoneCount>, kWaveCount>& waveZoneTable();
const std::array<WaveEntry, kWaveEntryCount>& waveEntryTable();

// Zone of a key: the key is clamped to 0..127 and divided by 8.
constexpr std::size_t waveZone(int key) { return static_cast<std::size_t>(key < 0 ? 0 : (key > 127 ? 127 : key)) >> 3; }

// The map entry a key of a wave uses; a wave outside 0..74 yields the empty entry.
WaveEntry waveEntryFor(int wave, int key);

}  // namespace korvo
