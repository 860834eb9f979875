// A bounded single-producer single-consumer queue: one thread pushes, another pops, neither
// waits nor allocates after construction. The editor hands its notes to the audio thread here.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace korvo {

template <class T, std::size_t Capacity>
class SpscQueue {
  static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

 public:
  // Producer thread only. False when the queue is full (the item is not taken).
  bool push(const T& item) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= Capacity) return false;
    items_[head & (Capacity - 1)] = item;
    head_.store(head + 1, std::memory_order_release);
    return true;
  }
  // Consumer thread only. False when empty.
  bool pop(T& item) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    item = items_[tail & (Capacity - 1)];
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }
  // Items waiting; exact on the producer's thread, which alone adds to it.
  std::size_t size() const { return head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire); }
  // Either thread; a snapshot.
  bool empty() const { return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire); }

 private:
  std::array<T, Capacity> items_{};
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
};

}  // namespace korvo
