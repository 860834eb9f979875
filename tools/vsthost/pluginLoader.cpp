#include "pluginLoader.h"

namespace korvo::host {

using EntryPoint = vst::AEffect*(KORVO_VSTCALL*)(vst::audioMasterCallback);

LoadedPlugin::~LoadedPlugin() { close(); }

bool LoadedPlugin::load(const std::string& path, vst::audioMasterCallback callback, std::string& error) {
  if (!library_.open(path, error)) return false;
  void* entry = library_.symbol("VSTPluginMain");
  if (!entry) entry = library_.symbol("main");
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
