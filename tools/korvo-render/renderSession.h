// Offline rendering of a MIDI performance through the engine: one engine per MIDI channel in use
// (each playing its channel's sound, as several instances of the plug-in on separate tracks of a
// DAW would), mixed into one stereo signal.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plugCore.h"
#include "progRecord.h"
#include "timedMessage.h"

namespace korvo::render {

using tools::TimedMessage;

// Where each channel's sound comes from: one fixed sound for every channel, or a bank of 128
// programs in which each channel starts at program 0 and follows its program changes.
struct SoundPlan {
  std::optional<ProgramRecord> fixed;
  std::vector<ProgramRecord> bank;  // 128 records when used
};

struct RenderOptions {
  int sampleRate = 44100;
  int blockSize = 512;
  double tailSeconds = 3.0;
  std::string dataFolder;  // where wavrom.bin is
  // Called now and then with the frames done and the total.
  std::function<void(std::int64_t done, std::int64_t total)> progress;
  // When set, each rendered block goes here instead of into the result (a long render is not
  // held in memory); returning false stops the render.
  std::function<bool(const float* left, const float* right, int frames)> sink;
};

struct RenderResult {
  std::vector<float> left, right;  // empty when a sink took the blocks
  std::int64_t frames = 0;         // rendered
  bool stopped = false;            // the sink asked to stop
  bool waveRomLoaded = false;
  std::string waveRomPath;
  int channelsUsed = 0;
  float peak = 0.0f;
};

// Renders the messages (sorted by frame) to the end of the last one plus the tail.
RenderResult renderPerformance(const std::vector<TimedMessage>& messages, const SoundPlan& sounds,
                               const RenderOptions& options);

}  // namespace korvo::render
