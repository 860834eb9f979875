// Stereo WAV output of the tools. libsndfile writes the files where it is available (Linux); the
// Windows builds, which have no such library, write 16-bit and 32-bit float files themselves.
#pragma once

#include <string>
#include <vector>

namespace korvo::tools {

enum class WavFormat { Pcm16, Pcm24, Float32 };

// Writes as many frames as the shorter channel holds, each sample times `gain`; integer formats
// clip at full scale. The file appears whole or not at all. False with `error` set on failure.
bool writeStereoWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right, int rate,
                    WavFormat format, std::string& error, float gain = 1.0f);

}  // namespace korvo::tools
