// A VST 2 host's event list in the engine's form: the one conversion every VST 2 path uses (the
// plug-in, and korvo-render, which feeds its engines as a host would).
#pragma once

#include <cstddef>
#include <span>

#include "DAEffectX.h"
#include "midiParser.h"

namespace korvo {

// The MIDI and SysEx events of a host's list in the engine's form, as many as fit into `out`
// (null lists and null entries are skipped, so are other event types). Returns how many.
std::size_t fromHostEvents(const vst::VstEvents* events, std::span<MidiEvent> out);

}  // namespace korvo
