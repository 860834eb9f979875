// A CLAP host's note and MIDI events in the engine's form: the one conversion the plug-in and its
// tests use. Parameter events are not notes; the plug-in applies them itself between slices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "clapAbi.h"
#include "midiParser.h"

namespace korvo {

// The engine's events for one host event at `frame`, as many as fit into `out`; returns how many.
//   note on        a note-on with the velocity scaled to 1..127 (a CLAP note-on of velocity 0 still
//                  starts a note: in CLAP it is no note-off)
//   note off       a note-off; a wildcard key or channel releases every key or channel it matches
//   note choke     all notes off (the engine ends every voice at once)
//   MIDI, SysEx    passed as they are (a velocity-0 note-on is a note-off there, as in MIDI)
// Anything else, a note-on with a wildcard, or an event of another space gives none.
std::size_t fromClapEvent(const clap::clap_event_header& event, std::int32_t frame, std::span<MidiEvent> out);

// A parameter change: the word and its value (the double truncated, as for stepped parameters).
struct ClapParamChange {
  int id = 0;
  int value = 0;
};
std::optional<ClapParamChange> clapParamChange(const clap::clap_event_header& event);

}  // namespace korvo
