// Controllers bound to sound words by MIDI learn. The user-interface thread arms a word, binds and
// forgets; the audio thread takes the armed word with the next learnable controller and looks a
// controller up at its sample. Every entry is one 64-bit atomic (word and range packed), so
// neither side ever waits for the other and a reader always sees a whole binding.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

namespace korvo {

struct ControllerBinding {
  int word = -1;  // the sound word the controller writes
  int min = 0;    // controller value 0 gives min, 127 gives max
  int max = 0;

  // The word's value for a controller value: 0..127 spread evenly over min..max, rounded to the
  // nearest step, so both ends and every named value in between can be reached.
  int valueFor(int controllerValue) const;
  bool operator==(const ControllerBinding&) const = default;
};

class MidiLearn {
 public:
  static constexpr int kControllers = 128;
  // Bank select (0, 32) and the channel mode messages (120..127) keep their own meaning.
  static constexpr bool learnable(int controller) { return controller > 0 && controller < 120 && controller != 32; }

  // Any thread.
  void arm(const ControllerBinding& target) { armed_.store(pack(target), std::memory_order_release); }
  void disarm() { armed_.store(0, std::memory_order_release); }
  std::optional<ControllerBinding> armed() const { return unpack(armed_.load(std::memory_order_acquire)); }
  // False for a controller that cannot be learned. A word has at most one controller: binding a
  // word again frees its earlier controller.
  bool bind(int controller, const ControllerBinding& binding);
  void forget(int controller);
  void forgetWord(int word);
  void forgetAll();
  std::optional<ControllerBinding> binding(int controller) const;
  // The controller bound to a word, or -1.
  int controllerOf(int word) const;

  // Audio thread: a controller arrived. Takes the armed word when the controller is learnable,
  // then returns what the controller is bound to.
  std::optional<ControllerBinding> onController(int controller);

 private:
  static std::uint64_t pack(const ControllerBinding& b);
  static std::optional<ControllerBinding> unpack(std::uint64_t bits);

  std::array<std::atomic<std::uint64_t>, kControllers> bound_{};
  std::atomic<std::uint64_t> armed_{0};
};

}  // namespace korvo
