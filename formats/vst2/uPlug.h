// The VST 2 adapter: CSynth turns the host's dispatcher calls into the instance's, CSynthEditor
// opens and closes the instance's editor window inside the host's window. Both add no behaviour
// of their own beyond what the VST 2 interface asks for.
#pragma once

#include <functional>
#include <memory>

#include "DAudioEffectX.h"
#include "editorWindow.h"
#include "hostEvents.h"
#include "plugInstance.h"

namespace korvo {

class CSynth;

class CSynthEditor : public vst::AEffEditor {
 public:
  // Attaches itself to `synth`, which then owns it.
  CSynthEditor(CSynth* synth, EditorWindowFactory factory);
  ~CSynthEditor() override;

  bool getRect(vst::ERect** rect) override;
  bool open(void* parentWindow) override;
  void close() override;
  void idle() override;
  void update() override;
  vst::VstInt32 onKeyDown(vst::VstKeyCode& keyCode) override;
  vst::VstInt32 onKeyUp(vst::VstKeyCode& keyCode) override;

  int openCount() const { return openCount_; }
  bool hasWindow() const { return window_ != nullptr; }
  IEditorWindow* window() const { return window_.get(); }

  // A host's scale hint (effVendorSpecific 'PreS' / 'AeCs' with the factor in opt): followed
  // unless the user chose a size; an open window is shown at it and the host asked to resize.
  void setHostScale(float factor);
  // The scale of the system before a window exists (the platform's query; unset: unknown).
  std::function<int()> systemScaleQuery;
  // The scale the editor has (open) or will have (closed).
  int scale();

 private:
  // Asks the host to resize when the scaled size differs from the one last answered.
  void sizeChanged();
  // An open window follows the host's hint, else the system, unless the user chose a size.
  void followUnlessChosen();
  vst::ERect scaledRect();
  int userScale() const;

  float hostScale_ = 0;
  int systemScale_ = -1;  // queried once, at the first need
  vst::ERect rect_{0, 0, 346, 562};
  int openCount_ = 0;
  void* parent_ = nullptr;
  EditorWindowFactory factory_;
  std::unique_ptr<IEditorWindow> window_;
};

class CSynth : public vst::AudioEffectX {
 public:
  explicit CSynth(vst::audioMasterCallback hostCallback, EditorWindowFactory editorFactory = {},
                  InstanceEnvironment environment = {});
  ~CSynth() override;

  void setSampleRate(float rate) override;
  void setBlockSize(vst::VstInt32 size) override;
  void process(float** inputs, float** outputs, vst::VstInt32 frames) override;
  void processReplacing(float** inputs, float** outputs, vst::VstInt32 frames) override;
  vst::VstInt32 getChunk(void** data, bool isPreset) override;
  vst::VstInt32 setChunk(void* data, vst::VstInt32 byteSize, bool isPreset) override;
  void resume() override;
  vst::VstInt32 processEvents(vst::VstEvents* events) override;
  bool getOutputProperties(vst::VstInt32 index, vst::VstPinProperties* properties) override;
  bool getEffectName(char* name) override;
  vst::VstInt32 canDo(char* text) override;
  vst::VstIntPtr vendorSpecific(vst::VstInt32 index, vst::VstIntPtr value, void* ptr, float opt) override;

  // The instance, or null when it could not be created (the plug-in then renders silence).
  CplugInstance* instance() const { return instance_.get(); }
  CplugMaster* engine() const { return instance_ ? &instance_->engine() : nullptr; }

 private:
  void render(bool replace, float** outputs, vst::VstInt32 frames);

  std::unique_ptr<CplugInstance> instance_;
  // The host's events of the next block in the engine's form; sized once, at creation.
  std::vector<MidiEvent> hostEvents_;
  // The image handed out by the last getChunk; the host reads it before its next call, so it is
  // kept until then (and freed with the plug-in) instead of leaking one buffer per call.
  std::vector<std::uint8_t> chunk_;
};

// The entry point's work: null when the host does not answer audioMasterVersion. The plug-in's
// entry passes the built-in data (builtInData.h); tests pass their own settings store.
vst::AEffect* createEffect(vst::audioMasterCallback audioMaster, InstanceEnvironment environment = {});

}  // namespace korvo
