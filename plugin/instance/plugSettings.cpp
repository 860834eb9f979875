#include "plugSettings.h"

#include <algorithm>
#include <cstdint>

#include "VSTaux.h"
#include "moduleLocation.h"
#include "settingsStore.h"

namespace korvo {

SettingsDefaults systemSettingsDefaults() {
#ifdef _WIN32
  return {"c:\\", "c:\\", "c:\\"};
#else
  const std::string folder = folderOf(thisModulePath());
  const std::string product = joinPath(folder, "Korvo");
  return {folder, joinPath(product, "data"), joinPath(product, "user"), false};
#endif
}

int validEditorScale(long long percent) {
  return percent >= 100 && percent <= 300 && percent % 25 == 0 ? static_cast<int>(percent) : 0;
}

void readSettings(SettingsStore& store, const SettingsDefaults& defaults, TplugSettings& settings) {
  settings = TplugSettings{};
  if (!store.open()) return;
  auto folder = [&](const char* name, const std::string& fallback, bool& stored) {
    auto value = store.readString(name);
    stored = value && !value->empty();
    return stored ? *value : fallback;
  };
  settings.path_dll = folder("path_dll", defaults.path_dll, settings.storedFolder[0]);
  settings.path_data = folder("path_data", defaults.path_data, settings.storedFolder[1]);
  settings.path_user = folder("path_user", defaults.path_user, settings.storedFolder[2]);
  auto flag = [&](const char* name) {
    auto value = store.readInteger(name);
    return value ? *value != 0 : true;
  };
  settings.restMouseMenu = flag("restMouseMenu");
  settings.restMouseKnob = flag("restMouseKnob");
  settings.midiInPort = store.readString("midiInPort").value_or("");
  settings.midiOutPort = store.readString("midiOutPort").value_or("");
  // Some instruments need longer than the usual pause; more than five seconds is a typing slip.
  settings.sysexPauseMs =
      static_cast<int>(std::min<std::uint32_t>(store.readInteger("sysexPause").value_or(200), 5000));
  settings.sysexFromHost = store.readInteger("sysexFromHost").value_or(0) != 0;
  settings.editorScale = validEditorScale(store.readInteger("editorScale").value_or(0));
  settings.midiControllers = store.readString("midiControllers").value_or("");
  const auto programChange = store.readInteger("programChange").value_or(0);
  settings.programChange = programChange == 1 || programChange == 2 ? static_cast<int>(programChange) : 0;
}

void writeSettings(SettingsStore& store, const SettingsDefaults& defaults, const TplugSettings& settings) {
  if (!store.open()) return;
  auto folder = [&](const char* name, const std::string& value, const std::string& fallback, bool stored) {
    if (stored || defaults.writeDefaultsBack || value != fallback) store.writeString(name, value);
  };
  folder("path_dll", settings.path_dll, defaults.path_dll, settings.storedFolder[0]);
  folder("path_data", settings.path_data, defaults.path_data, settings.storedFolder[1]);
  folder("path_user", settings.path_user, defaults.path_user, settings.storedFolder[2]);
  store.writeInteger("restMouseMenu", settings.restMouseMenu ? 1 : 0);
  store.writeInteger("restMouseKnob", settings.restMouseKnob ? 1 : 0);
  store.writeString("midiInPort", settings.midiInPort);
  store.writeString("midiOutPort", settings.midiOutPort);
  store.writeInteger("sysexPause", static_cast<std::uint32_t>(std::clamp(settings.sysexPauseMs, 0, 5000)));
  store.writeInteger("sysexFromHost", settings.sysexFromHost ? 1 : 0);
  store.writeInteger("editorScale", static_cast<std::uint32_t>(validEditorScale(settings.editorScale)));
  store.writeString("midiControllers", settings.midiControllers);
  if (settings.programChange == 1 || settings.programChange == 2)
    store.writeInteger("programChange", static_cast<std::uint32_t>(settings.programChange));
  store.commit();
}

}  // namespace korvo
