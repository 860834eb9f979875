#include "modSources.h"

#include <cstdio>

namespace korvo {

namespace {

// Controller names; null entries are shown as "CTR" and the number.
// Controller 40 has no assigned meaning in MIDI, so it is shown like the other unassigned
// controllers ("CTR 40") rather than repeating the name of controller 32: two selectors with
// one name could not be told apart on the display or in a sound's text form.
constexpr const char* kControllerNames[128] = {
    "BANK",   "WHEEL",  "BREATH", nullptr,  "PEDAL",  "PORTA",  "DATA",   "VOLUME",  // 0..7
    "BALANC", nullptr,  "PAN",    "EXPRES", "EFFCT1", "EFFCT2", nullptr,  nullptr,   // 8..15
    "GENP 1", "GENP 2", "GENP 3", "GENP 4", nullptr,  nullptr,  nullptr,  nullptr,   // 16..23
    nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,   // 24..31
    "BANKLO", "WHEELL", "BRTHLO", nullptr,  "PEDALL", "PORTAL", "DATALO", "VOL LO",  // 32..39
    nullptr,  nullptr,  "PAN LO", "EXPRLO", "EFF1LO", "EFF2LO", nullptr,  nullptr,   // 40..47
    nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,   // 48..55
    nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,   // 56..63
    "HLDPED", "PORTON", "SUSPED", "SFTPED", "LEGPED", "HLD2PD", "VARIAT", "TIMBRE",  // 64..71
    "RELEAS", "ATTACK", "BRIGHT", "SND 6",  "SND 7",  "SND 8",  "SND 9",  "SND 10",  // 72..79
    "GENP1H", "GENP2H", "GENP3H", "GENP4H", nullptr,  nullptr,  nullptr,  nullptr,   // 80..87
    nullptr,  nullptr,  nullptr,  "EFFLEV", "TREMOL", "CHORUS", "CELEST", "PHASER",  // 88..95
    "DATINC", "DATDEC", "NREGLO", "NREGHI", "REGLO",  "REGHI",  nullptr,  nullptr,   // 96..103
    nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,   // 104..111
    nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,  nullptr,   // 112..119
    "SNDOFF", "CTROFF", "LOCAL",  "ALLOFF", "OMNOFF", "OMNION", "MONO",   "POLY",    // 120..127
};

constexpr const char* kVoiceSourceNames[17] = {
    "*OFF*", "LFO1",  "LFO2", "LFO3",  "LFO4",  "ENV1", "ENV2", "ENV3", "ENV4",
    "VEL",   "VEL-X", "KEYB", "KEYB2", "PRESS", "MAT1", "MAT2", "MAT3",
};

std::string rightAlign6(std::string s) {
  if (s.size() < 6) s.insert(0, 6 - s.size(), ' ');
  return s;
}

struct Tables {
  std::array<std::string, kSourceNameCount> names;
  std::array<std::string, kSourceNameCount> trimmed;
  Tables() {
    for (int i = 0; i < 17; ++i) trimmed[static_cast<std::size_t>(i)] = kVoiceSourceNames[i];
    for (int c = 0; c < 128; ++c) {
      std::string name;
      if (kControllerNames[c] != nullptr) {
        name = kControllerNames[c];
      } else {
        char buf[8];
        std::snprintf(buf, sizeof buf, c < 100 ? "CTR %d" : "CTR%d", c);
        name = buf;
      }
      trimmed[static_cast<std::size_t>(17 + c)] = name;
    }
    trimmed[145] = "CHPRES";
    trimmed[146] = "";
    for (std::size_t i = 0; i < names.size(); ++i)
      names[i] = i + 1 < names.size() ? rightAlign6(trimmed[i]) : std::string();
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

}  // namespace

SourceRef resolveSource(ModSourceIndex selector) {
  if (selector >= 0 && selector <= 15) return {SourceKind::PerVoice, selector};
  if (selector >= 16 && selector <= kSourceMax) return {SourceKind::ChannelWide, selector - 16};
  return {SourceKind::ChannelWide, -1};
}

const std::array<std::string, kSourceNameCount>& sourceNames() { return tables().names; }

std::string_view sourceNameTrimmed(ModSourceIndex selector) {
  if (selector < -1 || selector > kSourceMax) return {};
  return tables().trimmed[static_cast<std::size_t>(selector + 1)];
}

}  // namespace korvo
