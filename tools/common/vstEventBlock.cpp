#include "vstEventBlock.h"

namespace korvo::tools {

using namespace vst;

void VstEventBlock::clear() {
  midi_.clear();
  sysex_.clear();
  order_.clear();
}

void VstEventBlock::add(const std::vector<std::uint8_t>& bytes, VstInt32 delta) {
  if (!bytes.empty() && bytes[0] == 0xF0) {
    VstMidiSysexEvent s{};
    s.type = kVstSysExType;
    s.byteSize = sizeof(VstMidiSysexEvent);
    s.deltaFrames = delta;
    s.dumpBytes = static_cast<VstInt32>(bytes.size());
    s.sysexDump = reinterpret_cast<char*>(const_cast<std::uint8_t*>(bytes.data()));
    sysex_.push_back(s);
    order_.push_back({true, sysex_.size() - 1});
  } else {
    VstMidiEvent ev{};
    ev.type = kVstMidiType;
    ev.byteSize = sizeof(VstMidiEvent);
    ev.deltaFrames = delta;
    for (std::size_t i = 0; i < bytes.size() && i < 3; ++i) ev.midiData[i] = static_cast<char>(bytes[i]);
    midi_.push_back(ev);
    order_.push_back({false, midi_.size() - 1});
  }
}

VstEvents* VstEventBlock::events() {
  storage_.assign(sizeof(VstEvents) + order_.size() * sizeof(VstEvent*), 0);
  auto* list = reinterpret_cast<VstEvents*>(storage_.data());
  list->numEvents = static_cast<VstInt32>(order_.size());
  VstEvent** slots = list->events;
  for (std::size_t i = 0; i < order_.size(); ++i)
    slots[i] = order_[i].first ? reinterpret_cast<VstEvent*>(&sysex_[order_[i].second])
                               : reinterpret_cast<VstEvent*>(&midi_[order_[i].second]);
  return list;
}

}  // namespace korvo::tools
