// One line that tells sounds apart in a listing: waves, filter and voice mode.
#pragma once

#include <string>

#include "progRecord.h"

namespace korvo::patch {

// "SAW (BELL) (SINE)  filter 127 res  0  poly": the three waves, a disabled oscillator in
// parentheses, the filter cutoff and resonance, then mono or poly.
std::string soundSummary(const ProgramRecord& r);

}  // namespace korvo::patch
