#include "wavWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "VSTaux.h"

namespace korvo::host {

namespace {
void put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putTag(std::vector<std::uint8_t>& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(tag[i]));
}
}  // namespace

bool writeWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right,
              int sampleRate, int bitsPerSample, std::string& error) {
  if (bitsPerSample != 16 && bitsPerSample != 32) {
    error = "only 16-bit or 32-bit float WAV files are written";
    return false;
  }
  const std::size_t frames = std::min(left.size(), right.size());
  const std::uint32_t bytesPerSample = static_cast<std::uint32_t>(bitsPerSample / 8);
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(frames * 2 * bytesPerSample);
  std::vector<std::uint8_t> b;
  b.reserve(44 + dataBytes);
  putTag(b, "RIFF");
  put32(b, 36 + dataBytes);
  putTag(b, "WAVE");
  putTag(b, "fmt ");
  put32(b, 16);
  put16(b, bitsPerSample == 32 ? 3 : 1);  // IEEE float or PCM
  put16(b, 2);
  put32(b, static_cast<std::uint32_t>(sampleRate));
  put32(b, static_cast<std::uint32_t>(sampleRate) * 2 * bytesPerSample);
  put16(b, static_cast<std::uint16_t>(2 * bytesPerSample));
  put16(b, static_cast<std::uint16_t>(bitsPerSample));
  putTag(b, "data");
  put32(b, dataBytes);
  for (std::size_t i = 0; i < frames; ++i) {
    for (float s : {left[i], right[i]}) {
      if (bitsPerSample == 32) {
        std::uint32_t bits;
        std::memcpy(&bits, &s, 4);
        put32(b, bits);
      } else {
        float c = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
        put16(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lrint(c * 32767.0f))));
      }
    }
  }
  if (int rc = writeWholeFile(path, b.data(), b.size()); rc != 0) {
    error = "cannot write '" + path + "' (error " + std::to_string(rc) + ")";
    return false;
  }
  return true;
}

}  // namespace korvo::host
