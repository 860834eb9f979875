#include "editorMidi.h"

#include "dialog.h"
#include "plugInstance.h"
#include "uMidiSelForm.h"

namespace korvo {

namespace {
#ifdef _WIN32
const char* const kNoInputPort = "No MIDI input port found: connect the interface, check its driver.";
const char* const kNoOutputPort = "No MIDI output port found: connect the interface, check its driver.";
#else
const char* const kNoInputPort = "No MIDI input port found: connect the interface, see aconnect -l.";
const char* const kNoOutputPort = "No MIDI output port found: connect the interface, see aconnect -l.";
#endif
}  // namespace

EditorMidi::EditorMidi(TplugEditForm& form, CplugInstance& instance, std::shared_ptr<MidiBackend> backend)
    : form_(form),
      instance_(instance),
      exchange_(std::make_unique<CsysexExchange>(instance.engine().soundMan(), std::move(backend))) {
  TplugSettings& st = instance_.settings();
  exchange_->RestoreChoices(st.midiInPort, st.midiOutPort);
  exchange_->SetPauseMs(st.sysexPauseMs);
  exchange_->onStatusMessage = [this](const std::string& t) { form_.ShowStatusMessage(t); };
  exchange_->onStatusText = [this](const std::string& t) { form_.SetStatusText(t); };
  exchange_->onRefresh = [this] { form_.RefreshAll(); };
  exchange_->runEditChange = [this](const std::function<void()>& change) {
    CplugMaster::BusyScope busy(instance_.engine());
    change();
  };
  exchange_->SetHostSource(&instance_.engine().parser().hostSysEx(), st.sysexFromHost);
  instance_.engine().parser().setSysExTaken(st.sysexFromHost);
}

bool EditorMidi::hostSysEx() const { return instance_.settings().sysexFromHost; }

void EditorMidi::setHostSysEx(bool on) {
  instance_.settings().sysexFromHost = on;
  instance_.engine().parser().setSysExTaken(on);
  exchange_->SetHostSource(&instance_.engine().parser().hostSysEx(), on);
}

void EditorMidi::setPauseMs(int ms) {
  exchange_->SetPauseMs(ms);
  instance_.settings().sysexPauseMs = exchange_->PauseMs();
}

void EditorMidi::choosePort(int direction, std::function<void(int)> then) {
  WindowHost* host = form_.host();
  if (!host) return;
  const bool in = direction == kIn;
  // An empty list to choose from would only end in an OK that does nothing: say what is missing
  // and where ports come from instead.
  CmidiIO& ports = exchange_->Ports();
  ports.Enumerate();
  if ((in ? ports.InputCount() : ports.OutputCount()) == 0) {
    form_.SetStatusText(in ? kNoInputPort : kNoOutputPort);
    return;
  }
  auto form = std::make_unique<TmidiSelForm>(ports);
  TmidiSelForm& sel = *form;
  sel.Prepare(in ? "Select MIDI in port..." : "Select MIDI out port...",
              in ? TmidiSelForm::kDirectionIn : TmidiSelForm::kDirectionOut,
              in ? exchange_->InputChoice() : exchange_->OutputChoice(),
              in ? exchange_->InputChoiceName() : exchange_->OutputChoiceName());
  sel.TakeColours(form_.colour, form_.fontColour, form_.font);
  // The dialog in a drawn frame with its caption, centred on the editor's client point.
  auto frame = std::make_unique<DialogFrame>(sel.width(), sel.height());
  DialogFrame& f = *frame;
  f.title = sel.caption;
  f.colour = form_.colour;
  f.client().adopt(std::move(form));
  sel.setPosition(0, 0);
  std::weak_ptr<bool> alive = alive_;
  sel.onClose = [this, alive, &f, in, then = std::move(then)](int result) {
    if (alive.expired()) return;
    const int port = TmidiSelForm::PortFromResult(result);
    form_.EndKeyHookDialog(f);
    if (port < 0) return;
    if (in) {
      exchange_->SetInputChoice(port);
      instance_.settings().midiInPort = exchange_->InputChoiceName();
    } else {
      exchange_->SetOutputChoice(port);
      instance_.settings().midiOutPort = exchange_->OutputChoiceName();
    }
    then(port);
  };
  const Point centre = form_.toWindow({281, 173});
  form_.InstallKeyHook(&f);
  host->openModal(std::move(frame), {centre.x - f.width() / 2, centre.y - f.height() / 2});
  sel.setFocus();
}

void EditorMidi::portFor(int direction, std::function<void(int)> then) {
  const int known = direction == kIn ? exchange_->InputChoice() : exchange_->OutputChoice();
  if (known >= 0)
    then(known);
  else
    choosePort(direction, std::move(then));
}

void EditorMidi::request() {
  choosePort(kIn, [this](int in) { choosePort(kOut, [this, in](int out) { exchange_->Request(out, in); }); });
}

void EditorMidi::receive() {
  choosePort(kIn, [this](int in) { exchange_->Receive(in); });
}

void EditorMidi::send() {
  choosePort(kOut, [this](int out) { exchange_->Send(out); });
}

void EditorMidi::sendButton() {
  portFor(kOut, [this](int out) { exchange_->Send(out); });
}

void EditorMidi::requestButton() {
  portFor(kIn, [this](int in) { portFor(kOut, [this, in](int out) { exchange_->Request(out, in); }); });
}

}  // namespace korvo
