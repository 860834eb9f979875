// The wave ROM image is read as it stands, so any bytes must be safe to play: every ROM read
// stays inside the image and the output stays finite. The first bytes also choose the waves,
// keys and modes of a voice.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mod_doc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static korvo::Cdoc chip(8);
  chip.resetAll();
  chip.loadRom(data, size);
  auto byte = [&](int i) {
    const auto at = static_cast<size_t>(i);
    return at < size ? data[at] : std::uint8_t{0};
  };
  chip.setHostRate(byte(0) & 1 ? 22050.0f : 96000.0f);
  std::array<korvo::Cdoc::OscSetup, 3> s{};
  for (int k = 0; k < 3; ++k)
    s[static_cast<size_t>(k)] = {(byte(1) >> k & 1) != 0, byte(2 + k) % 80,       byte(5 + k) % 64,
                                 byte(8 + k) % 9 - 3,     byte(11 + k) % 25 - 12, byte(14 + k) % 63 - 31};
  const int flags = byte(17);
  chip.startVoice(0, byte(18) % 128, flags & 1, flags & 2, flags & 4, flags & 8, s);
  for (int i = 0; i < 512; ++i) {
    if (i % 64 == 0) chip.modulateOscillator(0, i / 64 % 3, byte(19 + i / 64) - 128, (byte(27 + i / 64) - 128) * 64);
    if (i == 300) chip.retuneVoice(0, byte(20) % 128, 0);
    if (!std::isfinite(chip.renderVoice(0))) std::abort();
  }
  return 0;
}
