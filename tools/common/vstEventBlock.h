// The event list a host hands to a plug-in's effProcessEvents for one audio block, built from
// complete MIDI messages. Only the VST interface records are used: the list is the host's side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "DAEffectX.h"
#include "timedMessage.h"

namespace korvo::tools {

class VstEventBlock {
 public:
  void clear();
  // One message `delta` frames into the block. A short message keeps its first three bytes; a
  // SysEx message (F0 ...) is referenced, not copied, so its bytes must outlive the list.
  void add(const std::vector<std::uint8_t>& bytes, vst::VstInt32 delta);
  void add(const TimedMessage& m, vst::VstInt32 delta) { add(m.bytes, delta); }
  // The list in the order the messages were added; valid until the next clear or add.
  vst::VstEvents* events();
  bool empty() const { return order_.empty(); }
  std::size_t size() const { return order_.size(); }

 private:
  std::vector<vst::VstMidiEvent> midi_;
  std::vector<vst::VstMidiSysexEvent> sysex_;
  std::vector<std::pair<bool, std::size_t>> order_;  // (SysEx, index)
  std::vector<std::uint8_t> storage_;
};

}  // namespace korvo::tools
