// Linux: JACK first, then an ALSA PCM device written by a thread of ours.
#if !defined(_WIN32)

#include <alsa/asoundlib.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

#include "audioOutput.h"
#include "jackAudio.h"
#include "synthProcess.h"

namespace korvo {

namespace {

constexpr int kDefaultRate = 48000;
constexpr int kDefaultBlock = 256;

class AlsaOutput : public AudioOutput {
 public:
  AlsaOutput(snd_pcm_t* pcm, std::string device, int rate, int block, bool floats)
      : pcm_(pcm), device_(std::move(device)), rate_(rate), block_(block), floats_(floats) {
    const auto n = static_cast<std::size_t>(block);
    left_.assign(n, 0.0f);
    right_.assign(n, 0.0f);
    interleavedF_.assign(2 * n, 0.0f);
    interleavedS_.assign(2 * n, 0);
  }
  ~AlsaOutput() override {
    stop();
    snd_pcm_close(pcm_);
  }
  int sampleRate() const override { return rate_; }
  int blockSize() const override { return block_; }
  std::string description() const override {
    return "ALSA (" + device_ + ") " + std::to_string(rate_) + " Hz, " + std::to_string(block_) + " frames";
  }
  bool start(SynthProcess& synth) override {
    if (worker_.joinable()) return true;
    quit_ = false;
    worker_ = std::thread([this, &synth] { run(synth); });
    return true;
  }
  void stop() override {
    quit_ = true;
    if (worker_.joinable()) worker_.join();
  }

 private:
  void run(SynthProcess& synth) {
    // Real-time priority when the system grants it (audio group, rtkit limits); else as it is.
    sched_param p{};
    p.sched_priority = 70;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
    snd_pcm_prepare(pcm_);
    const auto n = static_cast<std::size_t>(block_);
    while (!quit_) {
      synth.process(left_.data(), right_.data(), block_, {});
      const void* data = nullptr;
      if (floats_) {
        for (std::size_t i = 0; i < n; ++i) {
          interleavedF_[2 * i] = left_[i];
          interleavedF_[2 * i + 1] = right_[i];
        }
        data = interleavedF_.data();
      } else {
        for (std::size_t i = 0; i < n; ++i) {
          interleavedS_[2 * i] = static_cast<std::int16_t>(std::clamp(left_[i], -1.0f, 1.0f) * 32767.0f);
          interleavedS_[2 * i + 1] = static_cast<std::int16_t>(std::clamp(right_[i], -1.0f, 1.0f) * 32767.0f);
        }
        data = interleavedS_.data();
      }
      const snd_pcm_sframes_t w = snd_pcm_writei(pcm_, data, n);
      if (w < 0 && snd_pcm_recover(pcm_, static_cast<int>(w), 1) < 0) break;  // the device went away
    }
    snd_pcm_drop(pcm_);
  }

  snd_pcm_t* pcm_;
  std::string device_;
  int rate_, block_;
  bool floats_;
  std::vector<float> left_, right_, interleavedF_;
  std::vector<std::int16_t> interleavedS_;
  std::atomic<bool> quit_{false};
  std::thread worker_;
};

std::unique_ptr<AudioOutput> openAlsaOutput(const std::string& device, int rate, int block, std::string& why) {
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
  if (err < 0) {
    why = "ALSA device '" + device + "': " + snd_strerror(err);
    return nullptr;
  }
  // Three blocks of latency in the device's buffer.
  const unsigned latencyUs = static_cast<unsigned>(3LL * block * 1000000LL / rate);
  bool floats = true;
  err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_FLOAT_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2, static_cast<unsigned>(rate),
                           1, latencyUs);
  if (err < 0) {
    floats = false;
    err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2, static_cast<unsigned>(rate),
                             1, latencyUs);
  }
  if (err < 0) {
    why = "ALSA device '" + device + "' refused " + std::to_string(rate) + " Hz stereo: " + snd_strerror(err);
    snd_pcm_close(pcm);
    return nullptr;
  }
  return std::make_unique<AlsaOutput>(pcm, device, rate, block, floats);
}

bool jackServerRuns() {
  std::string why;
  return openJackOutput(why) != nullptr;
}

}  // namespace

std::unique_ptr<AudioOutput> openAudioOutput(const AudioRequest& request, std::string& report) {
  const int rate = request.rate > 0 ? request.rate : kDefaultRate;
  const int block = request.block > 0 ? request.block : kDefaultBlock;
  std::string why;
  if (request.device.empty() || request.device == "jack") {
    if (auto jack = openJackOutput(why)) return jack;
    report = why;
    if (request.device == "jack") return nullptr;
    if (auto alsa = openAlsaOutput("default", rate, block, why)) return alsa;
    report += "; " + why;
    return nullptr;
  }
  if (auto alsa = openAlsaOutput(request.device, rate, block, why)) return alsa;
  report = why;
  return nullptr;
}

std::vector<std::string> audioDeviceNames() {
  std::vector<std::string> names;
  if (jackServerRuns()) names.push_back("jack");
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0) return names;
  for (void** h = hints; *h; ++h) {
    char* name = snd_device_name_get_hint(*h, "NAME");
    char* io = snd_device_name_get_hint(*h, "IOID");
    if (name && (!io || std::string(io) == "Output") && std::string(name) != "null") names.emplace_back(name);
    free(name);
    free(io);
  }
  snd_device_name_free_hint(hints);
  return names;
}

}  // namespace korvo

#endif
