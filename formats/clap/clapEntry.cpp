// The library's exported entry record: `clap_entry`, with the one factory that makes Korvo.
#include <cstring>

#include "builtInData.h"
#include "clapPlugin.h"
#include "clapPresets.h"

#if defined(_WIN32)
#define KORVO_EXPORT __declspec(dllexport)
#else
#define KORVO_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using namespace korvo::clap;

std::uint32_t KORVO_CLAPCALL pluginCount(const clap_plugin_factory*) { return 1; }

const clap_plugin_descriptor* KORVO_CLAPCALL pluginDescriptor(const clap_plugin_factory*, std::uint32_t index) {
  return index == 0 ? &korvo::CclapSynth::descriptor() : nullptr;
}

const clap_plugin* KORVO_CLAPCALL createPlugin(const clap_plugin_factory*, const clap_host* host, const char* id) {
  return korvo::createClapPlugin(host, id, korvo::withBuiltInData(),
                                 korvo::editorWindowFactory(korvo::platformWindowHosts()));
}

const clap_plugin_factory kFactory{pluginCount, pluginDescriptor, createPlugin};

bool KORVO_CLAPCALL entryInit(const char*) { return true; }
void KORVO_CLAPCALL entryDeinit() {}
const void* KORVO_CLAPCALL entryFactory(const char* id) {
  if (!id) return nullptr;
  if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0) return &kFactory;
  if (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 ||
      std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0) {
    static const clap_preset_discovery_factory* presets = korvo::clapPresetFactory(korvo::withBuiltInData());
    return presets;
  }
  return nullptr;
}

}  // namespace

extern "C" KORVO_EXPORT const clap_plugin_entry clap_entry{CLAP_VERSION, entryInit, entryDeinit, entryFactory};
