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
  lines_.clear();
  unreadable_ = false;
  std::vector<std::uint8_t> bytes;
  // A settings file is a few lines; anything bigger is not ours and is not read. It is kept
  // aside before the settings are written (commit), not silently replaced.
  if (readWholeFile(path_, bytes, kMaxFileSize) > 0) {
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(line);
      const std::string trimmed = trim(line);
      if (trimmed.empty() || trimmed[0] == '#') continue;
      const auto eq = trimmed.find('=');
      if (eq == std::string::npos) continue;
      values_[trim(trimmed.substr(0, eq))] = trim(trimmed.substr(eq + 1));
    }
  } else {
    const auto size = std::filesystem::file_size(file, ec);
    unreadable_ = !ec && size > 0;
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
  if (unreadable_) {
    // The file could not be read: it may be someone's own; keep it under a name of its own.
    std::error_code ec;
    std::string kept = path_ + ".unreadable";
    for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(kept, ec)); ++n)
      kept = path_ + ".unreadable." + std::to_string(n);
    std::filesystem::rename(path_, kept, ec);
    if (ec) return false;
    unreadable_ = false;
  }
  // The file's own lines stay as they were (comments, blank lines, order); a value line takes
  // its new value, and values the file did not hold go at its end.
  std::string text = lines_.empty() ? "# Korvo settings\n" : std::string();
  std::map<std::string, bool> written;
  for (const std::string& line : lines_) {
    const std::string trimmed = trim(line);
    const auto eq = trimmed.find('=');
    if (trimmed.empty() || trimmed[0] == '#' || eq == std::string::npos) {
      text += line + "\n";
      continue;
    }
    const std::string name = trim(trimmed.substr(0, eq));
    if (written[name]) continue;  // a repeated name: its last value was the one read
    written[name] = true;
    text += name + "=" + values_[name] + "\n";
  }
  for (const auto& [name, value] : values_)
    if (!written[name]) text += name + "=" + value + "\n";
  if (writeWholeFile(path_, text.data(), text.size()) != 0) return false;
  lines_.clear();
  std::istringstream again(text);
  for (std::string line; std::getline(again, line);) lines_.push_back(line);
  return true;
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
