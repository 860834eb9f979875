// One SysEx message handed from a thread that must not wait (a MIDI port's thread, the host's
// audio thread) to the editor's thread, which polls for it. A single slot, allocated once:
// publishing copies into it and never allocates or locks; while the slot is full, further
// messages are dropped and counted, so a flood costs the producer nothing but the count.
//
// Threads: Publish from one producer thread at a time; Take and Pending from one consumer thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace korvo {

class CsysexHandOff {
 public:
  explicit CsysexHandOff(std::size_t capacity = 65535) : buffer_(capacity) {}
  CsysexHandOff(const CsysexHandOff&) = delete;
  CsysexHandOff& operator=(const CsysexHandOff&) = delete;

  // Producer: false (and counted as dropped) when the slot is still full, the message is empty
  // or longer than the capacity.
  bool Publish(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size == 0 || size > buffer_.size() || full_.load(std::memory_order_acquire)) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    std::memcpy(buffer_.data(), data, size);
    size_ = size;
    full_.store(true, std::memory_order_release);
    return true;
  }

  // Consumer: calls f(data, size) with the waiting message and empties the slot; false when
  // there was none.
  template <class F>
  bool Take(F&& f) {
    if (!full_.load(std::memory_order_acquire)) return false;
    f(static_cast<const std::uint8_t*>(buffer_.data()), size_);
    full_.store(false, std::memory_order_release);
    return true;
  }
  // Consumer: empties the slot unseen.
  void Discard() { full_.store(false, std::memory_order_release); }

  bool Pending() const { return full_.load(std::memory_order_acquire); }
  std::uint32_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }
  std::size_t Capacity() const { return buffer_.size(); }

 private:
  std::vector<std::uint8_t> buffer_;
  std::size_t size_ = 0;  // written before full_ is raised, read after it is seen
  std::atomic<bool> full_{false};
  std::atomic<std::uint32_t> dropped_{0};
};

}  // namespace korvo
