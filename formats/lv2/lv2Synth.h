// The LV2 plug-in over the instance: converts the host's ports, atom events and state records to
// the instance's calls and adds no behaviour of its own. The LV2 threading classes map onto the
// instance's: instantiation and state restore are its main thread, run() its realtime thread,
// state save any thread (it copies the edit buffer record as the VST 2 chunk does).
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "midiParser.h"
#include "plugInstance.h"

namespace korvo::lv2 {

class Lv2Synth {
 public:
  // main thread. Null when the host offers no URID map (the TTL requires it) or the instance
  // cannot be made.
  static std::unique_ptr<Lv2Synth> create(double sampleRate, const LV2_Feature* const* features,
                                          InstanceEnvironment environment);
  Lv2Synth(double sampleRate, const LV2_URID_Map& map, InstanceEnvironment environment);

  // audio thread (LV2's "audio" class): where the host's buffers are.
  void connectPort(std::uint32_t port, void* data);
  // realtime. Controls that moved since they were last applied, the block's MIDI at its frames,
  // then the block.
  void run(std::uint32_t frames);

  // State: the edit buffer record under one key, and beside it the control values last applied.
  // restore takes only a whole, valid record; anything else is refused and changes nothing.
  LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
  LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

  CplugInstance& instance() { return instance_; }
  // any thread. Counts the states restored, so an open editor knows to redraw.
  std::uint32_t restoreCount() const { return restores_.load(std::memory_order_acquire); }

 private:
  void applyControls();
  std::size_t readMidi(std::uint32_t frames);

  CplugInstance instance_;
  LV2_URID atomSequence_ = 0;
  LV2_URID midiEvent_ = 0;
  LV2_URID stateKey_ = 0;
  LV2_URID stateType_ = 0;
  LV2_URID appliedKey_ = 0;
  LV2_URID appliedType_ = 0;
  const void* midiIn_ = nullptr;
  float* left_ = nullptr;
  float* right_ = nullptr;
  std::vector<const float*> controls_;
  // The value each control port had when it was last applied (or taken as it stands). Written by
  // run(), read by save() on another thread.
  std::unique_ptr<std::atomic<int>[]> applied_;
  // Set by a restored state. At the next run a port is applied only when its value differs from
  // the one the saved plug-in had last applied (the host moved it after that); values the host
  // kept from before never overwrite the state's. A state without those values (a preset) takes
  // the ports as they stand.
  std::atomic<bool> rebaseline_{false};
  std::vector<int> restoredApplied_;  // empty: none came with the state
  std::atomic<std::uint32_t> restores_{0};
  std::vector<MidiEvent> events_;
};

}  // namespace korvo::lv2
