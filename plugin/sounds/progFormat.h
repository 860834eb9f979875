// Value-to-text formatters that the LCD pages install on particular fields.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace korvo {

inline constexpr int kWaveCount = 75;

// Wave names of waves 0..74 as the display shows them: right-aligned with blanks to six.
const std::array<std::string, kWaveCount>& waveNames();
// The same names without their alignment blanks ("SAW", "SQR  2").
std::string_view waveNameTrimmed(int wave);

std::string FormatWaveName(int value);       // < 0 "*OFF*", > 74 "WAVXXX", else the wave name
std::string FormatModSource(int value);      // 0..144 its source name, else " *OFF*"
std::string FormatLfoReset(int value);       // > 0 two digits of value - 1, else "OFF"
std::string FormatLfoWave(int value);        // TRI SAW SQR NSE, else "?"
std::string FormatVelocityLevel(int value);  // two digits of v & 63 then X (second curve) or L
std::string FormatRelease(int value);        // two digits of v & 63 then R (second release) or blank
std::string FormatBendMode(int value);       // ALL HELD NEW NEWH HELD2 NEW2 NEWH2, else "?"
std::string FormatSaturation(int value);     // -1 OFF, 0 ORI, n +nn

// A line of the program lists: three-digit number, three blanks, the name made safe to show.
std::string ProgramListLine(int program, std::string_view rawName);

}  // namespace korvo
