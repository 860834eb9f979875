// The library's exported entry points. Hosts look for `main` (the classic name) or VSTPluginMain.
#include "builtInData.h"
#include "uPlug.h"

#if defined(_WIN32)
#define KORVO_EXPORT __declspec(dllexport)
#else
#define KORVO_EXPORT __attribute__((visibility("default")))
#endif

extern "C" KORVO_EXPORT korvo::vst::AEffect* KORVO_VSTCALL VSTPluginMain(korvo::vst::audioMasterCallback audioMaster) {
  return korvo::createEffect(audioMaster, korvo::withBuiltInData());
}

#if !defined(_WIN32)
// C++ reserves the name `main` for the program entry, so the export gets it through an assembler
// label. On Windows the module-definition file exports VSTPluginMain a second time as `main`.
extern "C" KORVO_EXPORT korvo::vst::AEffect* korvoLegacyMain(korvo::vst::audioMasterCallback audioMaster) __asm__(
    "main");
extern "C" korvo::vst::AEffect* korvoLegacyMain(korvo::vst::audioMasterCallback audioMaster) {
  return korvo::createEffect(audioMaster, korvo::withBuiltInData());
}
#endif
