#include "hostCallback.h"

#include <cstring>
#include <string_view>

namespace korvo::host {

using namespace vst;

HostState& hostState() {
  static HostState state;
  return state;
}

VstIntPtr KORVO_VSTCALL hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float) {
  HostState& s = hostState();
  if (opcode >= 0 && opcode < static_cast<VstInt32>(s.calls.size())) ++s.calls[static_cast<std::size_t>(opcode)];
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterWantMidi: return 1;
    case audioMasterGetSampleRate: return static_cast<VstIntPtr>(s.sampleRate);
    case audioMasterGetBlockSize: return s.blockSize;
    case audioMasterGetCurrentProcessLevel: return s.processLevel;
    case audioMasterGetVendorString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "Korvo");
      return ptr ? 1 : 0;
    case audioMasterGetProductString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "vsthost");
      return ptr ? 1 : 0;
    case audioMasterGetVendorVersion: return 1;
    case audioMasterSizeWindow:
      if (index <= 0 || value <= 0 || index > 16384 || value > 16384) return 0;
      s.requestedWidth = index;
      s.requestedHeight = static_cast<std::int32_t>(value);
      return 1;
    case audioMasterCanDo: {
      if (!ptr) return 0;
      std::string_view what(static_cast<const char*>(ptr));
      return (what == "sendVstEvents" || what == "sendVstMidiEvent" || what == "receiveVstEvents" ||
              what == "receiveVstMidiEvent" || what == "supplyIdle" || what == "sizeWindow")
                 ? 1
                 : 0;
    }
    default: return 0;
  }
}

}  // namespace korvo::host
