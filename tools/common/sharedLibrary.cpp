#include "sharedLibrary.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace korvo::tools {

namespace {
#ifdef _WIN32
std::string lastSystemError() {
  DWORD code = GetLastError();
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = text ? text : ("error " + std::to_string(code));
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
}
#else
std::string lastSystemError() {
  const char* e = dlerror();
  return e ? e : "unknown error";
}
#endif
}  // namespace

SharedLibrary::~SharedLibrary() {
  if (!handle_) return;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

bool SharedLibrary::open(const std::string& path, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    error = "'" + path + "' does not exist";
    return false;
  }
#ifdef _WIN32
  handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
  // dlopen looks a bare name up in the library path; a file in the current folder needs "./".
  const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  if (!handle_) error = "cannot load '" + path + "': " + lastSystemError();
  return handle_ != nullptr;
}

void* SharedLibrary::symbol(const char* name) const {
  if (!handle_) return nullptr;
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

}  // namespace korvo::tools
