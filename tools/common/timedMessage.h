// A MIDI message at its place in a performance: what the tools read from files and command lines
// and hand, block by block, to a plug-in or the engine.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace korvo::tools {

struct TimedMessage {
  std::int64_t frame = 0;           // absolute sample position
  std::vector<std::uint8_t> bytes;  // one complete message (SysEx from F0 to F7)
};

// The frame a time in seconds falls on at `rate`.
inline std::int64_t frameAt(double seconds, double rate) {
  return static_cast<std::int64_t>(std::llround(seconds * rate));
}

}  // namespace korvo::tools
