// The text form of sounds: any text either fails with a message or gives sounds whose text form
// reads back to the same records.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "soundText.h"

using namespace korvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<TextSound> sounds;
  std::string error;
  if (!parseSoundText(std::string_view(reinterpret_cast<const char*>(data), size), sounds, error)) {
    if (error.empty() || !sounds.empty()) std::abort();
    return 0;
  }
  for (const TextSound& s : sounds) {
    std::vector<TextSound> back;
    if (!parseSoundText(soundToText(s.record, s.position), back, error) || back.size() != 1 ||
        !recordsEqual(back[0].record, s.record) || back[0].position != s.position)
      std::abort();
  }
  return 0;
}
