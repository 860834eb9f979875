#include "progFormat.h"

#include "VSTaux.h"
#include "modSources.h"
#include "progRecord.h"
#include "soundAux.h"

namespace korvo {

namespace {

constexpr const char* kWaveNames[kWaveCount] = {
    "SAW",    "BELL",   "SINE",   "SQUARE", "PULSE",  "NOISE1", "NOISE2", "NOISE3", "BASS",   "PIANO",  "EL PNO",
    "VOICE1", "VOICE2", "KICK",   "REED",   "ORGAN",  "SYNTH1", "SYNTH2", "SYNTH3", "FORMT1", "FORMT2", "FORMT3",
    "FORMT4", "FORMT5", "PULSE2", "SQR  2", "4 OCTS", "PRIME",  "BASS 2", "E PNO2", "OCTAVE", "OCT+5",  "SAW  2",
    "TRIANG", "REED 2", "REED 3", "GRIT 1", "GRIT 2", "GRIT 3", "GLINT1", "GLINT2", "GLINT3", "CLAV",   "BRASS",
    "STRING", "DIGIT1", "DIGIT2", "BELL 2", "ALIEN",  "BREATH", "VOICE3", "STEAM",  "METAL",  "CHIME",  "BOWING",
    "PICK 1", "PICK 2", "MALLET", "SLAP",   "PLINK",  "PLUCK",  "PLUNK",  "CLICK",  "CHIFF",  "THUMP",  "LOGDRM",
    "KICK 2", "SNARE",  "TOMTOM", "HI-HAT", "DRUMS1", "DRUMS2", "DRUMS3", "DRUMS4", "DRUMS5",
};

std::string twoDigits(int v) { return zeroPad(v, 2); }

}  // namespace

const std::array<std::string, kWaveCount>& waveNames() {
  static const std::array<std::string, kWaveCount> names = [] {
    std::array<std::string, kWaveCount> a;
    for (int i = 0; i < kWaveCount; ++i) {
      std::string s = kWaveNames[i];
      a[static_cast<std::size_t>(i)] = std::string(6 - s.size(), ' ') + s;
    }
    return a;
  }();
  return names;
}

std::string_view waveNameTrimmed(int wave) {
  return wave >= 0 && wave < kWaveCount ? std::string_view(kWaveNames[wave]) : std::string_view();
}

std::string FormatWaveName(int value) {
  if (value < 0) return "*OFF*";
  if (value >= kWaveCount) return "WAVXXX";
  return waveNames()[static_cast<std::size_t>(value)];
}

std::string FormatModSource(int value) {
  if (value < 0 || value > kSourceMax) value = -1;
  return sourceNames()[static_cast<std::size_t>(value + 1)];
}

std::string FormatLfoReset(int value) { return value > 0 ? twoDigits(value - 1) : "OFF"; }

std::string FormatLfoWave(int value) {
  static constexpr const char* kNames[4] = {"TRI", "SAW", "SQR", "NSE"};
  return value >= 0 && value < 4 ? kNames[value] : "?";
}

std::string FormatVelocityLevel(int value) {
  const int v = clamp127(value);
  return twoDigits(v & 63) + (v >= 64 ? "X" : "L");
}

std::string FormatRelease(int value) {
  const int v = clamp127(value);
  return twoDigits(v & 63) + (v >= 64 ? "R" : " ");
}

std::string FormatBendMode(int value) {
  static constexpr const char* kNames[7] = {"ALL", "HELD", "NEW", "NEWH", "HELD2", "NEW2", "NEWH2"};
  return value >= 0 && value < 7 ? kNames[value] : "?";
}

std::string FormatSaturation(int value) {
  if (value == -1) return "OFF";
  if (value == 0) return "ORI";
  return "+" + twoDigits(value);
}

std::string ProgramListLine(int program, std::string_view rawName) {
  return zeroPad(program, 3) + "   " + displayName(rawName);
}

}  // namespace korvo
