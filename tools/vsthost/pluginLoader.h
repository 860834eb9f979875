// Loads a VST 2 plug-in binary by path the way a host does and calls its entry point.
#pragma once

#include <string>

#include "DAEffect.h"
#include "sharedLibrary.h"

namespace korvo::host {

class LoadedPlugin {
 public:
  LoadedPlugin() = default;
  ~LoadedPlugin();
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  // Loads the library and calls VSTPluginMain (or, failing that, `main`) with the callback.
  // On failure returns false and leaves a message naming the file and the cause in `error`.
  bool load(const std::string& path, vst::audioMasterCallback callback, std::string& error);

  vst::AEffect* effect() const { return effect_; }
  // Sends effClose (which frees the plug-in object) and forgets the record; the library stays
  // loaded until destruction.
  void close();
  // Forgets the record after the caller sent effClose itself.
  void forget() { effect_ = nullptr; }

 private:
  tools::SharedLibrary library_;
  vst::AEffect* effect_ = nullptr;
};

}  // namespace korvo::host
