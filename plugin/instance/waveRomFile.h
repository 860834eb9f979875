// Reading a wave ROM image from disk for the engine (which takes it as data).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvo {

// The most of a file that is used: four 64 KiB banks.
inline constexpr std::size_t kWaveRomFileBytes = 256u * 1024u;

// Reads min(file size, 256 KiB) bytes into `image`. A missing, unreadable or empty file returns
// false and leaves `image` as it was.
bool readWaveRomFile(const std::string& path, std::vector<std::uint8_t>& image);

}  // namespace korvo
