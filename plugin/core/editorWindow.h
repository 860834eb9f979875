// The editor window of the shipped plug-in: a window host with TplugEditForm as its root, joined
// to the engine through IEditorEngine. The bridge creates it at the first effEditOpen and frees
// it at the last effEditClose; everything here runs on the host's user-interface thread.
#pragma once

#include <memory>

#include "editorEngine.h"
#include "host.h"
#include "plugEdit.h"
#include "uPlug.h"

namespace korvo {

class CplugMaster;

// IEditorEngine on the engine: changes of the sound memory under the engine's BusyScope, notes
// and panic through its queue, the two pointer options in its settings.
class EngineForEditor : public IEditorEngine {
 public:
  explicit EngineForEditor(CplugMaster& engine) : engine_(engine) {}
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
  CplugMaster* engine() const { return &engine_; }

 private:
  CplugMaster& engine_;
};

// Makes the window host for a host's parent window (the headless host where no platform window
// host is available).
using WindowHostFactory = std::function<std::unique_ptr<WindowHost>(void* parentWindow, int width, int height)>;

class EditorWindow : public IEditorWindow {
 public:
  // The form is built at once; its first show runs in show(). `timerService` drives the display
  // timer; without one the timer runs on the clock checked at every idle, on the window's thread.
  EditorWindow(void* parentWindow, CSynth& plugin, WindowHostFactory hosts = {},
               TimerEventService* timerService = nullptr);
  ~EditorWindow() override;

  void show() override;
  void idle() override;
  void refresh() override;
  bool hostKey(bool down, int character, int virt, int modifier) override;
  int scale() const override { return host_->scale(); }
  // The window host's answer, else the platform's for the parent window.
  int systemScale() const override;
  void setScale(int percent) override;

  TplugEditForm& form() { return *form_; }
  WindowHost& host() { return *host_; }

 private:
  // The periodic work of idle, also run by a platform host's own timer.
  void tick();

  std::unique_ptr<EngineForEditor> engine_;
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

// The factory the shipped plug-in gives its editor bridge.
EditorWindowFactory editorWindowFactory(WindowHostFactory hosts = {});
// The system's window hosts (an X11 or Win32 child of the host's window), headless where none.
WindowHostFactory platformWindowHosts();
// The system's scale in percent before any window exists (0 when unknown).
int systemEditorScale();

}  // namespace korvo
