// korvo-render's MIDI file reader: any bytes give either channel messages inside the longest
// allowed performance, or an error and nothing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <glib.h>

#include "midiFile.h"

using namespace korvo::render;

namespace {
// libsmf reports every fault of a file on standard error; a fuzzer makes millions of them.
void quiet(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool silenced = (g_log_set_default_handler(quiet, nullptr), true);
  (void)silenced;
  const int rate = size > 0 && data[0] % 2 ? 192000 : 22050;
  std::vector<TimedMessage> out;
  std::string error;
  if (readMidiBytes(data, size, rate, "fuzz", out, error)) {
    if (out.empty() || !error.empty()) std::abort();
    for (const TimedMessage& m : out) {
      if (m.frame < 0 || m.frame > static_cast<std::int64_t>(kMaxMidiSeconds * rate) + 1) std::abort();
      if (m.size < 1 || m.size > 3 || m.bytes[0] < 0x80) std::abort();
    }
  } else if (!out.empty() || error.empty()) {
    std::abort();
  }
  return 0;
}
