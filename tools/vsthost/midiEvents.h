// MIDI input for the host: a simple text event list, or a standard MIDI file where the MIDI file
// library is available (Linux builds).
#pragma once

#include <string>
#include <vector>

#include "timedMessage.h"

namespace korvo::host {

using tools::TimedMessage;

// Text form, one message per line: a position and the message bytes in hex, e.g.
//   0      90 3C 64     (frame 0)
//   0.5s   80 3C 00     (half a second in)
// '#' starts a comment. Returns false with a message naming the line on a bad line.
bool parseEventList(const std::string& text, double sampleRate, std::vector<TimedMessage>& out, std::string& error);

// Reads a standard MIDI file (type 0 or 1, tempo changes honoured), SysEx included. False with a
// message when the file cannot be read or this build has no MIDI file support.
bool loadMidiFile(const std::string& path, double sampleRate, std::vector<TimedMessage>& out, std::string& error);

}  // namespace korvo::host
