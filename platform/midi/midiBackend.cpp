#include "midiBackend.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace korvo {

std::string MidiBackend::errorText(int code) const {
  switch (code) {
    case 0: return "no error";
    case midierr::kBadDevice: return "the port does not exist";
    case midierr::kAllocated: return "the port is in use by another program";
    case midierr::kNoDriver: return "there is no MIDI system on this computer";
    case midierr::kNoMemory: return "out of memory";
    case midierr::kNotOpen: return "the port is not open";
    case midierr::kTooLong: return "the message is longer than 65,535 bytes";
    case midierr::kSendFailed: return "the system refused the message";
    default: return "error " + std::to_string(code);
  }
}

// SysExAssembler ------------------------------------------------------------------------------

SysExAssembler::SysExAssembler() : buffer_(kMaxSysEx) {}

void SysExAssembler::feed(const std::uint8_t* data, std::size_t size, const SysExHandler& deliver) {
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = data[i];
    if (b >= 0xF8) continue;  // real-time bytes may sit anywhere, even inside a SysEx message
    if (b == 0xF0) {
      if (state_ != State::Idle) ++dropped_;  // a new message cuts the unfinished one
      state_ = State::Collecting;
      buffer_[0] = b;
      size_ = 1;
      continue;
    }
    if (state_ == State::Idle) continue;
    if (b == 0xF7) {
      if (state_ == State::Collecting) {
        if (size_ < kMaxSysEx) {
          buffer_[size_++] = b;
          if (deliver) deliver(buffer_.data(), size_);
        } else {
          ++dropped_;
        }
      }
      state_ = State::Idle;
      size_ = 0;
      continue;
    }
    if (b & 0x80) {  // any other status byte ends the message unfinished
      ++dropped_;
      state_ = State::Idle;
      size_ = 0;
      continue;
    }
    if (state_ == State::Overflowed) continue;
    // Leave room for the closing F7 inside the limit.
    if (size_ + 1 >= kMaxSysEx) {
      ++dropped_;
      state_ = State::Overflowed;
      continue;
    }
    buffer_[size_++] = b;
  }
}

// LoopbackMidi --------------------------------------------------------------------------------

namespace {

struct LoopInput {
  std::mutex deliverMutex;  // held while the handler runs, so close waits for it
  bool closed = false;
  SysExHandler handler;
  SysExAssembler assembler;
};

}  // namespace

struct LoopbackMidi::Shared {
  struct Item {
    bool toFarEnd;
    int device;
    std::vector<std::uint8_t> bytes;
  };
  std::mutex m;
  std::condition_variable cv;
  std::condition_variable idle;
  std::deque<Item> queue;
  bool busy = false;
  bool stop = false;
  std::vector<std::string> names;
  std::set<int> held;
  bool sendFails = false;
  FarEndListener listener;
  std::map<int, std::shared_ptr<LoopInput>> inputs;
  std::thread thread;

  void run() {
    std::unique_lock lock(m);
    for (;;) {
      cv.wait(lock, [&] { return stop || !queue.empty(); });
      if (stop) return;
      Item item = std::move(queue.front());
      queue.pop_front();
      busy = true;
      if (item.toFarEnd) {
        FarEndListener l = listener;
        lock.unlock();
        if (l) l(item.device, item.bytes);
      } else {
        auto it = inputs.find(item.device);
        std::shared_ptr<LoopInput> in = it == inputs.end() ? nullptr : it->second;
        lock.unlock();
        if (in) {
          std::lock_guard g(in->deliverMutex);
          if (!in->closed) in->assembler.feed(item.bytes.data(), item.bytes.size(), in->handler);
        }
      }
      lock.lock();
      busy = false;
      if (queue.empty()) idle.notify_all();
    }
  }

  void push(Item item) {
    {
      std::lock_guard g(m);
      queue.push_back(std::move(item));
    }
    cv.notify_one();
  }

  bool exists(int device) const { return device >= 0 && device < static_cast<int>(names.size()); }
};

namespace {

class LoopInputConnection : public MidiInputConnection {
 public:
  LoopInputConnection(std::shared_ptr<LoopbackMidi::Shared> shared, int device, std::shared_ptr<LoopInput> in)
      : shared_(std::move(shared)), device_(device), in_(std::move(in)) {}
  ~LoopInputConnection() override { close(); }
  int close() override;

