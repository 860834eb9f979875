// The engine's test data: the generated wave ROM and the first backup of the build, read once.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "VSTaux.h"
#include "plugCore.h"

namespace korvo::test {

inline std::filesystem::path freshFolder(const std::string& name) {
  auto dir = std::filesystem::temp_directory_path() / ("korvo-engine-" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::string generatedDataFolder() {
  const char* bin = std::getenv("KORVO_BINARY_DIR");
  return (std::filesystem::path(bin ? bin : ".") / "data").string();
}

inline std::vector<std::uint8_t> generatedFile(const char* name) {
  std::vector<std::uint8_t> bytes;
  readWholeFile(generatedDataFolder() + "/" + name, bytes);
  return bytes;
}

// The build's wave ROM and factory backup as the engine's data; without them (withRom false) the
// engine has silent oscillators and INIT programs.
inline EngineData testData(bool withRom = true) {
  static const std::vector<std::uint8_t> rom = generatedFile("wavrom.bin");
  static const std::vector<std::uint8_t> bank = generatedFile("Korvo_backup.dat");
  if (!withRom) return {};
  return {rom, bank};
}

// Renders `frames` samples in replace mode and returns the left channel.
inline std::vector<float> renderLeft(CplugMaster& e, int frames) {
  std::vector<float> l(static_cast<std::size_t>(frames)), r(static_cast<std::size_t>(frames));
  e.render(true, l.data(), frames, r.data());
  return l;
}

inline float peakOf(const std::vector<float>& v) {
  float p = 0;
  for (float s : v) p = std::max(p, s < 0 ? -s : s);
  return p;
}

}  // namespace korvo::test
