// The VST 2 binary interface as the host sees it: the effect record, the callback types and the
// opcodes of the VST 1 level. Written from the published interface; no SDK header is used.
//
// Layout: on 32-bit builds every field is 32 bits and the record is 144 bytes. On 64-bit builds
// this is the standard 64-bit VST 2 layout: pointers, the reserved words, the dispatcher's `value`
// argument and its result are pointer-sized (the record is then 192 bytes with natural padding).
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvo::vst {

#if defined(_WIN32) && !defined(_WIN64)
#define KORVO_VSTCALL __cdecl
#else
#define KORVO_VSTCALL
#endif

using VstInt32 = std::int32_t;
using VstIntPtr = std::intptr_t;

// First character in the most significant byte: fourCC("VstP") == 0x56737450.
constexpr VstInt32 fourCC(const char (&s)[5]) {
  return static_cast<VstInt32>((static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) << 24) |
                               (static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 16) |
                               (static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 8) |
                               static_cast<std::uint32_t>(static_cast<unsigned char>(s[3])));
}

constexpr VstInt32 kEffectMagic = fourCC("VstP");

struct AEffect;

using audioMasterCallback = VstIntPtr(KORVO_VSTCALL*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                      void* ptr, float opt);
using AEffectDispatcherProc = VstIntPtr(KORVO_VSTCALL*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                        VstIntPtr value, void* ptr, float opt);
using AEffectProcessProc = void(KORVO_VSTCALL*)(AEffect* effect, float** inputs, float** outputs,
                                                VstInt32 sampleFrames);
using AEffectSetParameterProc = void(KORVO_VSTCALL*)(AEffect* effect, VstInt32 index, float parameter);
using AEffectGetParameterProc = float(KORVO_VSTCALL*)(AEffect* effect, VstInt32 index);

struct AEffect {
  VstInt32 magic;
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process;
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 numInputs;
  VstInt32 numOutputs;
  VstInt32 flags;
  VstIntPtr resvd1;
  VstIntPtr resvd2;
  VstInt32 initialDelay;
  VstInt32 realQualities;
  VstInt32 offQualities;
  float ioRatio;
  void* object;
  void* user;
  VstInt32 uniqueID;
  VstInt32 version;
  AEffectProcessProc processReplacing;
  char future[60];
};

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(AEffect) == 144, "32-bit effect record must be 144 bytes");
static_assert(offsetof(AEffect, ioRatio) == 60 && offsetof(AEffect, object) == 64);
static_assert(offsetof(AEffect, uniqueID) == 72 && offsetof(AEffect, processReplacing) == 80);
static_assert(offsetof(AEffect, future) == 84);
#else
static_assert(sizeof(AEffect) == 192, "64-bit effect record must be 192 bytes");
static_assert(offsetof(AEffect, resvd1) == 64 && offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, uniqueID) == 112 && offsetof(AEffect, processReplacing) == 120);
#endif

// Effect flags.
enum : VstInt32 {
  effFlagsHasEditor = 1,
  effFlagsHasClip = 2,
  effFlagsHasVu = 4,
  effFlagsCanMono = 8,
  effFlagsCanReplacing = 16,
  effFlagsProgramChunks = 32,
  effFlagsIsSynth = 256,
  effFlagsNoSoundInStop = 512,
  effFlagsExtIsAsync = 1024,
  effFlagsExtHasBuffer = 2048,
};

// Dispatcher opcodes of the VST 1 level.
enum : VstInt32 {
  effOpen = 0,
  effClose,
  effSetProgram,
  effGetProgram,
  effSetProgramName,
  effGetProgramName,
  effGetParamLabel,
  effGetParamDisplay,
  effGetParamName,
  effGetVu,
  effSetSampleRate,
  effSetBlockSize,
  effMainsChanged,
  effEditGetRect,
  effEditOpen,
  effEditClose,
  effEditDraw,
  effEditMouse,
  effEditKey,
  effEditIdle,
  effEditTop,
  effEditSleep,
  effIdentify,
  effGetChunk,
  effSetChunk,
  effNumOpcodes
};

// Host opcodes of the VST 1 level.
enum : VstInt32 {
  audioMasterAutomate = 0,
  audioMasterVersion,
  audioMasterCurrentId,
  audioMasterIdle,
  audioMasterPinConnected,
};

// The editor's rectangle: four 16-bit fields.
struct ERect {
  std::int16_t top;
  std::int16_t left;
  std::int16_t bottom;
  std::int16_t right;
};

}  // namespace korvo::vst
