// CsysexExchange: moving the edit buffer to and from a hardware instrument over the computer's
// MIDI ports - Send, Receive and Request of a single sound - without the window. The window owns
// one, wires its callbacks, asks the user for ports with TmidiSelForm, calls the commands from
// its menus and buttons, and calls Poll() from its display tick.
//
// A dump arrives on the input port's own thread. That thread only copies the first message
// after arming into a hand-off slot; the window's thread takes it in Poll(), imports it into the
// edit buffer and reports, so nothing of the window or the sound memory is touched from the
// port's thread.
//
// Threads: every member is for the window's thread, unless its comment says otherwise.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "midiio2.h"
#include "sysexHandOff.h"

namespace korvo {

class Ckv_soundMan;

class CsysexExchange {
 public:
  static constexpr std::uint8_t kPreMessage[7] = {0xF0, 0x0F, 0x02, 0x00, 0x0E, 0x26, 0xF7};
  static constexpr std::uint8_t kPostSendMessage[8] = {0xF0, 0x0F, 0x02, 0x00, 0x0E, 0x2F, 0x62, 0xF7};
  static constexpr std::uint8_t kDumpRequest[6] = {0xF0, 0x0F, 0x02, 0x00, 0x09, 0xF7};
  static constexpr int kDefaultPauseMs = 200;
  static constexpr int kMaxPauseMs = 5000;

  // Texts the exchange reports (LCD).
  static constexpr const char* kSentText = "** SysEx dump sent **";
  static constexpr const char* kWaitingText = "** Waiting for SysEx dump **";
  static constexpr const char* kReceivedText = "** SysEx dump received **";

  // Null backend: the system's MIDI ports.
  explicit CsysexExchange(Ckv_soundMan& sounds, std::shared_ptr<MidiBackend> backend = nullptr);
  // Closes every port first, so no port thread calls in afterwards.
  ~CsysexExchange();
  CsysexExchange(const CsysexExchange&) = delete;
  CsysexExchange& operator=(const CsysexExchange&) = delete;

  // What the window shows; all are called on the window's thread, from the commands or Poll().
  // A timed LCD message ("** SysEx dump sent **", ...): the window's ShowStatusMessage.
  std::function<void(const std::string&)> onStatusMessage;
  // A plain-words failure for the status line (a port missing or held by another program, a
  // send that failed, a received message that was not a single sound): SetStatusText.
  std::function<void(const std::string&)> onStatusText;
  // The edit buffer changed: the window's RefreshAll.
  std::function<void()> onRefresh;
  // Runs a change of the edit buffer; the window wraps it so that the audio thread does not
  // read the buffer half written (the engine's BusyScope). Unset runs it directly.
  std::function<void(const std::function<void()>& change)> runEditChange;
  // The pause between the messages of one exchange; unset sleeps. Tests count instead.
  std::function<void(int ms)> pause;

  // The port lists (the port dialog enumerates them again when it opens).
  CmidiIO& Ports() { return ports_; }

  // Pause between messages, clamped to 0..kMaxPauseMs (default 200 ms).
  void SetPauseMs(int ms);
  int PauseMs() const { return pauseMs_; }

  // Chosen ports, remembered by name so that a port renumbered by plugging devices keeps its
  // choice. The index is looked up in the current list: -1 when nothing is chosen or the
  // chosen port is not there now.
  int InputChoice() const;
  int OutputChoice() const;
  // An index of the current list; -1 forgets the choice.
  void SetInputChoice(int index);
  void SetOutputChoice(int index);
  const std::string& InputChoiceName() const { return inName_; }
  const std::string& OutputChoiceName() const { return outName_; }
  // Names from the settings.
  void RestoreChoices(std::string inputName, std::string outputName);

  // Commands. Each first closes every port and then opens only what it needs. False when it
  // stopped early (the reason went to onStatusText).
  bool Send(int outIndex);
  bool Receive(int inIndex);
  // Arms the input, then asks the instrument on the output for its edit sound. An output that
  // fails leaves the input armed.
  bool Request(int outIndex, int inIndex);

  // From the window's display tick: imports a dump that has arrived (header checked) into the
  // edit buffer and reports "** SysEx dump received **". True when a message was taken.
  bool Poll();
  bool Waiting() const { return waiting_.load(std::memory_order_acquire); }

  // SysEx from the host's event list (the engine's parser publishes into it on the audio
  // thread); with `enabled`, Poll() also imports single dumps found there, without arming.
  void SetHostSource(CsysexHandOff* source, bool enabled) {
    hostSource_ = source;
    hostEnabled_ = enabled;
  }

  // Messages that arrived while not waiting, or while the slot was still full (port thread
  // counts; any thread may read).
  std::uint32_t IgnoredMessages() const { return ignored_.load(std::memory_order_relaxed) + slot_.Dropped(); }

 private:
  // Port thread.
  void onLongData(int device, const std::uint8_t* data, std::size_t size);
  void closeAll();
  void arm(Cmidi_inDev& in);
  bool send(Cmidi_outDev& out, const std::uint8_t* data, std::size_t size);
  Cmidi_outDev* openOutput(int index);
  Cmidi_inDev* inputPort(int index);
  void wait();
  void statusText(const std::string& text);
  bool importDump(const std::uint8_t* data, std::size_t size);
  void report(bool imported, const char* failure);

  Ckv_soundMan& sounds_;
  CmidiIO ports_;
  int pauseMs_ = kDefaultPauseMs;
  std::string inName_, outName_;
  int inIndex_ = -1, outIndex_ = -1;  // the last choice, used when a name is not unique
  std::atomic<bool> waiting_{false};
  std::atomic<std::uint32_t> ignored_{0};
  CsysexHandOff slot_;
  CsysexHandOff* hostSource_ = nullptr;
  bool hostEnabled_ = false;
};

}  // namespace korvo
