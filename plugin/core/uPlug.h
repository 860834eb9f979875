// The concrete plug-in: CSynth joins the host, the engine and the editor bridge; CSynthEditor
// opens and closes the editor window inside the host's window.
#pragma once

#include <functional>
#include <memory>

#include "DAudioEffectX.h"
#include "plugCore.h"

namespace korvo {

class CSynth;

// What the bridge needs of an editor window. The window issue provides the real one.
class IEditorWindow {
 public:
  virtual ~IEditorWindow() = default;
  virtual void show() = 0;
  // effEditIdle: events, posted messages and the display tick.
  virtual void idle() {}
  // The sound changed behind the window's back (a chunk from the host).
  virtual void refresh() {}
  // effEditKeyDown/effEditKeyUp (a VstKeyCode's three fields): true when the window used it.
  virtual bool hostKey(bool down, int character, int virt, int modifier) {
    (void)down, (void)character, (void)virt, (void)modifier;
    return false;
  }
};

// Creates the editor window as a child of the host's window and hands it the plug-in (and through
// it the engine) before it is shown. May return null when no window can be made.
using EditorWindowFactory = std::function<std::unique_ptr<IEditorWindow>(void* parentWindow, CSynth& plugin)>;

class CSynthEditor : public vst::AEffEditor {
 public:
  // Attaches itself to `effect`, which then owns it.
  CSynthEditor(CSynth* effect, EditorWindowFactory factory);
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

 private:
  vst::ERect rect_{0, 0, 346, 562};
  int openCount_ = 0;
  void* parent_ = nullptr;
  EditorWindowFactory factory_;
  std::unique_ptr<IEditorWindow> window_;
};

class CSynth : public vst::AudioEffectX {
 public:
  explicit CSynth(vst::audioMasterCallback audioMaster, EditorWindowFactory editorFactory = {},
                  EngineEnvironment environment = {});
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

  // The engine, or null when it could not be created (the plug-in then renders silence).
  CplugMaster* engine() const { return engine_.get(); }

 private:
  void render(bool replace, float** outputs, vst::VstInt32 frames);

  std::unique_ptr<CplugMaster> engine_;
  // The host's events of the next block in the engine's form; sized once, at creation.
  std::vector<MidiEvent> hostEvents_;
  // The image handed out by the last getChunk; the host reads it before its next call, so it is
  // kept until then (and freed with the plug-in) instead of leaking one buffer per call.
  std::vector<std::uint8_t> chunk_;
};

// The MIDI and SysEx events of a host's list in the engine's form, as many as fit into `out`
// (null lists and null entries are skipped, so are other event types). Returns how many.
std::size_t fromHostEvents(const vst::VstEvents* events, std::span<MidiEvent> out);

// The entry point's work: null when the host does not answer audioMasterVersion. The plug-in's
// entry passes the built-in data (builtInData.h); tests pass their own settings store.
vst::AEffect* createEffect(vst::audioMasterCallback audioMaster, EngineEnvironment environment = {});

}  // namespace korvo
