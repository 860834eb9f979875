#include "hostEvents.h"

namespace korvo {

using namespace vst;

std::size_t fromHostEvents(const VstEvents* events, std::span<MidiEvent> out) {
  if (!events || events->numEvents <= 0) return 0;
  std::size_t n = 0;
  for (VstInt32 i = 0; i < events->numEvents && n < out.size(); ++i) {
    const VstEvent* e = events->events[i];
    if (!e) continue;
    MidiEvent& m = out[n];
    m = {};
    m.frame = e->deltaFrames;
    if (e->type == kVstMidiType) {
      const auto* x = reinterpret_cast<const VstMidiEvent*>(e);
      m.status = static_cast<std::uint8_t>(x->midiData[0]);
      m.data1 = static_cast<std::uint8_t>(x->midiData[1]);
      m.data2 = static_cast<std::uint8_t>(x->midiData[2]);
      m.noteOffVelocity = static_cast<std::uint8_t>(x->noteOffVelocity);
    } else if (e->type == kVstSysExType) {
      const auto* x = reinterpret_cast<const VstMidiSysexEvent*>(e);
      m.kind = MidiEvent::SysEx;
      m.sysex = reinterpret_cast<const std::uint8_t*>(x->sysexDump);
      m.sysexSize = x->sysexDump ? x->dumpBytes : 0;
    } else {
      continue;
    }
    ++n;
  }
  return n;
}

}  // namespace korvo
