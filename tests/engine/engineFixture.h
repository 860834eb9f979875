// An engine in a temporary folder with the generated wave ROM, for tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "plugCore.h"
#include "settingsStore.h"

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

inline EngineEnvironment testEnvironment(const std::filesystem::path& dir, bool withRom = true, bool save = false) {
  EngineEnvironment env;
  env.settingsStore = std::make_shared<FileSettingsStore>((dir / "settings.conf").string());
  env.useSystemDefaults = false;
  env.defaults = {dir.string(), dir.string(), dir.string()};
  if (withRom) env.dataFolderOverride = generatedDataFolder();
  env.saveOnDestroy = save;
  return env;
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
