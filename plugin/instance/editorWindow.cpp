#include "editorWindow.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "editorMidi.h"
#include "headlessHost.h"
#include "platformHost.h"
#include "plugInstance.h"

namespace korvo {

int resolveEditorScale(int userChoice, double hostHint, double systemScale) {
  if (validEditorScale(userChoice)) return userChoice;
  auto snap = [](double percent) {
    return static_cast<int>(std::clamp<long long>(std::llround(percent / 25.0) * 25, 100, 300));
  };
  if (std::isfinite(hostHint) && hostHint > 0) return snap(hostHint);
  if (std::isfinite(systemScale) && systemScale > 0) return snap(systemScale);
  return 100;
}

Ckv_soundMan& InstanceForEditor::soundMan() { return instance_.engine().soundMan(); }

void InstanceForEditor::exclusive(const std::function<void()>& change) {
  CplugMaster::BusyScope busy(instance_.engine());
  change();
}

void InstanceForEditor::playNote(int note, int velocity) { instance_.engine().queueKeyboardNote(0, note, velocity); }
void InstanceForEditor::panic() { instance_.engine().queuePanic(); }
int InstanceForEditor::voicesInUse() const { return instance_.engine().voicesInUse(); }
int InstanceForEditor::voicesAvailable() const { return instance_.engine().voiceCount(); }
std::string InstanceForEditor::userFolder() const { return instance_.settings().path_user; }
bool InstanceForEditor::restoreMouseMenu() const { return instance_.settings().restMouseMenu; }
bool InstanceForEditor::restoreMouseKnob() const { return instance_.settings().restMouseKnob; }
void InstanceForEditor::setRestoreMouseMenu(bool on) { instance_.settings().restMouseMenu = on; }
void InstanceForEditor::setRestoreMouseKnob(bool on) { instance_.settings().restMouseKnob = on; }

int InstanceForEditor::editorScale() const { return instance_.settings().editorScale; }
void InstanceForEditor::setEditorScale(int percent) { instance_.settings().editorScale = validEditorScale(percent); }

std::string InstanceForEditor::waveRomProblem() const {
  if (instance_.waveRomSource() == CplugInstance::WaveRomSource::DataFolder && instance_.waveRomComplete()) return {};
  return instance_.waveRomDescription();
}

bool InstanceForEditor::learnController(int word) { return instance_.learnController(word); }
void InstanceForEditor::cancelLearn() { instance_.cancelLearn(); }
int InstanceForEditor::learningWord() const { return instance_.learningParam(); }
int InstanceForEditor::controllerOf(int word) const { return instance_.controllerOf(word); }
void InstanceForEditor::forgetWord(int word) {
  if (const int c = instance_.controllerOf(word); c >= 0) instance_.forgetController(c);
}
std::vector<IEditorEngine::ControllerBinding> InstanceForEditor::controllerBindings() const {
  std::vector<ControllerBinding> list;
  for (const auto& b : instance_.controllerBindings()) list.push_back({b.controller, b.id});
  return list;
}
void InstanceForEditor::forgetController(int controller) { instance_.forgetController(controller); }
void InstanceForEditor::forgetAllControllers() { instance_.forgetAllControllers(); }
std::string InstanceForEditor::paramName(int word) const {
  const ParamInfo* p = CplugInstance::params().find(word);
  return p ? p->name : std::string();
}
bool InstanceForEditor::programChangeSelects() const { return instance_.programChangeSelects(); }
void InstanceForEditor::setProgramChangeSelects(bool on) { instance_.setProgramChangeSelects(on); }
std::uint32_t InstanceForEditor::soundChanges() const { return instance_.engine().soundChanges(); }

EditorWindow::EditorWindow(void* parentWindow, CplugInstance& instance, WindowHostFactory hosts,
                           TimerEventService* timerService) {
  engine_ = std::make_unique<InstanceForEditor>(instance);
  parent_ = parentWindow;
  if (hosts) host_ = hosts(parentWindow, TplugEditForm::kWidth, TplugEditForm::kHeight);
  platformHost_ = host_ != nullptr;
  if (!host_) host_ = std::make_unique<HeadlessHost>(TplugEditForm::kWidth, TplugEditForm::kHeight);
  host_->keyboardWanted = [this] { return form_ && form_->keyboardWanted(); };
  host_->onTimer = [this] { tick(); };
  host_->onSystemScaleChanged = [this] {
    if (onSystemScaleChanged) onSystemScaleChanged();
  };
  auto form = std::make_unique<TplugEditForm>(timerService ? timerService : &clock_);
  form_ = form.get();
  host_->setRoot(std::move(form));
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
    form_->SetMidiExchange(std::make_unique<EditorMidi>(*form_, engine_->instance()));
  form_->FormShow();
  host_->present();
}

void EditorWindow::idle() {
  host_->pumpEvents();
  tick();
}

void EditorWindow::tick() {
  if (ticking_) return;  // a timer message dispatched by a loop that a tick runs
  ticking_ = true;
  clock_.poll();
  form_->processMessages();
  host_->collectClosed();
  host_->present();
  ticking_ = false;
}

bool EditorWindow::hostKey(bool down, int character, int virt, int modifier) {
  if (!host_->wantsKeyboard()) return false;
  const HostKeyCode k = fromVstKeyCode(character, virt, modifier);
  if (!k.key && !k.character) return false;
  const int echo = k.key ? k.key : static_cast<int>(k.character);
  // The copy of a key the window already had from the system is taken, and dropped.
  if (!host_->keyEcho.accept(KeyEchoFilter::Route::Host, down, echo)) return true;
  if (down) {
    if (k.key) host_->keyDown(k.key, k.shift);
    if (k.character) host_->keyChar(k.character);
  } else if (k.key) {
    host_->keyUp(k.key, k.shift);
  }
  host_->collectClosed();
  host_->present();
  return true;
}

HostKeyCode fromVstKeyCode(int character, int virt, int modifier) {
  HostKeyCode k;
  if (modifier & 1) k.shift |= kShift;
  if (modifier & 2) k.shift |= kAlt;
  if (modifier & (4 | 8)) k.shift |= kCtrl;
  // The interface's own numbering of keys without a character, from 1 (Back) to 57 (Equals).
  static constexpr int kVirtual[] = {0,    0x08, 0x09, 0x0C, 0x0D, 0x13, 0x1B, 0x20, 0x22, 0x23, 0x24, 0x25,
                                     0x26, 0x27, 0x28, 0x21, 0x22, 0x29, 0x2A, 0x0D, 0x2C, 0x2D, 0x2E, 0x2F,
                                     0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B,
                                     0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77,
                                     0x78, 0x79, 0x7A, 0x7B, 0x90, 0x91, 0x10, 0x11, 0x12, 0xBB};
  if (virt > 0 && virt < static_cast<int>(std::size(kVirtual))) {
    k.key = kVirtual[virt];
    switch (k.key) {  // the keys that type a control character, as Windows' character messages do
      case 0x08:
      case 0x09:
      case 0x0D:
      case 0x1B:
      case 0x20: k.character = static_cast<char32_t>(k.key); break;
      default:
        if (k.key >= 0x60 && k.key <= 0x69) k.character = static_cast<char32_t>('0' + (k.key - 0x60));
        break;
    }
    if (virt == 57) k.character = '=';
  } else if (character > 0) {
    const char32_t c = static_cast<char32_t>(character);
    k.character = c;
    if (c >= 'a' && c <= 'z')
      k.key = static_cast<int>(c - 'a' + 'A');
    else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
      k.key = static_cast<int>(c);
    else if (c == ' ')
      k.key = keys::Space;
    else if (c == ',')
      k.key = keys::Comma;
    else if (c == '.')
      k.key = keys::Period;
    else if (c == '-')
      k.key = 0xBD;
    else if (c == '=')
      k.key = 0xBB;
  }
  if (k.shift & kCtrl) k.character = 0;  // shortcuts type nothing
  return k;
}

void EditorWindow::refresh() { form_->postMessage(TplugEditForm::kMsgRefresh); }

EditorWindowFactory editorWindowFactory(WindowHostFactory hosts) {
  return [hosts](void* parent, CplugInstance& instance) -> std::unique_ptr<IEditorWindow> {
    return std::make_unique<EditorWindow>(parent, instance, hosts);
  };
}

WindowHostFactory platformWindowHosts() { return makePlatformWindowHost; }

int systemEditorScale() { return platformSystemScale(); }

}  // namespace korvo
