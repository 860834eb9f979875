#include "editorWindow.h"

#include "editorMidi.h"
#include "headlessHost.h"
#include "platformHost.h"
#include "plugCore.h"

namespace korvo {

Ckv_soundMan& EngineForEditor::soundMan() { return engine_.soundMan(); }

void EngineForEditor::exclusive(const std::function<void()>& change) {
  CplugMaster::BusyScope busy(engine_);
  change();
}

void EngineForEditor::playNote(int note, int velocity) { engine_.queueKeyboardNote(0, note, velocity); }
void EngineForEditor::panic() { engine_.queuePanic(); }
int EngineForEditor::voicesInUse() const { return engine_.voicesInUse(); }
int EngineForEditor::voicesAvailable() const { return engine_.voiceCount(); }
std::string EngineForEditor::userFolder() const { return engine_.settings().path_user; }
bool EngineForEditor::restoreMouseMenu() const { return engine_.settings().restMouseMenu; }
bool EngineForEditor::restoreMouseKnob() const { return engine_.settings().restMouseKnob; }
void EngineForEditor::setRestoreMouseMenu(bool on) { engine_.settings().restMouseMenu = on; }
void EngineForEditor::setRestoreMouseKnob(bool on) { engine_.settings().restMouseKnob = on; }

int EngineForEditor::editorScale() const { return engine_.settings().editorScale; }
void EngineForEditor::setEditorScale(int percent) { engine_.settings().editorScale = validEditorScale(percent); }

std::string EngineForEditor::waveRomProblem() const {
  if (engine_.waveRomSource() == CplugMaster::WaveRomSource::DataFolder) return {};
  return engine_.waveRomDescription();
}

EditorWindow::EditorWindow(void* parentWindow, CSynth& plugin, WindowHostFactory hosts, TimerEventService* timerService) {
  if (plugin.engine()) engine_ = std::make_unique<EngineForEditor>(*plugin.engine());
  parent_ = parentWindow;
  if (hosts) host_ = hosts(parentWindow, TplugEditForm::kWidth, TplugEditForm::kHeight);
  platformHost_ = host_ != nullptr;
  if (!host_) host_ = std::make_unique<HeadlessHost>(TplugEditForm::kWidth, TplugEditForm::kHeight);
  host_->keyboardWanted = [this] { return form_ && form_->keyboardWanted(); };
  auto form = std::make_unique<TplugEditForm>(timerService ? timerService : &clock_);
  form_ = form.get();
  host_->setRoot(std::move(form));
  form_->SetPlugin(&plugin);
  form_->SetEngine(engine_.get());
  form_->ShowScale(host_->scale());
  form_->onScaleChosen = [this](int percent) {
    setScale(percent);
    if (onScaleChosen) onScaleChosen(percent);
  };
}

int EditorWindow::systemScale() const {
  if (const int s = host_->systemScale(); s > 0) return s;
  // Only a window in a real parent asks the system; the headless one has no screen.
  return platformHost_ || parent_ ? platformSystemScale(parent_) : 0;
}

void EditorWindow::setScale(int percent) {
  host_->setScale(percent);
  form_->ShowScale(host_->scale());
}

EditorWindow::~EditorWindow() {
  // The window and its dialogs go before the engine adapter they call.
  host_.reset();
  form_ = nullptr;
}

void EditorWindow::show() {
  if (!form_->Shown() && engine_ && !form_->MidiExchange())
    form_->SetMidiExchange(std::make_unique<EditorMidi>(*form_, *engine_->engine()));
  form_->FormShow();
  host_->present();
}

void EditorWindow::idle() {
  host_->pumpEvents();
  clock_.poll();
  form_->processMessages();
  host_->collectClosed();
  host_->present();
}

void EditorWindow::refresh() { form_->postMessage(TplugEditForm::kMsgRefresh); }

EditorWindowFactory editorWindowFactory(WindowHostFactory hosts) {
  return [hosts](void* parent, CSynth& plugin) -> std::unique_ptr<IEditorWindow> {
    return std::make_unique<EditorWindow>(parent, plugin, hosts);
  };
}

WindowHostFactory platformWindowHosts() { return makePlatformWindowHost; }

int systemEditorScale() { return platformSystemScale(); }

}  // namespace korvo
