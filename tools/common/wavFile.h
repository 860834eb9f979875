// Stereo WAV output of the tools. libsndfile writes the files where it is available (Linux); the
// Windows builds, which have no such library, write 16-bit and 32-bit float files themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct sf_private_tag;  // libsndfile's SNDFILE

namespace korvo::tools {

enum class WavFormat { Pcm16, Pcm24, Float32 };

// Writes as many frames as the shorter channel holds, each sample times `gain`; integer formats
// clip at full scale. The file appears whole or not at all. False with `error` set on failure.
bool writeStereoWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right, int rate,
                    WavFormat format, std::string& error, float gain = 1.0f);

// A stereo WAV file written while it is made (a long render need not be held in memory). open()
// creates a temporary file of its own name beside the target, so a target that cannot be written
// is known before any work is done; commit() puts it in the target's place (with the old file's
// permissions), so the target appears whole or not at all. Past 4 GiB of samples the file becomes
// RF64, whose sizes are 64-bit; below that it is a plain WAV file. Built where libsndfile is
// (Linux).
class StereoWavWriter {
 public:
  StereoWavWriter() = default;
  ~StereoWavWriter();
  StereoWavWriter(const StereoWavWriter&) = delete;
  StereoWavWriter& operator=(const StereoWavWriter&) = delete;

  bool open(const std::string& path, int rate, WavFormat format, std::string& error);
  // Each sample times `gain`; integer formats clip at full scale.
  bool write(const float* left, const float* right, std::size_t frames, float gain, std::string& error);
  bool commit(std::string& error);
  std::int64_t frames() const { return frames_; }

 private:
  void discard();
  ::sf_private_tag* file_ = nullptr;
  std::string path_, temp_;
  std::vector<float> chunk_;
  std::int64_t frames_ = 0;
  bool keepMode_ = false;
  unsigned mode_ = 0;
};

}  // namespace korvo::tools
