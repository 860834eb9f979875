#include "midiio2.h"

#include <cstring>

namespace korvo {

// Cmidi_inDev ---------------------------------------------------------------------------------

Cmidi_inDev::Cmidi_inDev(MidiBackend& backend, int device, std::string name)
    : backend_(backend), device_(device), name_(std::move(name)) {}

Cmidi_inDev::~Cmidi_inDev() { Close(); }

void Cmidi_inDev::SetDevice(int device, std::string name) {
  const bool wasOpen = IsOpen();
  if (wasOpen) Close();
  device_ = device;
  name_ = std::move(name);
  if (wasOpen) Open();
}

int Cmidi_inDev::Open() {
  if (IsOpen()) return 0;
  SysExHandler deliver;
  if (longHandler_) {
    deliver = [handler = longHandler_, device = device_](const std::uint8_t* data, std::size_t size) {
      handler(device, data, size);
    };
  }
  return backend_.openInput(device_, std::move(deliver), connection_);
}

int Cmidi_inDev::Close() {
  if (!connection_) return 0;
  const int r = connection_->close();
  connection_.reset();
  return r;
}

// Cmidi_outDev --------------------------------------------------------------------------------

Cmidi_outDev::Cmidi_outDev(MidiBackend& backend, int device, std::string name)
    : backend_(backend), device_(device), name_(std::move(name)) {}

Cmidi_outDev::~Cmidi_outDev() { Close(); }

void Cmidi_outDev::SetDevice(int device, std::string name) {
  const bool wasOpen = IsOpen();
  if (wasOpen) Close();
  device_ = device;
  name_ = std::move(name);
  if (wasOpen) Open();
}

int Cmidi_outDev::Open() {
  if (IsOpen()) return 0;
  const int r = backend_.openOutput(device_, connection_);
  if (r == 0) buffer_.assign(kSysExBufferSize, 0);
  return r;
}

int Cmidi_outDev::Close() {
  if (!connection_) return 0;
  const int r = connection_->close();
  connection_.reset();
  buffer_.clear();
  buffer_.shrink_to_fit();
  return r;
}

int Cmidi_outDev::Send(std::size_t length) {
  if (!IsOpen()) return midierr::kNotOpen;
  if (length > kMaxSysEx) return midierr::kTooLong;
  return connection_->sendSysEx(buffer_.data(), length);
}

int Cmidi_outDev::SendBytes(const std::uint8_t* data, std::size_t length) {
  if (!IsOpen()) return midierr::kNotOpen;
  if (length > kMaxSysEx) return midierr::kTooLong;
  if (length > 0) std::memcpy(buffer_.data(), data, length);
  return Send(length);
}

// CmidiIO -------------------------------------------------------------------------------------

CmidiIO::CmidiIO(std::shared_ptr<MidiBackend> backend) : backend_(std::move(backend)) {
  if (!backend_) backend_ = createSystemMidiBackend();
  Enumerate();
}

CmidiIO::~CmidiIO() {
  inputs_.clear();
  outputs_.clear();
}

void CmidiIO::Enumerate() {
  inputs_.clear();
  outputs_.clear();
  const std::vector<std::string> in = backend_->inputNames();
  for (std::size_t i = 0; i < in.size(); ++i)
    inputs_.push_back(std::make_unique<Cmidi_inDev>(*backend_, static_cast<int>(i), in[i]));
  const std::vector<std::string> out = backend_->outputNames();
  for (std::size_t i = 0; i < out.size(); ++i)
    outputs_.push_back(std::make_unique<Cmidi_outDev>(*backend_, static_cast<int>(i), out[i]));
}

void CmidiIO::CloseAllInputs() {
  for (auto& p : inputs_) p->Close();
}

void CmidiIO::CloseAllOutputs() {
  for (auto& p : outputs_) p->Close();
}

Cmidi_inDev* CmidiIO::InputPort(int index) {
  return index >= 0 && index < InputCount() ? inputs_[static_cast<std::size_t>(index)].get() : nullptr;
}

Cmidi_outDev* CmidiIO::OutputPort(int index) {
  return index >= 0 && index < OutputCount() ? outputs_[static_cast<std::size_t>(index)].get() : nullptr;
}

int CmidiIO::FindInput(const std::string& name) const {
  for (std::size_t i = 0; i < inputs_.size(); ++i)
    if (inputs_[i]->Name() == name) return static_cast<int>(i);
  return -1;
}

int CmidiIO::FindOutput(const std::string& name) const {
  for (std::size_t i = 0; i < outputs_.size(); ++i)
    if (outputs_[i]->Name() == name) return static_cast<int>(i);
  return -1;
}

}  // namespace korvo
