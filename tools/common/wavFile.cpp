#include "wavFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(KORVO_HAVE_SNDFILE)
#include <sndfile.h>

#include <filesystem>
#include <system_error>
#else
#include "VSTaux.h"
#endif

namespace korvo::tools {

#if defined(KORVO_HAVE_SNDFILE)

bool writeStereoWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right, int rate,
                    WavFormat format, std::string& error, float gain) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | (format == WavFormat::Pcm16   ? SF_FORMAT_PCM_16
                                 : format == WavFormat::Pcm24 ? SF_FORMAT_PCM_24
                                                              : SF_FORMAT_FLOAT);
  // Written beside the target and renamed, so an interrupted write never leaves half a file.
  const std::string temp = path + ".part";
  SNDFILE* f = sf_open(temp.c_str(), SFM_WRITE, &info);
  if (!f) {
    error = "cannot write '" + path + "': " + sf_strerror(nullptr);
    return false;
  }
  // Integer formats clip at full scale rather than wrapping around.
  if (format != WavFormat::Float32) sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const std::size_t frames = std::min(left.size(), right.size());
  std::vector<float> chunk(8192 * 2);
  bool ok = true;
  for (std::size_t pos = 0; pos < frames && ok; pos += 8192) {
    const std::size_t n = std::min<std::size_t>(8192, frames - pos);
    for (std::size_t i = 0; i < n; ++i) {
      chunk[2 * i] = left[pos + i] * gain;
      chunk[2 * i + 1] = right[pos + i] * gain;
    }
    ok = sf_writef_float(f, chunk.data(), static_cast<sf_count_t>(n)) == static_cast<sf_count_t>(n);
  }
  ok = sf_close(f) == 0 && ok;
  std::error_code ec;
  if (ok) std::filesystem::rename(temp, path, ec);
  if (!ok || ec) {
    std::filesystem::remove(temp, ec);
    error = "cannot write '" + path + "' (disk full or no permission?)";
    return false;
  }
  return true;
}

#else

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

bool writeStereoWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right, int rate,
                    WavFormat format, std::string& error, float gain) {
  if (format == WavFormat::Pcm24) {
    error = "only 16-bit or 32-bit float WAV files are written";
    return false;
  }
  const bool pcm = format == WavFormat::Pcm16;
  const std::size_t frames = std::min(left.size(), right.size());
  const std::uint32_t bytesPerSample = pcm ? 2 : 4;
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(frames * 2 * bytesPerSample);
  std::vector<std::uint8_t> b;
  b.reserve(44 + dataBytes);
  putTag(b, "RIFF");
  put32(b, 36 + dataBytes);
  putTag(b, "WAVE");
  putTag(b, "fmt ");
  put32(b, 16);
  put16(b, pcm ? 1 : 3);  // PCM or IEEE float
  put16(b, 2);
  put32(b, static_cast<std::uint32_t>(rate));
  put32(b, static_cast<std::uint32_t>(rate) * 2 * bytesPerSample);
  put16(b, static_cast<std::uint16_t>(2 * bytesPerSample));
  put16(b, static_cast<std::uint16_t>(8 * bytesPerSample));
  putTag(b, "data");
  put32(b, dataBytes);
  for (std::size_t i = 0; i < frames; ++i) {
    for (float s : {left[i] * gain, right[i] * gain}) {
      if (!pcm) {
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

#endif

}  // namespace korvo::tools
