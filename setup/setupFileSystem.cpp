#include "setupFileSystem.h"

#include <algorithm>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <filesystem>
#include <system_error>
#endif

#include "VSTaux.h"
#include "moduleLocation.h"

namespace korvo::setup {

namespace {

std::string lowered(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

void sortForList(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string la = lowered(a), lb = lowered(b);
    return la != lb ? la < lb : a < b;
  });
}

}  // namespace

bool SystemFileSystem::sameContent(const std::string& a, const std::string& b) {
  std::vector<std::uint8_t> first, second;
  const std::size_t sizeA = readWholeFile(a, first);
  return sizeA > 0 && readWholeFile(b, second) == sizeA && first == second;
}

// The copy goes to a temporary file beside the target that then replaces it: a copy that fails
// half way (a full disk, a vanished source) leaves the previous target whole. The temporary name
// carries the process number, so it is never a file of the user's.
#ifdef _WIN32

bool SystemFileSystem::isDirectory(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool SystemFileSystem::exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SystemFileSystem::createDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool SystemFileSystem::copyFile(const std::string& from, const std::string& to) {
  const std::string temp = to + "." + std::to_string(GetCurrentProcessId()) + ".korvinst-tmp";
  if (!CopyFileA(from.c_str(), temp.c_str(), FALSE)) {
    DeleteFileA(temp.c_str());
    return false;
  }
  // A copied read-only attribute would stop the next installation from replacing the file.
  const DWORD a = GetFileAttributesA(temp.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesA(temp.c_str(), a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if (!MoveFileExA(temp.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}

std::vector<std::string> SystemFileSystem::subfolders(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(joinPath(path, "*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(h, &found));
  FindClose(h);
  sortForList(names);
  return names;
}

std::vector<std::string> SystemFileSystem::drives() {
  std::vector<std::string> roots;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i)
    if (mask & (1u << i)) roots.push_back(std::string(1, static_cast<char>('a' + i)) + ":\\");
  return roots;
}

std::string defaultClapFolder() {
  char buffer[MAX_PATH * 2];
  const DWORD n = GetEnvironmentVariableA("CommonProgramFiles", buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? joinPath(std::string(buffer, n), "CLAP") : std::string();
}

std::string programFolder() {
  char buffer[MAX_PATH * 2];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return (n > 0 && n < sizeof buffer) ? folderOf(std::string(buffer, n)) : std::string();
}

#else

namespace fs = std::filesystem;

bool SystemFileSystem::isDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

bool SystemFileSystem::exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

bool SystemFileSystem::createDirectory(const std::string& path) {
  std::error_code ec;
  return fs::create_directory(path, ec) && !ec;
}

bool SystemFileSystem::copyFile(const std::string& from, const std::string& to) {
  const std::string temp = to + "." + std::to_string(::getpid()) + ".korvinst-tmp";
  std::error_code ec;
  if (!fs::is_regular_file(from, ec)) return false;
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(temp, to, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  return true;
}

std::vector<std::string> SystemFileSystem::subfolders(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_directory(typeError)) names.push_back(it->path().filename().string());
  }
  sortForList(names);
  return names;
}

std::vector<std::string> SystemFileSystem::drives() { return {"/"}; }

std::string defaultClapFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? joinPath(home, ".clap") : std::string();
}

std::string programFolder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.parent_path().string();
}

#endif

}  // namespace korvo::setup
