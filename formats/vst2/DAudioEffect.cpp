#include "DAudioEffect.h"

#include <bit>
#include <cmath>

namespace korvo::vst {

// Entry thunks ----------------------------------------------------------------------------------
// No exception may unwind into the host: each thunk catches everything and answers the default.

AudioEffect* AudioEffect::fromEffect(AEffect* effect) {
  return effect ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

VstIntPtr KORVO_VSTCALL dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                            float opt) {
  AudioEffect* fx = AudioEffect::fromEffect(e);
  if (!fx) return 0;
  try {
    if (opcode == effClose) {
      fx->dispatcher(opcode, index, value, ptr, opt);
      delete fx;
      return 1;
    }
    return fx->dispatcher(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;
  }
}

void KORVO_VSTCALL processClassAccumulating(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
  if (AudioEffect* fx = AudioEffect::fromEffect(e)) {
    try {
      fx->process(inputs, outputs, sampleFrames);
    } catch (...) {
    }
  }
}

void KORVO_VSTCALL processClassReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
  if (AudioEffect* fx = AudioEffect::fromEffect(e)) {
    try {
      fx->processReplacing(inputs, outputs, sampleFrames);
    } catch (...) {
    }
  }
}

void KORVO_VSTCALL setParameterClass(AEffect* e, VstInt32 index, float value) {
  if (AudioEffect* fx = AudioEffect::fromEffect(e)) {
    try {
      fx->setParameter(index, value);
    } catch (...) {
    }
  }
}

float KORVO_VSTCALL getParameterClass(AEffect* e, VstInt32 index) {
  if (AudioEffect* fx = AudioEffect::fromEffect(e)) {
    try {
      return fx->getParameter(index);
    } catch (...) {
    }
  }
  return 0.0f;
}

// AudioEffect -----------------------------------------------------------------------------------

AudioEffect::AudioEffect(audioMasterCallback master, VstInt32 programs, VstInt32 params)
    : audioMaster(master), numPrograms(programs), numParams(params) {
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = dispatchEffectClass;
  cEffect.process = processClassAccumulating;
  cEffect.setParameter = setParameterClass;
  cEffect.getParameter = getParameterClass;
  cEffect.numPrograms = programs;
  cEffect.numParams = params;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.flags = 0;
  // The record has always carried the integer 1 here, not the float 1.0; hosts ignore the field.
  cEffect.ioRatio = std::bit_cast<float>(std::int32_t{1});
  cEffect.object = this;
  cEffect.uniqueID = fourCC("NoEf");
  cEffect.version = 1;
  cEffect.processReplacing = processClassReplacing;
}

AudioEffect::~AudioEffect() { delete editor_; }

void AudioEffect::setEditor(AEffEditor* editor) {
  editor_ = editor;
  setFlag(effFlagsHasEditor, editor != nullptr);
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
  if (state)
    cEffect.flags |= flag;
  else
    cEffect.flags &= ~flag;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  switch (opcode) {
    case effOpen: open(); return 0;
    case effClose: close(); return 0;
    case effSetProgram:
      if (value < numPrograms) setProgram(static_cast<VstInt32>(value));
      return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName: setProgramName(static_cast<char*>(ptr)); return 0;
    case effGetProgramName: getProgramName(static_cast<char*>(ptr)); return 0;
    case effGetParamLabel: getParameterLabel(index, static_cast<char*>(ptr)); return 0;
    case effGetParamDisplay: getParameterDisplay(index, static_cast<char*>(ptr)); return 0;
    case effGetParamName: getParameterName(index, static_cast<char*>(ptr)); return 0;
    case effGetVu: return static_cast<VstIntPtr>(std::lround(getVu() * 32767.0));
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); return 0;
    case effMainsChanged:
      if (value != 0)
        resume();
      else
        suspend();
      return 0;
    case effEditGetRect: {
      if (!editor_) return 0;
      ERect* rect = nullptr;
      VstIntPtr result = editor_->getRect(&rect) ? 1 : 0;
      if (ptr) *static_cast<ERect**>(ptr) = rect;
      return result;
    }
    case effEditOpen: return editor_ ? (editor_->open(ptr) ? 1 : 0) : 0;
    case effEditClose:
      if (editor_) editor_->close();
      return 0;
    case effEditIdle:
      if (editor_) editor_->idle();
      return 0;
    case effIdentify: return fourCC("NvEf");
    case effGetChunk: {
      // A null destination would have nowhere to receive the chunk address.
      if (!ptr) return 0;
      return getChunk(static_cast<void**>(ptr), index != 0);
    }
    case effSetChunk: return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default: return 0;
  }
}

