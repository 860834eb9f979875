// The system's MIDI inputs feeding the synthesizer's queue from a thread of their own: the ALSA
// sequencer on Linux (a port "Korvo:midi_in" others may connect to, connected at start to every
// input or to the one chosen), WinMM inputs on Windows (all, or the one chosen).
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace korvo {

class SynthProcess;

class MidiInputs {
 public:
  // When it returns no message reaches the synthesizer any more.
  virtual ~MidiInputs() = default;
  // One line for the status line, e.g. "ALSA sequencer, 2 inputs".
  virtual std::string description() const = 0;
};

// `only` empty: every input; else the inputs whose name contains it. Null when the system has no
// MIDI at all (`report` says why); an input that cannot be opened is left out and named in the
// description.
std::unique_ptr<MidiInputs> openMidiInputs(const std::string& only, SynthProcess& synth, std::string& report);

// The inputs there are now, by name.
std::vector<std::string> midiInputNames();

}  // namespace korvo
