// The standalone's real-time side: what an audio output calls once a block. MIDI that arrives on
// another thread (the ALSA sequencer's, WinMM's) waits in a lock-free queue and is played at the
// start of the next block; MIDI read inside the audio callback (JACK's port) keeps its frame.
// Everything goes through the instance's processEvents, so program change and MIDI learn work
// as in the plug-ins.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

#include "midiParser.h"
#include "spscQueue.h"

namespace korvo {

class CplugInstance;

// One short MIDI message (status and up to two data bytes).
struct ShortMidi {
  std::uint8_t status = 0, data1 = 0, data2 = 0;
};

class SynthProcess {
 public:
  static constexpr std::size_t kMaxEvents = 1024;  // per block; the rest of a flood waits or is dropped

  explicit SynthProcess(CplugInstance& instance) : instance_(instance) {}

  // The one MIDI input thread. False when the queue is full (the message is dropped).
  bool queueMidi(const ShortMidi& message) { return queue_.push(message); }

  // realtime. Plays the queued messages at frame 0 and then `portEvents` (in frame order, frames
  // inside the block), then renders `frames` samples into both buffers.
  void process(float* left, float* right, int frames, std::span<const MidiEvent> portEvents);

  // Any thread: blocks rendered so far (the status line and the tests watch it).
  long long blocks() const { return blocks_.load(std::memory_order_relaxed); }

 private:
  CplugInstance& instance_;
  SpscQueue<ShortMidi, 1024> queue_;
  std::array<MidiEvent, kMaxEvents> events_{};
  std::atomic<long long> blocks_{0};
};

}  // namespace korvo
