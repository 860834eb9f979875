// Writes stereo float samples as a WAV file (32-bit float or 16-bit PCM).
// vsthost is also built for Windows, where no Debian WAV library exists, so this tiny writer
// serves both systems; the tests read its files back with libsndfile.
#pragma once

#include <string>
#include <vector>

namespace korvo::host {

bool writeWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right,
              int sampleRate, int bitsPerSample, std::string& error);

}  // namespace korvo::host
