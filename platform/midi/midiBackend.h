// The computer's MIDI ports as the editor needs them: lists of input and output devices, an
// input that delivers complete SysEx messages on a thread of its own, and an output that sends
// SysEx messages. Implemented with WinMM on Windows, the ALSA sequencer on Linux, and an
// in-memory loopback for tests.
//
// Error codes: 0 is success. The system backends return the system's own codes where it has
// them (MMRESULT on Windows, a positive errno on Linux); the codes below are shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvo {

namespace midierr {
inline constexpr int kBadDevice = 2;      // no device with that number (MMSYSERR_BADDEVICEID)
inline constexpr int kAllocated = 4;      // held by another program (MMSYSERR_ALLOCATED)
inline constexpr int kNoDriver = 6;       // no MIDI system on this machine (MMSYSERR_NODRIVER)
inline constexpr int kNoMemory = 7;       // MMSYSERR_NOMEM
inline constexpr int kInvalidParam = 11;  // MMSYSERR_INVALPARAM
inline constexpr int kNotOpen = 5;        // the port is not open (MMSYSERR_INVALHANDLE)
inline constexpr int kTooLong = 1001;     // more than kMaxSysEx bytes
inline constexpr int kSendFailed = 1002;  // the system refused the message
}  // namespace midierr

// The longest SysEx message a port takes or delivers (one 64 KiB buffer, as the driver buffers
// on Windows are sized).
inline constexpr std::size_t kMaxSysEx = 65535;
inline constexpr std::size_t kSysExBufferSize = 65536;

// Called with each complete SysEx message (F0 .. F7) that arrives at an open input port, on the
// port's own thread; the bytes are valid during the call only.
using SysExHandler = std::function<void(const std::uint8_t* data, std::size_t size)>;

class MidiInputConnection {
 public:
  // Closing (or destroying) stops delivery: when it returns the handler is not running and will
  // not be called again.
  virtual ~MidiInputConnection() = default;
  virtual int close() = 0;
};

class MidiOutputConnection {
 public:
  virtual ~MidiOutputConnection() = default;
  // Sends one SysEx message of up to kMaxSysEx bytes. Backends that must pace long messages
  // (the ALSA sequencer) may return only after the last piece has been handed to the system.
  virtual int sendSysEx(const std::uint8_t* data, std::size_t size) = 0;
  virtual int close() = 0;
};

class MidiBackend {
 public:
  virtual ~MidiBackend() = default;
  // The current device lists (a fresh look at the system each call). Device numbers are
  // indexes into these lists.
  virtual std::vector<std::string> inputNames() = 0;
  virtual std::vector<std::string> outputNames() = 0;
  // Opens a device; on failure the connection stays empty and the error is returned.
  virtual int openInput(int device, SysExHandler handler, std::unique_ptr<MidiInputConnection>& out) = 0;
  virtual int openOutput(int device, std::unique_ptr<MidiOutputConnection>& out) = 0;
  // A short plain-words reason for an error code of this backend.
  virtual std::string errorText(int code) const;
};

// The backend of this system: WinMM on Windows, the ALSA sequencer elsewhere. A machine
// without a MIDI system lists no devices, and every open fails with an error.
std::unique_ptr<MidiBackend> createSystemMidiBackend();

// Rebuilds complete SysEx messages from a byte stream that may arrive in pieces. Real-time bytes
// (F8..FF) inside a message are skipped, as MIDI allows; any other status byte ends the message
// unfinished and it is dropped; a message that grows past kMaxSysEx bytes is dropped whole.
// The buffer is allocated once, so feeding allocates nothing.
class SysExAssembler {
 public:
  SysExAssembler();
  // Feeds bytes; calls `deliver` for every message completed by them.
  void feed(const std::uint8_t* data, std::size_t size, const SysExHandler& deliver);
  void reset() {
    state_ = State::Idle;
    size_ = 0;
  }
  std::uint32_t droppedMessages() const { return dropped_; }

 private:
  enum class State { Idle, Collecting, Overflowed };
  std::vector<std::uint8_t> buffer_;
  std::size_t size_ = 0;
  State state_ = State::Idle;
  std::uint32_t dropped_ = 0;
};

// An in-memory stand-in for the MIDI system: `ports` devices in each direction, joined to a far
// end that tests play. What Korvo sends to output device n reaches the far end's listener of n;
// what the far end injects into input device n reaches Korvo's open input n. Both directions are
// delivered on one delivery thread of the loopback, in order, as a system thread would.
class LoopbackMidi : public MidiBackend {
 public:
  // Called on the delivery thread with the bytes Korvo sent to output device n.
  using FarEndListener = std::function<void(int device, const std::vector<std::uint8_t>& message)>;

  explicit LoopbackMidi(std::vector<std::string> names = {"Loopback A", "Loopback B"});
  ~LoopbackMidi() override;

  std::vector<std::string> inputNames() override;
  std::vector<std::string> outputNames() override;
  int openInput(int device, SysExHandler handler, std::unique_ptr<MidiInputConnection>& out) override;
  int openOutput(int device, std::unique_ptr<MidiOutputConnection>& out) override;

  // Far end (any thread). Bytes may be any stream, split anywhere: they go through the input's
  // reassembly like bytes from a cable.
  void setFarEndListener(FarEndListener listener);
  void inject(int device, std::vector<std::uint8_t> bytes);
  // Makes opens of a device fail as if another program held it, or sends fail.
  void setHeldElsewhere(int device, bool held);
  void setSendFails(bool fails);
  // Replaces the device list (as plugging devices in or out does).
  void setNames(std::vector<std::string> names);
  // Waits until everything queued so far has been delivered.
  void flush();
  int openInputCount() const;

  struct Shared;  // the state the delivery thread and the connections share

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace korvo