void AudioEffect::setSampleRate(float rate) { sampleRate = rate; }
void AudioEffect::setBlockSize(VstInt32 size) { blockSize = size; }
void AudioEffect::setParameter(VstInt32, float) {}
float AudioEffect::getParameter(VstInt32) { return 0.0f; }
void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
  setParameter(index, value);
  callHost(audioMasterAutomate, index, 0, nullptr, value);
}
void AudioEffect::processReplacing(float**, float**, VstInt32) {}
void AudioEffect::open() {}
void AudioEffect::close() {}
VstInt32 AudioEffect::getProgram() { return curProgram; }
void AudioEffect::setProgram(VstInt32 program) { curProgram = program; }
void AudioEffect::setProgramName(char*) {}
void AudioEffect::getProgramName(char*) {}
void AudioEffect::getParameterLabel(VstInt32, char*) {}
void AudioEffect::getParameterDisplay(VstInt32, char*) {}
void AudioEffect::getParameterName(VstInt32, char*) {}
float AudioEffect::getVu() { return 0.0f; }
VstInt32 AudioEffect::getChunk(void**, bool) { return 0; }
VstInt32 AudioEffect::setChunk(void*, VstInt32, bool) { return 0; }
void AudioEffect::suspend() {}
void AudioEffect::resume() {}
void AudioEffect::setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
void AudioEffect::setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
void AudioEffect::setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
void AudioEffect::hasVu(bool state) { setFlag(effFlagsHasVu, state); }
void AudioEffect::hasClip(bool state) { setFlag(effFlagsHasClip, state); }
void AudioEffect::canMono(bool state) { setFlag(effFlagsCanMono, state); }
void AudioEffect::canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
void AudioEffect::programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
void AudioEffect::setRealtimeQualities(VstInt32 q) { cEffect.realQualities = q; }
void AudioEffect::setOfflineQualities(VstInt32 q) { cEffect.offQualities = q; }
void AudioEffect::setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

VstInt32 AudioEffect::getMasterVersion() {
  VstIntPtr answer = callHost(audioMasterVersion);
  return answer == 0 ? 1 : static_cast<VstInt32>(answer);
}
VstInt32 AudioEffect::getCurrentUniqueId() { return static_cast<VstInt32>(callHost(audioMasterCurrentId)); }
void AudioEffect::masterIdle() { callHost(audioMasterIdle); }
bool AudioEffect::isInputConnected(VstInt32 input) { return callHost(audioMasterPinConnected, input, 1) == 0; }
bool AudioEffect::isOutputConnected(VstInt32 output) { return callHost(audioMasterPinConnected, output, 0) == 0; }

// AEffEditor ------------------------------------------------------------------------------------

AEffEditor::AEffEditor(AudioEffect* owner) : effect(owner) {}

bool AEffEditor::getRect(ERect** rect) {
  if (rect) *rect = nullptr;
  return false;
}
bool AEffEditor::open(void* parentWindow) {
  systemWindow = parentWindow;
  return false;
}
void AEffEditor::close() {}
void AEffEditor::idle() {
  if (updateFlag) {
    updateFlag = 0;
    update();
  }
}
void AEffEditor::update() {}
void AEffEditor::postUpdate() { updateFlag = 1; }
VstInt32 AEffEditor::onKeyDown(VstKeyCode&) { return -1; }
VstInt32 AEffEditor::onKeyUp(VstKeyCode&) { return -1; }
bool AEffEditor::setKnobMode(VstInt32) { return false; }
bool AEffEditor::onWheel(float) { return false; }

}  // namespace korvo::vst
