#include "moduleLocation.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace korvo {

std::string thisModulePath() {
#ifdef _WIN32
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&thisModulePath), &module))
    return {};
  char buffer[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(module, buffer, sizeof buffer);
  return (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : std::string();
#else
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&thisModulePath), &info) == 0 || !info.dli_fname) return {};
  std::error_code ec;
  auto absolute = std::filesystem::absolute(info.dli_fname, ec);
  return ec ? std::string(info.dli_fname) : absolute.string();
#endif
}

std::string folderOf(const std::string& path) {
  const auto cut = path.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace korvo
