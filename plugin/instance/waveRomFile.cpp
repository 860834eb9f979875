#include "waveRomFile.h"

#include <fstream>

namespace korvo {

bool readWaveRomFile(const std::string& path, std::vector<std::uint8_t>& image) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<std::uint8_t> bytes(kWaveRomFileBytes, 0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const auto got = in.gcount();
  if (in.bad() || got <= 0) return false;
  bytes.resize(static_cast<std::size_t>(got));
  image = std::move(bytes);
  return true;
}

}  // namespace korvo
