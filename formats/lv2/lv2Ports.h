// The ports of the LV2 plug-in, shared by the plug-in and the generator of its TTL so the two can
// never disagree: the MIDI input, the two audio outputs, then one control input per parameter of
// the instance's list, in id order.
#pragma once

#include <string>
#include <vector>

#include "paramList.h"

namespace korvo::lv2 {

inline constexpr const char* kPluginUri = "urn:korvo:synth";
inline constexpr const char* kUiUri = "urn:korvo:synth#ui";
// The state property holding the edit buffer record (the VST 2 chunk).
inline constexpr const char* kStateKey = "urn:korvo:synth#editBuffer";
inline constexpr const char* kStateType = "urn:korvo:synth#EditBufferRecord";
// The state property holding the control values the plug-in last applied (see Lv2Synth).
inline constexpr const char* kAppliedKey = "urn:korvo:synth#appliedControls";
inline constexpr const char* kAppliedType = "urn:korvo:synth#ControlValues";

inline constexpr unsigned kMidiPort = 0;
inline constexpr unsigned kLeftPort = 1;
inline constexpr unsigned kRightPort = 2;
inline constexpr unsigned kFirstControlPort = 3;

inline unsigned controlPort(std::size_t paramIndex) { return kFirstControlPort + static_cast<unsigned>(paramIndex); }
inline unsigned portCount() { return controlPort(paramList().size()); }

// Each parameter's port symbol: its name in lower case with every run of other characters as one
// '_' ("FILT FREQ" -> "filt_freq"); a name that would repeat another's gets "_<id>" appended. The
// symbols are what hosts store automation and sessions by: they follow the names, which are the
// instrument's own and do not change.
const std::vector<std::string>& portSymbols();

}  // namespace korvo::lv2
