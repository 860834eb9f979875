// The Linux settings file (any bytes, as a user's editor or another program may leave it): read
// into the engine's settings, written back and read again, it gives the same settings (bar the
// line breaks a line-based file cannot hold).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "plugSettings.h"
#include "settingsStore.h"

using namespace korvo;

namespace {
// The store writes one value per line, so a carriage return inside a folder name (the only line
// break a read can leave inside one) comes back as a blank.
std::string written(std::string folder) {
  for (char& c : folder)
    if (c == '\r') c = ' ';
  return folder;
}

bool same(const TplugSettings& a, const TplugSettings& b) {
  return written(a.path_dll) == b.path_dll && written(a.path_data) == b.path_data &&
         written(a.path_user) == b.path_user && a.restMouseMenu == b.restMouseMenu &&
         a.restMouseKnob == b.restMouseKnob;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("korvo-fuzz-settings-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  const std::string input = (dir / "settings.conf").string(), output = (dir / "again.conf").string();
  if (std::FILE* f = std::fopen(input.c_str(), "wb")) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  std::remove(output.c_str());
  const SettingsDefaults defaults{"c:\\", "/data", "/user", true};
  TplugSettings first, second;
  FileSettingsStore in(input);
  readSettings(in, defaults, first);
  FileSettingsStore out(output);
  writeSettings(out, defaults, first);
  FileSettingsStore back(output);
  readSettings(back, defaults, second);
  if (!same(first, second)) std::abort();
  return 0;
}
