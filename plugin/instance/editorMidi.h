// The editor's hardware exchange: the File menu's Request, Receive and Send and the two SysEx
// buttons on the MIDI ports, with the port dialog shown over the window. Window thread only.
#pragma once

#include <functional>
#include <memory>

#include "plugEdit.h"
#include "sysexExchange.h"

namespace korvo {

class CplugInstance;
class MidiBackend;

class EditorMidi : public IMidiExchange {
 public:
  // Null backend: the system's ports.
  EditorMidi(TplugEditForm& form, CplugInstance& instance, std::shared_ptr<MidiBackend> backend = nullptr);

  void request() override;
  void receive() override;
  void send() override;
  void sendButton() override;
  void requestButton() override;
  void poll() override { exchange_->Poll(); }
  bool hostSysEx() const override;
  void setHostSysEx(bool on) override;
  int pauseMs() const override { return exchange_->PauseMs(); }
  void setPauseMs(int ms) override;

  CsysexExchange& exchange() { return *exchange_; }

 private:
  static constexpr int kIn = 0, kOut = 1;
  // Shows the port dialog; `then` gets the chosen port (never called on Cancel).
  void choosePort(int direction, std::function<void(int port)> then);
  // The remembered port, else the dialog.
  void portFor(int direction, std::function<void(int port)> then);

  TplugEditForm& form_;
  CplugInstance& instance_;
  std::unique_ptr<CsysexExchange> exchange_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace korvo
