#include "waveRomFile.h"

#include <algorithm>
#include <fstream>

namespace korvo {

WaveRomImageCheck checkWaveRomImage(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kBank = 65536;
  WaveRomImageCheck check;
  check.size = data == nullptr ? 0 : std::min(size, kWaveRomFileBytes);
  check.missing = kWaveRomFileBytes - check.size;
  if (check.size < kBank)
    check.fault = WaveRomFault::ShorterThanABank;
  else if (std::all_of(data, data + check.size, [](std::uint8_t b) { return b == 0; }))
    check.fault = WaveRomFault::OnlyZeros;
  else
    check.fault = WaveRomFault::None;
  return check;
}

std::string describe(const WaveRomImageCheck& check) {
  switch (check.fault) {
    case WaveRomFault::None: return {};
    case WaveRomFault::Unreadable: return "cannot be read";
    case WaveRomFault::ShorterThanABank: return std::to_string(check.size) + " bytes, less than one 64 KiB bank";
    case WaveRomFault::OnlyZeros: return "only zeros";
  }
  return {};
}

bool readWaveRomFile(const std::string& path, std::vector<std::uint8_t>& image, WaveRomImageCheck* check) {
  WaveRomImageCheck verdict;
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes(kWaveRomFileBytes, 0);
  if (in) {
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto got = in.gcount();
    if (!in.bad()) verdict = checkWaveRomImage(bytes.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
  }
  if (check) *check = verdict;
  if (verdict.fault != WaveRomFault::None) return false;
  bytes.resize(verdict.size);
  image = std::move(bytes);
  return true;
}

}  // namespace korvo
