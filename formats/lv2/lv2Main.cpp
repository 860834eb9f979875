// The bundle binary's entry points: the plug-in's descriptor with its state interface, and the
// UI's descriptor (lv2Ui.cpp).
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include <cstring>

#include "builtInData.h"
#include "lv2Ports.h"
#include "lv2Synth.h"

namespace {

using korvo::lv2::Lv2Synth;

Lv2Synth* synth(LV2_Handle handle) { return static_cast<Lv2Synth*>(handle); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
  return Lv2Synth::create(rate, features, korvo::withBuiltInData()).release();
}

void connectPort(LV2_Handle h, uint32_t port, void* data) { synth(h)->connectPort(port, data); }
void activate(LV2_Handle) {}
void run(LV2_Handle h, uint32_t frames) { synth(h)->run(frames); }
void deactivate(LV2_Handle) {}
void cleanup(LV2_Handle h) { delete synth(h); }

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                      const LV2_Feature* const*) {
  return synth(h)->save(store, handle);
}

LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle, uint32_t,
                         const LV2_Feature* const*) {
  return synth(h)->restore(retrieve, handle);
}

const void* extensionData(const char* uri) {
  static const LV2_State_Interface state{save, restore};
  return std::strcmp(uri, LV2_STATE__interface) == 0 ? &state : nullptr;
}

const LV2_Descriptor descriptor{korvo::lv2::kPluginUri, instantiate, connectPort, activate, run, deactivate, cleanup,
                                extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) { return index == 0 ? &descriptor : nullptr; }
