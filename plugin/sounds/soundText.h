// The readable text form of sounds: one block per sound, parameters named as the LCD pages name
// them ("OSC1.WAVE = SAW"). It is the diff-able source of a sound and converts to and from the
// record exactly: words the pages do not reach appear as WORD.n lines when they differ from a
// fresh record, and an unusual name area as a RAW line.
//
//   SOUND 005              # program number 0..127, may be left out
//   NAME = "BRASS 1"       # up to 15 bytes; \\ \" and \xNN escapes
//   OSC1.WAVE = BRASS      # waves, sources, LFO waves, bend modes by name or number
//   FILT.MOD1.SEL = WHEEL
//   ENV1.T4 = 70           # other values as numbers
//   WORD.214 = 61          # any word by index
//   END
//
// A block starts from a fresh "INIT" record, so a hand-written sound lists only what differs.
// Parameter and value names ignore case and blanks; '#' starts a comment outside quotes; a
// parameter may appear once per block. FORMAT = n sets the format word and RAW.514 = 30 hex
// bytes the name area as stored (length byte, name, reserved bytes) when it is unusual.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "progRecord.h"

namespace korvo {

enum class ParamKind { Number, Wave, Source, LfoWave, BendMode, Saturation };

struct SoundParam {
  std::string name;  // "OSC1.WAVE"
  int word;          // word index in the record
  ParamKind kind;
  int lo, hi;  // the range the pages allow
};

// Every parameter the pages reach, in page order, taken from the LCD page set (lcdPages.h): the
// value fields of every page but the two overviews, with their words and ranges; a field that
// shows a wave, source, LFO wave, bend mode or saturation name is of that kind.
const std::vector<SoundParam>& soundParams();
const SoundParam* findSoundParam(std::string_view name);

// The value as the text form writes it: a name for waves, sources, LFO waves, bend modes and
// saturation when that name reads back as the same value, else the decimal number.
std::string formatParamValue(ParamKind kind, int value);
// Accepts a number (optional sign) or, for the named kinds, a name (case and blanks ignored).
bool parseParamValue(ParamKind kind, std::string_view text, int& value);

// A name with every byte outside 0x20..0x7E (and the quote and backslash) escaped as \xNN, \" or
// \\, between double quotes.
std::string quoteName(std::string_view raw);

struct TextSound {
  int position = -1;  // the number after SOUND, -1 when none
  int line = 0;       // line of the SOUND header
  ProgramRecord record{};
};

// One block; position < 0 writes a bare "SOUND" header.
std::string soundToText(const ProgramRecord& r, int position = -1);

// Parses every block. Each block starts from a fresh record and applies its lines in order.
// On failure `error` names the line and what is wrong, and `out` is left unchanged.
bool parseSoundText(std::string_view text, std::vector<TextSound>& out, std::string& error);

// Values outside the ranges the pages allow, one message per parameter ("OSC1.OCT = 7 is outside
// -3..5"); such values are kept as they are, but the editor would not produce them.
std::vector<std::string> outOfRangeParams(const ProgramRecord& r);

}  // namespace korvo
