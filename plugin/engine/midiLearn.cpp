#include "midiLearn.h"

namespace korvo {

int ControllerBinding::valueFor(int controllerValue) const {
  const std::int64_t v = controllerValue < 0 ? 0 : (controllerValue > 127 ? 127 : controllerValue);
  const std::int64_t span = std::int64_t{max} - min;
  const std::int64_t step = (v * span + (span >= 0 ? 63 : -63)) / 127;
  return static_cast<int>(min + step);
}

// Bit 63 marks a binding; then the word (16 bits) and both ends of the range (16 bits each, as
// the sound words themselves are 16-bit).
std::uint64_t MidiLearn::pack(const ControllerBinding& b) {
  auto bits16 = [](int v) { return std::uint64_t{static_cast<std::uint16_t>(v)}; };
  return (std::uint64_t{1} << 63) | (bits16(b.word) << 32) | (bits16(b.min) << 16) | bits16(b.max);
}

std::optional<ControllerBinding> MidiLearn::unpack(std::uint64_t bits) {
  if ((bits >> 63) == 0) return std::nullopt;
  auto int16 = [](std::uint64_t v) {
    return static_cast<int>(static_cast<std::int16_t>(static_cast<std::uint16_t>(v)));
  };
  return ControllerBinding{int16(bits >> 32), int16(bits >> 16), int16(bits)};
}

bool MidiLearn::bind(int controller, const ControllerBinding& binding) {
  if (!learnable(controller)) return false;
  for (int c = 0; c < kControllers; ++c)
    if (const auto b = this->binding(c); c != controller && b && b->word == binding.word)
      bound_[static_cast<std::size_t>(c)].store(0, std::memory_order_release);
  bound_[static_cast<std::size_t>(controller)].store(pack(binding), std::memory_order_release);
  return true;
}

void MidiLearn::forget(int controller) {
  if (controller < 0 || controller >= kControllers) return;
  bound_[static_cast<std::size_t>(controller)].store(0, std::memory_order_release);
}

void MidiLearn::forgetWord(int word) {
  for (int c = 0; c < kControllers; ++c)
    if (auto b = binding(c); b && b->word == word) forget(c);
}

void MidiLearn::forgetAll() {
  for (auto& b : bound_) b.store(0, std::memory_order_release);
}

std::optional<ControllerBinding> MidiLearn::binding(int controller) const {
  if (controller < 0 || controller >= kControllers) return std::nullopt;
  return unpack(bound_[static_cast<std::size_t>(controller)].load(std::memory_order_acquire));
}

int MidiLearn::controllerOf(int word) const {
  for (int c = 0; c < kControllers; ++c)
    if (auto b = binding(c); b && b->word == word) return c;
  return -1;
}

std::optional<ControllerBinding> MidiLearn::onController(int controller) {
  if (!learnable(controller)) return std::nullopt;
  if (armed_.load(std::memory_order_relaxed) != 0) {
    // Only one controller may take the armed word, however many arrive in a block.
    if (const auto target = unpack(armed_.exchange(0, std::memory_order_acq_rel))) bind(controller, *target);
  }
  return binding(controller);
}

}  // namespace korvo
