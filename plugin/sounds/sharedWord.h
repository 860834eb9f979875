// Parameter words of the edit buffer are changed on the user-interface thread while the render
// reads them on the audio thread (at note starts and releases). Both sides go through these
// relaxed atomic accesses, so a reader always sees a whole word, old or new; on the usual targets
// they compile to plain 16-bit loads and stores. Whole-record changes are not made this way: they
// take the engine's busy scope instead.
#pragma once

#include <atomic>
#include <cstdint>

namespace korvo {

static_assert(std::atomic_ref<std::int16_t>::is_always_lock_free);

inline std::int16_t loadSharedWord(const std::int16_t& word) {
  // Only loaded: the cast never leads to a write through a const object.
  return std::atomic_ref<std::int16_t>(const_cast<std::int16_t&>(word)).load(std::memory_order_relaxed);
}

inline void storeSharedWord(std::int16_t& word, std::int16_t value) {
  std::atomic_ref<std::int16_t>(word).store(value, std::memory_order_relaxed);
}

}  // namespace korvo
