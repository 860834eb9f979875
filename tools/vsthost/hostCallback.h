// The host side of the callback: answers a plug-in's questions and counts what it asked.
#pragma once

#include <array>
#include <cstdint>

#include "DAEffectX.h"

namespace korvo::host {

struct HostState {
  float sampleRate = 44100.0f;
  std::int32_t blockSize = 512;
  std::int32_t processLevel = 1;         // 1 user thread, 2 real-time (inside process)
  std::array<std::int64_t, 64> calls{};  // how often each audioMaster opcode was sent
  // The last editor size the plug-in asked for (audioMasterSizeWindow), until the session takes it.
  std::int32_t requestedWidth = 0;
  std::int32_t requestedHeight = 0;
};

// The one host state the callback answers from (vsthost hosts one plug-in at a time).
HostState& hostState();

vst::VstIntPtr KORVO_VSTCALL hostCallback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                          vst::VstIntPtr value, void* ptr, float opt);

}  // namespace korvo::host
