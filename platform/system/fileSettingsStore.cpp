#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "VSTaux.h"
#include "settingsStore.h"

namespace korvo {

namespace {
std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}
}  // namespace

bool FileSettingsStore::open() {
  std::error_code ec;
  const std::filesystem::path file(path_);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
  values_.clear();
  std::vector<std::uint8_t> bytes;
  // A settings file is a few lines; anything bigger is not ours and is ignored.
  if (readWholeFile(path_, bytes, 64 * 1024) > 0) {
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(lines, line)) {
      line = trim(line);
      if (line.empty() || line[0] == '#') continue;
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      values_[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
  }
  // The folder must be writable for the store to count as open, as a registry key opened for
  // writing would be.
  open_ = !file.has_parent_path() || std::filesystem::is_directory(file.parent_path(), ec);
  return open_;
}

std::optional<std::string> FileSettingsStore::readString(const std::string& name) {
  auto it = values_.find(name);
  if (!open_ || it == values_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::uint32_t> FileSettingsStore::readInteger(const std::string& name) {
  auto text = readString(name);
  if (!text || text->empty()) return std::nullopt;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text->c_str(), &end, 10);
  // A value that is not a number reads as missing, so its default applies.
  if (*end != '\0' || v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(v);
}

bool FileSettingsStore::writeString(const std::string& name, const std::string& value) {
  if (!open_) return false;
  // One value per line: a line break inside a folder name would split it.
  std::string clean = value;
  for (char& c : clean)
    if (c == '\n' || c == '\r') c = ' ';
  values_[name] = clean;
  return true;
}

bool FileSettingsStore::writeInteger(const std::string& name, std::uint32_t value) {
  return writeString(name, std::to_string(value));
}

bool FileSettingsStore::commit() {
  if (!open_) return false;
  std::string text = "# Korvo settings\n";
  for (const auto& [name, value] : values_) text += name + "=" + value + "\n";
  return writeWholeFile(path_, text.data(), text.size()) == 0;
}

std::string systemSettingsFilePath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path base;
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home && *home ? home : ".") / ".config";
  }
  return (base / "Korvo" / "settings.conf").string();
}

#ifndef _WIN32
std::unique_ptr<SettingsStore> createSystemSettingsStore() {
  return std::make_unique<FileSettingsStore>(systemSettingsFilePath());
}
#endif

}  // namespace korvo
