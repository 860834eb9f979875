// The standalone's own choices in the plug-in's settings store (beside the folders and editor
// options the instance keeps there): the audio device, rate and block size, and the MIDI input.
#pragma once

#include <string>

#include "audioOutput.h"

namespace korvo {

class SettingsStore;

struct StandaloneSettings {
  AudioRequest audio;  // device "" is the system's first choice; 0 is the device's own
  std::string midiIn;  // "" is every input
  bool operator==(const StandaloneSettings&) const = default;
};

// The stored choices; a missing or unreadable value keeps the default (a rate outside 8 kHz ..
// 384 kHz or a block outside 16 .. 8192 frames counts as unreadable).
StandaloneSettings readStandaloneSettings(SettingsStore& store);
// False when the store could not be written (the choices then last for this run only).
bool writeStandaloneSettings(SettingsStore& store, const StandaloneSettings& settings);

// The ranges the command line, the dialog and the store accept.
bool validSampleRate(long long hz);
bool validBlockSize(long long frames);

}  // namespace korvo
