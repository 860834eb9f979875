#include "sysexExchange.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "soundMan.h"

namespace korvo {

CsysexExchange::CsysexExchange(Ckv_soundMan& sounds, std::shared_ptr<MidiBackend> backend)
    : sounds_(sounds), ports_(std::move(backend)), slot_(kMaxSysEx) {}

CsysexExchange::~CsysexExchange() { closeAll(); }

void CsysexExchange::SetPauseMs(int ms) { pauseMs_ = std::clamp(ms, 0, kMaxPauseMs); }

// Port choice -----------------------------------------------------------------------------------

int CsysexExchange::InputChoice() const {
  if (inName_.empty()) return -1;
  if (const Cmidi_inDev* p = ports_.InputPort(inIndex_); p && p->Name() == inName_) return inIndex_;
  return ports_.FindInput(inName_);
}

int CsysexExchange::OutputChoice() const {
  if (outName_.empty()) return -1;
  if (const Cmidi_outDev* p = ports_.OutputPort(outIndex_); p && p->Name() == outName_) return outIndex_;
  return ports_.FindOutput(outName_);
}

void CsysexExchange::SetInputChoice(int index) {
  const Cmidi_inDev* p = ports_.InputPort(index);
  inIndex_ = p ? index : -1;
  inName_ = p ? p->Name() : std::string();
}

void CsysexExchange::SetOutputChoice(int index) {
  const Cmidi_outDev* p = ports_.OutputPort(index);
  outIndex_ = p ? index : -1;
  outName_ = p ? p->Name() : std::string();
}

void CsysexExchange::RestoreChoices(std::string inputName, std::string outputName) {
  inName_ = std::move(inputName);
  outName_ = std::move(outputName);
  inIndex_ = ports_.FindInput(inName_);
  outIndex_ = ports_.FindOutput(outName_);
}

// Helpers ---------------------------------------------------------------------------------------

void CsysexExchange::closeAll() {
  ports_.CloseAllInputs();
  ports_.CloseAllOutputs();
}

void CsysexExchange::statusText(const std::string& text) {
  if (onStatusText) onStatusText(text);
}

void CsysexExchange::wait() {
  if (pause)
    pause(pauseMs_);
  else if (pauseMs_ > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs_));
}

Cmidi_outDev* CsysexExchange::openOutput(int index) {
  Cmidi_outDev* out = ports_.OutputPort(index);
  if (!out) {
    statusText(ports_.OutputCount() == 0 ? "No MIDI output port found." : "The chosen MIDI output port is not there.");
    return nullptr;
  }
  if (const int e = out->Open()) {
    statusText("The MIDI output port \"" + out->Name() + "\" could not be opened: " + ports_.ErrorText(e) + ".");
    return nullptr;
  }
  return out;
}

Cmidi_inDev* CsysexExchange::inputPort(int index) {
  Cmidi_inDev* in = ports_.InputPort(index);
  if (!in)
    statusText(ports_.InputCount() == 0 ? "No MIDI input port found." : "The chosen MIDI input port is not there.");
  return in;
}

bool CsysexExchange::send(Cmidi_outDev& out, const std::uint8_t* data, std::size_t size) {
  if (const int e = out.SendBytes(data, size)) {
    statusText("Sending to the MIDI output port \"" + out.Name() + "\" failed: " + ports_.ErrorText(e) + ".");
    return false;
  }
  return true;
}

// Commands --------------------------------------------------------------------------------------

bool CsysexExchange::Send(int outIndex) {
  closeAll();
  Cmidi_outDev* out = openOutput(outIndex);
  if (!out) return false;
  if (!send(*out, kPreMessage, sizeof kPreMessage)) return false;
  wait();
  std::vector<std::uint8_t> dump;
  if (!sounds_.ProgMan().ExportSingle(Ckv_progMan::EditSlot(), dump)) return false;
  if (!send(*out, dump.data(), dump.size())) return false;
  wait();
  if (!send(*out, kPostSendMessage, sizeof kPostSendMessage)) return false;
  if (onStatusMessage) onStatusMessage(kSentText);
  return true;
}

void CsysexExchange::arm(Cmidi_inDev& in) {
  in.SetLongHandler([this](int device, const std::uint8_t* data, std::size_t size) { onLongData(device, data, size); });
}

bool CsysexExchange::Receive(int inIndex) {
  closeAll();
  Poll();  // a dump taken before the ports closed is still the answer to that arming
  Cmidi_inDev* in = inputPort(inIndex);
  if (!in) return false;
  arm(*in);
  waiting_.store(true, std::memory_order_release);
  if (const int e = in->Open()) {
    waiting_.store(false, std::memory_order_release);
    statusText("The MIDI input port \"" + in->Name() + "\" could not be opened: " + ports_.ErrorText(e) + ".");
    return false;
  }
  if (onStatusMessage) onStatusMessage(kWaitingText);
  return true;
}

bool CsysexExchange::Request(int outIndex, int inIndex) {
  if (!Receive(inIndex)) return false;
  Cmidi_outDev* out = openOutput(outIndex);
  if (!out) return false;
  if (!send(*out, kPreMessage, sizeof kPreMessage)) return false;
  wait();
  return send(*out, kDumpRequest, sizeof kDumpRequest);
}

// Dump hand-off ---------------------------------------------------------------------------------

void CsysexExchange::onLongData(int, const std::uint8_t* data, std::size_t size) {
  // Only the first message after arming is taken, whatever it holds.
  if (!waiting_.exchange(false, std::memory_order_acq_rel)) {
    ignored_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  slot_.Publish(data, size);
}

bool CsysexExchange::importDump(const std::uint8_t* data, std::size_t size) {
  bool ok = false;
  auto change = [&] { ok = sounds_.ProgMan().ImportSingle(Ckv_progMan::EditSlot(), data, true, size); };
  if (runEditChange)
    runEditChange(change);
  else
    change();
  return ok;
}

void CsysexExchange::report(bool imported, const char* failure) {
  if (onRefresh) onRefresh();
  if (onStatusMessage) onStatusMessage(kReceivedText);
  if (!imported) statusText(failure);
}

bool CsysexExchange::Poll() {
  bool fromPort = false, fromHost = false, portImported = false, hostImported = false;
  fromPort = slot_.Take([&](const std::uint8_t* data, std::size_t size) { portImported = importDump(data, size); });
  if (hostSource_ && !hostEnabled_) hostSource_->Discard();
  if (hostSource_ && hostEnabled_) {
    // A host's event list may carry any SysEx; only single sounds are taken from it.
    hostSource_->Take([&](const std::uint8_t* data, std::size_t size) {
      int command = -1;
      if (Ckv_progMan::CheckSysExHeader(data, size, command) && command == 1) {
        fromHost = true;
        hostImported = importDump(data, size);
      }
    });
  }
  if (fromPort)
    report(portImported,
           "The received SysEx message is not a Pemmet/Halvet single sound; the edit buffer is unchanged.");
  if (fromHost) report(hostImported, "The SysEx dump from the host could not be read; the edit buffer is unchanged.");
  return fromPort || fromHost;
}

}  // namespace korvo
