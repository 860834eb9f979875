// An instance in a temporary folder, its settings there too, for tests.
#pragma once

#include <filesystem>
#include <memory>

#include "engineFixture.h"
#include "plugInstance.h"
#include "settingsStore.h"

namespace korvo::test {

// withRom: the data folder is the build's (wave ROM and first backup); otherwise `dir`.
inline InstanceEnvironment testEnvironment(const std::filesystem::path& dir, bool withRom = true, bool save = false) {
  InstanceEnvironment env;
  env.settingsStore = std::make_shared<FileSettingsStore>((dir / "settings.conf").string());
  env.useSystemDefaults = false;
  env.defaults = {dir.string(), dir.string(), dir.string()};
  if (withRom) env.dataFolderOverride = generatedDataFolder();
  env.saveOnDestroy = save;
  return env;
}

}  // namespace korvo::test
