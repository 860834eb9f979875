#include "plugSettings.h"

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
  return {folder, joinPath(product, "data"), joinPath(product, "user")};
#endif
}

void readSettings(SettingsStore& store, const SettingsDefaults& defaults, TplugSettings& settings) {
  settings = TplugSettings{};
  if (!store.open()) return;
  auto folder = [&](const char* name, const std::string& fallback) {
    auto value = store.readString(name);
    return value && !value->empty() ? *value : fallback;
  };
  settings.path_dll = folder("path_dll", defaults.path_dll);
  settings.path_data = folder("path_data", defaults.path_data);
  settings.path_user = folder("path_user", defaults.path_user);
  auto flag = [&](const char* name) {
    auto value = store.readInteger(name);
    return value ? *value != 0 : true;
  };
  settings.restMouseMenu = flag("restMouseMenu");
  settings.restMouseKnob = flag("restMouseKnob");
}

void writeSettings(SettingsStore& store, const TplugSettings& settings) {
  if (!store.open()) return;
  store.writeString("path_dll", settings.path_dll);
  store.writeString("path_data", settings.path_data);
  store.writeString("path_user", settings.path_user);
  store.writeInteger("restMouseMenu", settings.restMouseMenu ? 1 : 0);
  store.writeInteger("restMouseKnob", settings.restMouseKnob ? 1 : 0);
  store.commit();
}

}  // namespace korvo
