// The instance's editor: a window host with TplugEditForm as its root, joined to the instance
// through IEditorEngine. A format's editor bridge creates it when the host opens the editor and
// frees it when the host closes it; everything here runs on the host's user-interface thread
// ("main thread").
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "editorEngine.h"
#include "host.h"
#include "plugEdit.h"

namespace korvo {

class CplugInstance;

// What a format's editor bridge needs of an editor window.
class IEditorWindow {
 public:
  virtual ~IEditorWindow() = default;
  virtual void show() = 0;
  // The host's idle call: events, posted messages and the display tick.
  virtual void idle() {}
  // The sound changed behind the window's back (a state from the host).
  virtual void refresh() {}
  // A key the host passes on (a VstKeyCode's three fields): true when the window used it.
  virtual bool hostKey(bool down, int character, int virt, int modifier) {
    (void)down, (void)character, (void)virt, (void)modifier;
    return false;
  }
  // Size in percent. The scale the system asks for (0 when unknown): its screen's dots per
  // inch against 96, as the window's own connection to the display reports them.
  virtual int scale() const { return 100; }
  virtual int systemScale() const { return 0; }
  // The platform window's handle (an X11 Window id), 0 when there is none.
  virtual unsigned long nativeWindow() const { return 0; }
  // Shows the window at a scale; it does not tell the host (the bridge does).
  virtual void setScale(int) {}
  // A command at the end of the Options menu, for a program that hosts the editor itself.
  virtual void addOptionsCommand(const std::string& caption, std::function<void()> run) { (void)caption, (void)run; }
  // Set by the bridge: the user chose a size in the window; the window is already drawn at it.
  std::function<void(int percent)> onScaleChosen;
  // Set by the bridge: the system's scale changed while the window was open (another screen,
  // another Xft.dpi); the window is still drawn at its old one.
  std::function<void()> onSystemScaleChanged;
};

// The editor's scale: the user's stored choice, else the host's hint, else the system's, each
// rounded to the nearest size offered (100 to 300 % in steps of 25); 100 when none is known.
int resolveEditorScale(int userChoice, double hostHint, double systemScale);

// Creates the editor window as a child of the host's window and hands it the instance before it
// is shown. May return null when no window can be made.
using EditorWindowFactory = std::function<std::unique_ptr<IEditorWindow>(void* parentWindow, CplugInstance& instance)>;

// IEditorEngine on the instance: changes of the sound memory under the engine's BusyScope, notes
// and panic through its queue, the pointer options and the scale in its settings.
class InstanceForEditor : public IEditorEngine {
 public:
  explicit InstanceForEditor(CplugInstance& instance) : instance_(instance) {}
  Ckv_soundMan& soundMan() override;
  void exclusive(const std::function<void()>& change) override;
  void playNote(int note, int velocity) override;
  void panic() override;
  int voicesInUse() const override;
  int voicesAvailable() const override;
  std::string userFolder() const override;
  bool restoreMouseMenu() const override;
  bool restoreMouseKnob() const override;
  void setRestoreMouseMenu(bool on) override;
  void setRestoreMouseKnob(bool on) override;
  int editorScale() const override;
  void setEditorScale(int percent) override;
  std::string waveRomProblem() const override;
  bool learnController(int word) override;
  void cancelLearn() override;
  int learningWord() const override;
  int controllerOf(int word) const override;
  void forgetWord(int word) override;
  std::vector<ControllerBinding> controllerBindings() const override;
  void forgetController(int controller) override;
  void forgetAllControllers() override;
  std::string paramName(int word) const override;
  bool programChangeSelects() const override;
  void setProgramChangeSelects(bool on) override;
  std::uint32_t soundChanges() const override;
  CplugInstance& instance() const { return instance_; }

 private:
  CplugInstance& instance_;
};

// Makes the window host for a host's parent window (the headless host where no platform window
// host is available).
using WindowHostFactory = std::function<std::unique_ptr<WindowHost>(void* parentWindow, int width, int height)>;

class EditorWindow : public IEditorWindow {
 public:
  // The form is built at once; its first show runs in show(). `timerService` drives the display
  // timer; without one the timer runs on the clock checked at every idle, on the window's thread.
  EditorWindow(void* parentWindow, CplugInstance& instance, WindowHostFactory hosts = {},
               TimerEventService* timerService = nullptr);
  ~EditorWindow() override;

  void show() override;
  void idle() override;
  void refresh() override;
  bool hostKey(bool down, int character, int virt, int modifier) override;
  int scale() const override { return host_->scale(); }
  // The window host's answer, else the platform's for the parent window.
  int systemScale() const override;
  unsigned long nativeWindow() const override { return host_->nativeWindow(); }
  void setScale(int percent) override;
  void addOptionsCommand(const std::string& caption, std::function<void()> run) override {
    form_->AddOptionsCommand(caption, std::move(run));
  }

  TplugEditForm& form() { return *form_; }
  WindowHost& host() { return *host_; }

 private:
  // The periodic work of idle, also run by a platform host's own timer.
  void tick();

  std::unique_ptr<InstanceForEditor> engine_;
  void* parent_ = nullptr;
  bool platformHost_ = false;
  ClockTimerService clock_;
  bool ticking_ = false;
  std::unique_ptr<WindowHost> host_;
  TplugEditForm* form_ = nullptr;
};

// A VstKeyCode as the toolkit's virtual-key code (0 for none), the character it types (0 for
// none) and its modifiers.
struct HostKeyCode {
  int key = 0;
  char32_t character = 0;
  ShiftState shift = 0;
};
HostKeyCode fromVstKeyCode(int character, int virt, int modifier);

// The factory the shipped formats give their editor bridges.
EditorWindowFactory editorWindowFactory(WindowHostFactory hosts = {});
// The system's window hosts (an X11 or Win32 child of the host's window), headless where none.
WindowHostFactory platformWindowHosts();
// The system's scale in percent before any window exists (0 when unknown).
int systemEditorScale();

}  // namespace korvo