 private:
  std::shared_ptr<LoopbackMidi::Shared> shared_;
  int device_;
  std::shared_ptr<LoopInput> in_;
};

class LoopOutputConnection : public MidiOutputConnection {
 public:
  LoopOutputConnection(std::shared_ptr<LoopbackMidi::Shared> shared, int device)
      : shared_(std::move(shared)), device_(device) {}
  int sendSysEx(const std::uint8_t* data, std::size_t size) override;
  int close() override {
    shared_.reset();
    return 0;
  }

 private:
  std::shared_ptr<LoopbackMidi::Shared> shared_;
  int device_;
};

}  // namespace

int LoopInputConnection::close() {
  if (!in_) return 0;
  {
    std::lock_guard g(shared_->m);
    auto it = shared_->inputs.find(device_);
    if (it != shared_->inputs.end() && it->second == in_) shared_->inputs.erase(it);
  }
  {
    std::lock_guard g(in_->deliverMutex);
    in_->closed = true;
  }
  in_.reset();
  return 0;
}

int LoopOutputConnection::sendSysEx(const std::uint8_t* data, std::size_t size) {
  if (!shared_) return midierr::kNotOpen;
  if (size > kMaxSysEx) return midierr::kTooLong;
  {
    std::lock_guard g(shared_->m);
    if (shared_->sendFails) return midierr::kSendFailed;
  }
  shared_->push({true, device_, std::vector<std::uint8_t>(data, data + size)});
  return 0;
}

LoopbackMidi::LoopbackMidi(std::vector<std::string> names) : shared_(std::make_shared<Shared>()) {
  shared_->names = std::move(names);
  shared_->thread = std::thread([s = shared_.get()] { s->run(); });
}

LoopbackMidi::~LoopbackMidi() {
  {
    std::lock_guard g(shared_->m);
    shared_->stop = true;
  }
  shared_->cv.notify_all();
  shared_->thread.join();
}

std::vector<std::string> LoopbackMidi::inputNames() {
  std::lock_guard g(shared_->m);
  return shared_->names;
}

std::vector<std::string> LoopbackMidi::outputNames() { return inputNames(); }

int LoopbackMidi::openInput(int device, SysExHandler handler, std::unique_ptr<MidiInputConnection>& out) {
  out.reset();
  std::lock_guard g(shared_->m);
  if (!shared_->exists(device)) return midierr::kBadDevice;
  if (shared_->held.count(device) || shared_->inputs.count(device)) return midierr::kAllocated;
  auto in = std::make_shared<LoopInput>();
  in->handler = std::move(handler);
  shared_->inputs[device] = in;
  out = std::make_unique<LoopInputConnection>(shared_, device, in);
  return 0;
}

int LoopbackMidi::openOutput(int device, std::unique_ptr<MidiOutputConnection>& out) {
  out.reset();
  std::lock_guard g(shared_->m);
  if (!shared_->exists(device)) return midierr::kBadDevice;
  if (shared_->held.count(device)) return midierr::kAllocated;
  out = std::make_unique<LoopOutputConnection>(shared_, device);
  return 0;
}

void LoopbackMidi::setFarEndListener(FarEndListener listener) {
  std::lock_guard g(shared_->m);
  shared_->listener = std::move(listener);
}

void LoopbackMidi::inject(int device, std::vector<std::uint8_t> bytes) {
  shared_->push({false, device, std::move(bytes)});
}

void LoopbackMidi::setHeldElsewhere(int device, bool held) {
  std::lock_guard g(shared_->m);
  if (held)
    shared_->held.insert(device);
  else
    shared_->held.erase(device);
}

void LoopbackMidi::setSendFails(bool fails) {
  std::lock_guard g(shared_->m);
  shared_->sendFails = fails;
}

void LoopbackMidi::setNames(std::vector<std::string> names) {
  std::lock_guard g(shared_->m);
  shared_->names = std::move(names);
}

void LoopbackMidi::flush() {
  std::unique_lock lock(shared_->m);
  shared_->idle.wait(lock, [&] { return shared_->queue.empty() && !shared_->busy; });
}

int LoopbackMidi::openInputCount() const {
  std::lock_guard g(shared_->m);
  return static_cast<int>(shared_->inputs.size());
}

}  // namespace korvo
