// The computer's own MIDI ports as the editor uses them for SysEx exchange with the hardware:
// one input port (Cmidi_inDev), one output port with its 64 KiB send buffer (Cmidi_outDev) and
// the lists of all ports (CmidiIO). The ports sit on a MidiBackend (platform/midi): the system's
// own, or a loopback in tests.
//
// Threads: everything here belongs to the editor's thread, except the input's long-message
// handler, which the port calls on its own thread (see SetLongHandler).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midiBackend.h"

namespace korvo {

class Cmidi_inDev {
 public:
  // Called with every complete SysEx message, on the port's thread. The bytes are valid for the
  // call only: copy what is wanted and return quickly.
  using LongHandler = std::function<void(int device, const std::uint8_t* data, std::size_t size)>;

  Cmidi_inDev(MidiBackend& backend, int device, std::string name);
  ~Cmidi_inDev();
  Cmidi_inDev(const Cmidi_inDev&) = delete;
  Cmidi_inDev& operator=(const Cmidi_inDev&) = delete;

  // An open port is reopened on the new device.
  void SetDevice(int device, std::string name);
  int Device() const { return device_; }
  const std::string& Name() const { return name_; }
  bool IsOpen() const { return connection_ != nullptr; }

  // Stored before Open; a handler set while open takes effect at the next open.
  void SetLongHandler(LongHandler handler) { longHandler_ = std::move(handler); }
  // 0 on success, or when already open; otherwise the error, and the port stays closed.
  int Open();
  // When it returns, the handler is not running and will not be called again.
  int Close();

 private:
  MidiBackend& backend_;
  int device_ = 0;
  std::string name_;
  LongHandler longHandler_;
  std::unique_ptr<MidiInputConnection> connection_;
};

class Cmidi_outDev {
 public:
  Cmidi_outDev(MidiBackend& backend, int device, std::string name);
  ~Cmidi_outDev();
  Cmidi_outDev(const Cmidi_outDev&) = delete;
  Cmidi_outDev& operator=(const Cmidi_outDev&) = delete;

  void SetDevice(int device, std::string name);
  int Device() const { return device_; }
  const std::string& Name() const { return name_; }
  bool IsOpen() const { return connection_ != nullptr; }

  int Open();
  int Close();
  // The send buffer (kSysExBufferSize bytes) while open, else null. The caller fills it and
  // calls Send.
  std::uint8_t* Buffer() { return IsOpen() ? buffer_.data() : nullptr; }
  // Sends the first `length` bytes of the buffer as one SysEx message. A closed port or a length
  // over 65,535 bytes sends nothing and is an error (kNotOpen, kTooLong).
  int Send(std::size_t length);
  // Copies a message into the buffer and sends it.
  int SendBytes(const std::uint8_t* data, std::size_t length);

 private:
  MidiBackend& backend_;
  int device_ = 0;
  std::string name_;
  std::vector<std::uint8_t> buffer_;
  std::unique_ptr<MidiOutputConnection> connection_;
};

class CmidiIO {
 public:
  // Null uses the system's MIDI ports.
  explicit CmidiIO(std::shared_ptr<MidiBackend> backend = nullptr);
  ~CmidiIO();
  CmidiIO(const CmidiIO&) = delete;
  CmidiIO& operator=(const CmidiIO&) = delete;

  // Closes and destroys every port object, then makes one per device the system lists now.
  void Enumerate();
  void CloseAllInputs();
  void CloseAllOutputs();
  int InputCount() const { return static_cast<int>(inputs_.size()); }
  int OutputCount() const { return static_cast<int>(outputs_.size()); }
  // The port, or null for an index outside the list.
  Cmidi_inDev* InputPort(int index);
  Cmidi_outDev* OutputPort(int index);
  const Cmidi_inDev* InputPort(int index) const { return const_cast<CmidiIO*>(this)->InputPort(index); }
  const Cmidi_outDev* OutputPort(int index) const { return const_cast<CmidiIO*>(this)->OutputPort(index); }
  // Index of the first port with this name, or -1.
  int FindInput(const std::string& name) const;
  int FindOutput(const std::string& name) const;
  MidiBackend& Backend() { return *backend_; }
  std::string ErrorText(int code) const { return backend_->errorText(code); }

 private:
  std::shared_ptr<MidiBackend> backend_;
  std::vector<std::unique_ptr<Cmidi_inDev>> inputs_;
  std::vector<std::unique_ptr<Cmidi_outDev>> outputs_;
};

}  // namespace korvo
