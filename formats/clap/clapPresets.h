// Korvo's sounds for a CLAP host's preset browser: the preset-discovery factory's one provider
// lists the built-in factory bank, the library files in the user folder and the program memory
// (the backup file), one preset per program with the program number as its load key; the
// plug-in's preset-load extension then reads a program back from the same place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clapAbi.h"
#include "plugInstance.h"

namespace korvo {

// The 128 programs a location holds as a bank image, or why there are none.
struct PresetBank {
  std::vector<std::uint8_t> image;
  std::string error;
};
PresetBank readPresetBank(std::uint32_t locationKind, const char* location, const InstanceEnvironment& environment);
// A load key is a program number, 0..127, in decimal.
std::optional<int> presetNumber(const char* loadKey);
// Program n's record from a bank image that readPresetBank accepted.
std::vector<std::uint8_t> presetRecord(const PresetBank& bank, int n);

// The factory; it keeps the environment (the built-in bank, where the settings are).
const clap::clap_preset_discovery_factory* clapPresetFactory(InstanceEnvironment environment);

}  // namespace korvo
