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
  // Size in percent. The scale the system asks for (0 when unknown): its screen's dots per
  // inch against 96, as the window's own connection to the display reports them.
  virtual int scale() const { return 100; }
  virtual int systemScale() const { return 0; }
  // Shows the window at a scale; it does not tell the host (the bridge does).
  virtual void setScale(int) {}
  // Set by the bridge: the user chose a size in the window; the window is already drawn at it.
  std::function<void(int percent)> onScaleChosen;
  // Set by the bridge: the system's scale changed while the window was open (another screen,
  // another Xft.dpi); the window is still drawn at its old one.
  std::function<void()> onSystemScaleChanged;
};

// The editor's scale: the user's stored choice, else the host's hint, else the system's, each
// rounded to the nearest size offered (100 to 300 % in steps of 25); 100 when none is known.
int resolveEditorScale(int userChoice, double hostHint, double systemScale);

// Creates the editor window as a child of the host's window and hands it the plug-in (and through
// it the engine) before it is shown. May return null when no window can be made.
using EditorWindowFactory = std::function<std::unique_ptr<IEditorWindow>(void* parentWindow, CSynth& plugin)>;

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
  vst::VstIntPtr vendorSpecific(vst::VstInt32 index, vst::VstIntPtr value, void* ptr, float opt) override;

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
