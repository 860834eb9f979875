// Reading a wave ROM image from disk for the engine (which takes it as data).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvo {

// The most of a file that is used: four 64 KiB banks.
inline constexpr std::size_t kWaveRomFileBytes = 256u * 1024u;

// Whether a wave ROM image read from a file can be played. An image needs at least one whole
// 64 KiB bank and one non-zero byte: anything less (a cut file, a zeroed one) would silence every
// sound, so the built-in ROM plays instead. A longer image that lacks banks plays, with the rest
// zero-filled, and says how much is missing.
enum class WaveRomFault { None, Unreadable, ShorterThanABank, OnlyZeros };
struct WaveRomImageCheck {
  WaveRomFault fault = WaveRomFault::Unreadable;
  std::size_t size = 0;     // bytes the image holds (at most 256 KiB are looked at)
  std::size_t missing = 0;  // bytes short of 256 KiB
};
WaveRomImageCheck checkWaveRomImage(const std::uint8_t* data, std::size_t size);
// "1000 bytes, less than one 64 KiB bank", "only zeros", "cannot be read", "" when usable.
std::string describe(const WaveRomImageCheck& check);

// Reads min(file size, 256 KiB) bytes into `image`. A missing or unreadable file, or one that
// checkWaveRomImage refuses, returns false and leaves `image` as it was; `check`, when given,
// receives the verdict.
bool readWaveRomFile(const std::string& path, std::vector<std::uint8_t>& image, WaveRomImageCheck* check = nullptr);

}  // namespace korvo
