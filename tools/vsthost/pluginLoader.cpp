#include "pluginLoader.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace korvo::host {

using EntryPoint = vst::AEffect*(KORVO_VSTCALL*)(vst::audioMasterCallback);

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
void* openLibrary(const std::string& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }
void* findSymbol(void* lib, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name));
}
void closeLibrary(void* lib) { FreeLibrary(static_cast<HMODULE>(lib)); }
#else
std::string lastSystemError() {
  const char* e = dlerror();
  return e ? e : "unknown error";
}
void* openLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* findSymbol(void* lib, const char* name) { return dlsym(lib, name); }
void closeLibrary(void* lib) { dlclose(lib); }
#endif
}  // namespace

LoadedPlugin::~LoadedPlugin() {
  close();
  if (library_) closeLibrary(library_);
}

bool LoadedPlugin::load(const std::string& path, vst::audioMasterCallback callback, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    error = "'" + path + "' does not exist";
    return false;
  }
  // dlopen looks a bare name up in the library path; a file in the current folder needs "./".
  std::string openPath = path;
#ifndef _WIN32
  if (openPath.find('/') == std::string::npos) openPath = "./" + openPath;
#endif
  library_ = openLibrary(openPath);
  if (!library_) {
    error = "cannot load '" + path + "': " + lastSystemError();
    return false;
  }
  void* entry = findSymbol(library_, "VSTPluginMain");
  if (!entry) entry = findSymbol(library_, "main");
  if (!entry) {
    error = "'" + path + "' has no VST 2 entry point (neither VSTPluginMain nor main)";
    return false;
  }
  effect_ = reinterpret_cast<EntryPoint>(entry)(callback);
  if (!effect_) {
    error = "the entry point of '" + path + "' returned no plug-in";
    return false;
  }
  if (effect_->magic != vst::kEffectMagic) {
    error = "'" + path + "' returned a record without the VST magic number";
    effect_ = nullptr;
    return false;
  }
  return true;
}

void LoadedPlugin::close() {
  if (effect_) {
    effect_->dispatcher(effect_, vst::effClose, 0, 0, nullptr, 0.0f);
    effect_ = nullptr;
  }
}

}  // namespace korvo::host
