// One audio block's MIDI events in the form the engine takes them from the plug-in object, for
// tests that drive the engine directly: short messages in the order added, kept in place, so
// that filling a block again allocates nothing (the audio thread's rule).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include <gtest/gtest.h>

#include "midiParser.h"

namespace korvo::test {

class HostBlock {
 public:
  static constexpr std::size_t kCapacity = 16;

  void add(int frame, int status, int data1, int data2) {
    if (count_ == kCapacity) {
      ADD_FAILURE() << "more than " << kCapacity << " events in one host block";
      return;
    }
    MidiEvent& e = events_[count_++];
    e = {};
    e.frame = frame;
    e.status = static_cast<std::uint8_t>(status);
    e.data1 = static_cast<std::uint8_t>(data1);
    e.data2 = static_cast<std::uint8_t>(data2);
  }
  void clear() { count_ = 0; }
  std::size_t size() const { return count_; }
  std::span<const MidiEvent> list() const { return {events_.data(), count_}; }

 private:
  std::array<MidiEvent, kCapacity> events_{};
  std::size_t count_ = 0;
};

}  // namespace korvo::test
