// Where the plug-in's settings live: the registry on Windows, a small key=value file elsewhere.
// Both keep the same value names and types (strings and 32-bit integers used as Booleans).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvo {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // Opens the store for reading and writing, creating it when it does not exist.
  virtual bool open() = 0;
  virtual std::optional<std::string> readString(const std::string& name) = 0;
  // A stored integer value; non-zero reads as true.
  virtual std::optional<std::uint32_t> readInteger(const std::string& name) = 0;
  virtual bool writeString(const std::string& name, const std::string& value) = 0;
  virtual bool writeInteger(const std::string& name, std::uint32_t value) = 0;
  // Makes the written values permanent (the file store writes its file here).
  virtual bool commit() = 0;
};

// A key=value text file, one "name=value" per line; integers are stored in decimal. The file is
// replaced through a temporary file, so a failed write never loses the previous settings; its
// comment lines and order stay, and a file that could not be read (over 64 KiB) is kept as
// "settings.conf.unreadable" (numbered when taken) before the new one is written.
class FileSettingsStore : public SettingsStore {
 public:
  explicit FileSettingsStore(std::string path) : path_(std::move(path)) {}
  bool open() override;
  std::optional<std::string> readString(const std::string& name) override;
  std::optional<std::uint32_t> readInteger(const std::string& name) override;
  bool writeString(const std::string& name, const std::string& value) override;
  bool writeInteger(const std::string& name, std::uint32_t value) override;
  bool commit() override;
  const std::string& path() const { return path_; }

 private:
  static constexpr std::size_t kMaxFileSize = 64 * 1024;
  std::string path_;
  bool open_ = false;
  bool unreadable_ = false;         // a file is there that could not be read
  std::vector<std::string> lines_;  // the file as read, comments included
  std::map<std::string, std::string> values_;
};

// The store this system uses for the plug-in: on Windows the registry key SOFTWARE\Korvo of the
// local machine hive; elsewhere $XDG_CONFIG_HOME/Korvo/settings.conf (else ~/.config/Korvo/...).
std::unique_ptr<SettingsStore> createSystemSettingsStore();

// The path of the settings file used on systems without a registry.
std::string systemSettingsFilePath();

}  // namespace korvo
