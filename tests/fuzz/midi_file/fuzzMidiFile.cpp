// The tools' MIDI file reader: any bytes give either channel messages (and, for a host that asks,
// whole SysEx messages) inside the longest allowed performance, or an error and nothing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "midiFile.h"

using namespace korvo::tools;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int rate = size > 0 && data[0] % 2 ? 192000 : 22050;
  MidiFileOptions host;  // what vsthost asks for
  host.sysEx = true;
  host.needMessages = false;
  const bool asHost = size > 0 && data[size - 1] % 2;
  std::vector<TimedMessage> out;
  std::string error;
  if (readMidiBytes(data, size, rate, "fuzz", out, error, asHost ? host : MidiFileOptions{})) {
    if ((!asHost && out.empty()) || !error.empty()) std::abort();
    for (const TimedMessage& m : out) {
      if (m.frame < 0 || m.frame > static_cast<std::int64_t>(kMaxMidiSeconds * rate) + 1) std::abort();
      const bool sysEx = asHost && !m.bytes.empty() && m.bytes[0] == 0xF0 && m.bytes.back() == 0xF7;
      if (m.bytes.empty() || (m.bytes.size() > 3 && !sysEx) || m.bytes[0] < 0x80) std::abort();
    }
  } else if (!out.empty() || error.empty()) {
    std::abort();
  }
  return 0;
}
