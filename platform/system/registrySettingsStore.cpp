// The Windows settings store: values of the key SOFTWARE\Korvo in the local machine hive.
#ifdef _WIN32
#include <windows.h>

#include "settingsStore.h"

namespace korvo {

namespace {
class RegistrySettingsStore : public SettingsStore {
 public:
  ~RegistrySettingsStore() override {
    if (key_) RegCloseKey(key_);
  }
  bool open() override {
    if (key_) return true;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvo", 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, &key_, nullptr) == ERROR_SUCCESS;
  }
  std::optional<std::string> readString(const std::string& name) override {
    if (!key_) return std::nullopt;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > 64 * 1024) return std::nullopt;
    std::string value(size, '\0');
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
        ERROR_SUCCESS)
      return std::nullopt;
    value.resize(size);
    while (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
  }
  std::optional<std::uint32_t> readInteger(const std::string& name) override {
    if (!key_) return std::nullopt;
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
      return std::nullopt;  // another type reads as missing, so its default applies
    return static_cast<std::uint32_t>(value);
  }
  bool writeString(const std::string& name, const std::string& value) override {
    return key_ && RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
  }
  bool writeInteger(const std::string& name, std::uint32_t value) override {
    DWORD v = value;
    return key_ && RegSetValueExA(key_, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v) ==
                       ERROR_SUCCESS;
  }
  bool commit() override { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};
}  // namespace

std::unique_ptr<SettingsStore> createSystemSettingsStore() { return std::make_unique<RegistrySettingsStore>(); }

}  // namespace korvo
#endif
