// Turns the MIDI events for the next audio block into a queue of typed items and plays
// the queue back sample-accurately while the block renders. Each event holds one complete short
// message, so there is no running status here. SysEx events are skipped, unless taking
// them is switched on: then a single-sound dump among them is copied into a hand-off slot for
// the editor's thread (no allocation, no lock), and everything else is still skipped.
// Threads: fill, beginBlock, sample and endBlock all run on the host's audio thread;
// setSysExTaken on any thread; hostSysEx() is read (Take) on the editor's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "sysexHandOff.h"

namespace korvo {

// One message for the next audio block, in the form the engine takes (the plug-in object turns
// the host's event list into these). A System Exclusive message is passed by pointer: its bytes
// belong to the sender and are read only while fill runs.
struct MidiEvent {
  enum Kind : std::uint8_t { Short, SysEx };
  Kind kind = Short;
  std::uint8_t status = 0, data1 = 0, data2 = 0;
  std::uint8_t noteOffVelocity = 0;  // the release velocity some hosts send with a note-on of velocity 0
  std::int32_t frame = 0;            // sample position within the block
  const std::uint8_t* sysex = nullptr;
  std::int32_t sysexSize = 0;
};

struct MidiItem {
  enum Type : std::int16_t { Other = 0, NoteOn = 1, NoteOff = 2, Controller = 4, Program = 8, System = 32 };
  std::int16_t type = Other;
  std::uint8_t channel = 0;
  std::uint8_t data = 0;             // note number, controller number, or program number
  std::uint8_t controllerIndex = 0;  // 0..127 control change, 128 channel pressure, 129 pitch bend
  std::int32_t time = 0;             // frame within the block
  std::int32_t delta = 0;            // frames after the previous item
  std::int16_t value = 0;            // velocity, controller value, pressure, or bend -8192..8191
};

class CMidiParser {
 public:
  // Controller index of channel pressure and pitch bend in the engine's controller array.
  static constexpr int kPressureIndex = 128;
  static constexpr int kPitchBendIndex = 129;
  // Items held for one block. Allocated once: the queue never grows on the audio thread, and a
  // host list longer than this keeps its first kCapacity MIDI events.
  static constexpr std::size_t kCapacity = 4096;

  using NoteHandler = std::function<void(int channel, int note, int velocity)>;
  using ControllerHandler = std::function<void(int channel, int index, int value)>;
  using SystemHandler = std::function<void(int value)>;

  CMidiParser();

  void setHandlers(NoteHandler note, NoteHandler noteOff, ControllerHandler controller, SystemHandler system);
  // Program changes are dropped unless a handler is set (value: the program number 0..127).
  using ProgramHandler = std::function<void(int channel, int program)>;
  void setProgramHandler(ProgramHandler program) { program_ = std::move(program); }

  // Rebuilds the queue from the block's events. Items of a skipped block stay in front of it;
  // any other unplayed item is dropped.
  void fill(std::span<const MidiEvent> events);
  // The block the queue was filled for is not rendered (the engine is busy): its items move to
  // frame 0, in their order, and are kept by the next fill so that no note-off goes missing.
  void skipBlock();
  // Drops everything, carried items included.
  void clear();
  void beginBlock();
  // Called at the top of every sample of the block: dispatches the items due now.
  void sample() {
    while (framesLeft_ == 0) dispatchNext();
    if (framesLeft_ > 0) --framesLeft_;
  }
  // After sample(): how many of the following samples have no item due (INT32_MAX when none is
  // left). For up to that many samples skip() stands in for calling sample() once per sample.
  std::int32_t quietFrames() const { return framesLeft_ < 0 ? INT32_MAX : framesLeft_; }
  void skip(std::int32_t frames) {
    if (framesLeft_ > 0) framesLeft_ -= frames;
  }
  // Dispatches what is left (items at or beyond the block's end) and empties the queue.
  void endBlock();

  void setSysExTaken(bool on) { takeSysEx_.store(on, std::memory_order_relaxed); }
  bool sysExTaken() const { return takeSysEx_.load(std::memory_order_relaxed); }
  CsysexHandOff& hostSysEx() { return hostSysEx_; }
  // Room for a single dump with some slack; longer messages are no single sound.
  static constexpr std::size_t kHostSysExCapacity = 1024;

  std::size_t size() const { return count_; }
  const MidiItem& item(std::size_t i) const { return items_[i]; }

 private:
  void dispatchNext();
  void takeSysEx(const std::uint8_t* data, std::int32_t size);

  std::vector<MidiItem> items_;
  std::size_t count_ = 0;
  std::size_t carried_ = 0;  // leading items of skipped blocks, all at frame 0
  NoteHandler note_, noteOff_;
  ControllerHandler controller_;
  SystemHandler system_;
  ProgramHandler program_;
  std::size_t dispatched_ = 0;
  std::int32_t framesLeft_ = -1;
  std::atomic<bool> takeSysEx_{false};
  CsysexHandOff hostSysEx_{kHostSysExCapacity};
};

}  // namespace korvo
