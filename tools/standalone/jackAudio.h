// The JACK client "Korvo": two audio outputs connected to the system's playback ports when there
// are any, and one MIDI input port whose events keep their frame in the block.
#pragma once

#include <memory>
#include <string>

#include "audioOutput.h"

namespace korvo {

// Null (and why in `why`) when no JACK server runs; never starts one.
std::unique_ptr<AudioOutput> openJackOutput(std::string& why);

}  // namespace korvo
