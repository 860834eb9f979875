#include "wavFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(KORVO_HAVE_SNDFILE)
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#else
#include "VSTaux.h"
#endif

namespace korvo::tools {

#if defined(KORVO_HAVE_SNDFILE)

StereoWavWriter::~StereoWavWriter() { discard(); }

void StereoWavWriter::discard() {
  if (file_) sf_close(file_);
  file_ = nullptr;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool StereoWavWriter::open(const std::string& path, int rate, WavFormat format, std::string& error) {
  discard();
  path_ = path;
  frames_ = 0;
  struct stat old {};
  keepMode_ = ::stat(path.c_str(), &old) == 0;
  if (keepMode_ && S_ISDIR(old.st_mode)) {
    error = "cannot write '" + path + "': it is a folder";
    return false;
  }
  if (keepMode_ && ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0)) {
    error = "cannot write '" + path + "': the file is read-only";
    return false;
  }
  mode_ = static_cast<unsigned>(old.st_mode & 07777);
  // The temporary file is made exclusively under a name of its own: never a file of the user's.
  const std::filesystem::path target(path);
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    std::filesystem::path temp = target;
    temp.replace_filename("." + target.filename().string() + "." + std::to_string(::getpid()) + "-" +
                          std::to_string(attempt) + ".part");
    temp_ = temp.string();
    fd = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = "cannot write '" + path + "': " + std::generic_category().message(errno);
    temp_.clear();
    return false;
  }
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = SF_FORMAT_RF64 | (format == WavFormat::Pcm16   ? SF_FORMAT_PCM_16
                                  : format == WavFormat::Pcm24 ? SF_FORMAT_PCM_24
                                                               : SF_FORMAT_FLOAT);
  file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
  if (!file_) {
    ::close(fd);
    error = "cannot write '" + path + "': " + sf_strerror(nullptr);
    discard();
    return false;
  }
  // A plain WAV file unless the data outgrows the 32-bit sizes of its header.
  sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  // Integer formats clip at full scale rather than wrapping around.
  if (format != WavFormat::Float32) sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  return true;
}

bool StereoWavWriter::write(const float* left, const float* right, std::size_t frames, float gain, std::string& error) {
  if (!file_) return false;
  constexpr std::size_t kChunk = 8192;
  chunk_.resize(kChunk * 2);
  for (std::size_t pos = 0; pos < frames; pos += kChunk) {
    const std::size_t n = std::min(kChunk, frames - pos);
    for (std::size_t i = 0; i < n; ++i) {
      chunk_[2 * i] = left[pos + i] * gain;
      chunk_[2 * i + 1] = right[pos + i] * gain;
    }
    if (sf_writef_float(file_, chunk_.data(), static_cast<sf_count_t>(n)) != static_cast<sf_count_t>(n)) {
      error = "cannot write '" + path_ + "': " + sf_strerror(file_) + " (disk full?)";
      discard();
      return false;
    }
    frames_ += static_cast<std::int64_t>(n);
  }
  return true;
}

bool StereoWavWriter::commit(std::string& error) {
  if (!file_) return false;
  const bool closed = sf_close(file_) == 0;
  file_ = nullptr;
  bool ok = closed && (!keepMode_ || ::chmod(temp_.c_str(), mode_) == 0);
  ok = ok && ::rename(temp_.c_str(), path_.c_str()) == 0;
  if (!ok) {
    error = "cannot write '" + path_ + "' (disk full or no permission?)";
    discard();
    return false;
  }
  temp_.clear();
  return true;
}

bool writeStereoWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right, int rate,
                    WavFormat format, std::string& error, float gain) {
  StereoWavWriter writer;
  return writer.open(path, rate, format, error) &&
         writer.write(left.data(), right.data(), std::min(left.size(), right.size()), gain, error) &&
         writer.commit(error);
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
