// The VST 1 level plug-in base: owns the host-visible effect record, routes the host's calls to
// virtual operations and wraps the host callback. Threads: the host calls process and
// processReplacing from its audio thread, everything else through the dispatcher, usually from
// its user-interface thread. Nothing here locks.
#pragma once

#include "DAEffectX.h"

namespace korvo::vst {

class AEffEditor;

class AudioEffect {
 public:
  AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
  virtual ~AudioEffect();
  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  // Virtual operations, in the order of the interface's slots.
  virtual void setSampleRate(float sampleRate);
  virtual void setBlockSize(VstInt32 blockSize);
  virtual void setParameter(VstInt32 index, float value);
  virtual float getParameter(VstInt32 index);
  virtual void setParameterAutomated(VstInt32 index, float value);
  virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
  virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames);
  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  virtual void open();
  virtual void close();
  virtual VstInt32 getProgram();
  virtual void setProgram(VstInt32 program);
  virtual void setProgramName(char* name);
  virtual void getProgramName(char* name);
  virtual void getParameterLabel(VstInt32 index, char* label);
  virtual void getParameterDisplay(VstInt32 index, char* text);
  virtual void getParameterName(VstInt32 index, char* text);
  virtual float getVu();
  virtual VstInt32 getChunk(void** data, bool isPreset);
  virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset);
  virtual void suspend();
  virtual void resume();
  virtual void setUniqueID(VstInt32 id);
  virtual void setNumInputs(VstInt32 inputs);
  virtual void setNumOutputs(VstInt32 outputs);
  virtual void hasVu(bool state);
  virtual void hasClip(bool state);
  virtual void canMono(bool state);
  virtual void canProcessReplacing(bool state);
  virtual void programsAreChunks(bool state);
  virtual void setRealtimeQualities(VstInt32 qualities);
  virtual void setOfflineQualities(VstInt32 qualities);
  virtual void setInitialDelay(VstInt32 delay);
  virtual VstInt32 getMasterVersion();
  virtual VstInt32 getCurrentUniqueId();
  virtual void masterIdle();
  virtual bool isInputConnected(VstInt32 input);
  virtual bool isOutputConnected(VstInt32 output);

  // Attaches (or with null detaches) the editor, which this object then owns, and keeps
  // effFlagsHasEditor in step.
  void setEditor(AEffEditor* editor);
  AEffEditor* getEditor() const { return editor_; }
  AEffect* getAeffect() { return &cEffect; }

  float getSampleRate() const { return sampleRate; }
  VstInt32 getBlockSize() const { return blockSize; }
  audioMasterCallback getAudioMaster() const { return audioMaster; }

  // Recovers the object from the record the host hands back.
  static AudioEffect* fromEffect(AEffect* effect);

 protected:
  // Sets or clears one bit of the record's flags; the only way the flags change.
  void setFlag(VstInt32 flag, bool state);
  bool hasFlag(VstInt32 flag) const { return (cEffect.flags & flag) != 0; }
  // Calls the host, or returns 0 when there is no callback.
  VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);

  AEffect cEffect{};  // first member, so the record lives and dies with the object
  float sampleRate = 44100.0f;
  AEffEditor* editor_ = nullptr;
  audioMasterCallback audioMaster = nullptr;
  VstInt32 numPrograms = 0;
  VstInt32 numParams = 0;
  VstInt32 curProgram = 0;
  VstInt32 blockSize = 1024;
};

// Editor base. The effect owns its attached editor.
class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect);
  virtual ~AEffEditor() = default;
  AEffEditor(const AEffEditor&) = delete;
  AEffEditor& operator=(const AEffEditor&) = delete;

  virtual bool getRect(ERect** rect);
  virtual bool open(void* parentWindow);
  virtual void close();
  virtual void idle();
  virtual void update();
  virtual void postUpdate();
  virtual VstInt32 onKeyDown(VstKeyCode& keyCode);
  virtual VstInt32 onKeyUp(VstKeyCode& keyCode);
  virtual bool setKnobMode(VstInt32 mode);
  virtual bool onWheel(float distance);

  AudioEffect* getEffect() const { return effect; }
  void* getSystemWindow() const { return systemWindow; }
  bool isUpdatePending() const { return updateFlag != 0; }

 protected:
  AudioEffect* effect;
  void* systemWindow = nullptr;
  unsigned char updateFlag = 0;
};

// The four plain entry points the record carries. effClose destroys the object after close.
VstIntPtr KORVO_VSTCALL dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                            float opt);
void KORVO_VSTCALL processClassAccumulating(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
void KORVO_VSTCALL processClassReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
void KORVO_VSTCALL setParameterClass(AEffect* e, VstInt32 index, float value);
float KORVO_VSTCALL getParameterClass(AEffect* e, VstInt32 index);

}  // namespace korvo::vst
