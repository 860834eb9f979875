#include "soundText.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "lcdPages.h"
#include "modSources.h"
#include "progFormat.h"

namespace korvo {

namespace {

constexpr int kNameAreaOffset = 514;
constexpr int kNameAreaSize = 30;  // length byte, 15 name bytes, 14 reserved bytes
constexpr std::size_t kMaxSounds = 100000;

// A field whose page shows a name is written by that name in the text form too.
ParamKind kindShownBy(LcdFormat format) {
  static const struct {
    LcdFormat format;
    ParamKind kind;
  } named[] = {{FormatWaveName, ParamKind::Wave},
               {FormatModSource, ParamKind::Source},
               {FormatLfoWave, ParamKind::LfoWave},
               {FormatBendMode, ParamKind::BendMode},
               {FormatSaturation, ParamKind::Saturation}};
  for (const auto& n : named)
    if (n.format == format) return n.kind;
  return ParamKind::Number;
}

// The value fields of the pages that own their words, named after the block their page opens
// with ("OSC1" + "." + "WAVE").
std::vector<SoundParam> buildParams() {
  std::vector<SoundParam> params;
  for (const LcdPage& page : lcdPages()) {
    if (page.overview) continue;
    for (const LcdPageField& f : page.fields)
      params.push_back({page.label + "." + f.name, f.word, kindShownBy(f.format), f.lo, f.hi});
  }
  return params;
}

std::string upperNoSpaces(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' || c == '\t') continue;
    out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool parseInt(std::string_view s, int& v) {
  s = trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  int x = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), x);
  if (ec != std::errc() || ptr != s.data() + s.size()) return false;
  v = x;
  return true;
}

std::string nameOf(ParamKind kind, int v);

// Name lookup over a value range: the value whose name matches, ignoring case and blanks.
bool lookupName(ParamKind kind, std::string_view text, int lo, int hi, int& value) {
  using Map = std::unordered_map<std::string, int>;
  static const std::array<Map, 6> maps = [] {
    std::array<Map, 6> m;
    const struct {
      ParamKind kind;
      int lo, hi;
    } ranges[] = {{ParamKind::Wave, 0, kWaveCount - 1},
                  {ParamKind::Source, -1, kSourceMax},
                  {ParamKind::LfoWave, 0, 3},
                  {ParamKind::BendMode, 0, 6},
                  {ParamKind::Saturation, -1, 0}};
    for (const auto& r : ranges)
      for (int v = r.lo; v <= r.hi; ++v)
        m[static_cast<std::size_t>(r.kind)].emplace(upperNoSpaces(nameOf(r.kind, v)), v);
    return m;
  }();
  const Map& map = maps[static_cast<std::size_t>(kind)];
  const auto it = map.find(upperNoSpaces(text));
  if (it == map.end() || it->second < lo || it->second > hi) return false;
  value = it->second;
  return true;
}

std::string nameOf(ParamKind kind, int v) {
  switch (kind) {
    case ParamKind::Wave: return std::string(waveNameTrimmed(v));
    case ParamKind::Source: return std::string(sourceNameTrimmed(v));
    case ParamKind::LfoWave: return v >= 0 && v < 4 ? FormatLfoWave(v) : std::string();
    case ParamKind::BendMode: return v >= 0 && v < 7 ? FormatBendMode(v) : std::string();
    case ParamKind::Saturation: return v == -1 ? "OFF" : (v == 0 ? "ORI" : std::string());
    case ParamKind::Number: break;
  }
  return {};
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The quoted name at the start of `s`; returns false on a malformed escape or missing quote.
bool unquoteName(std::string_view s, std::string& out, std::string_view& rest) {
  if (s.empty() || s.front() != '"') return false;
  out.clear();
  std::size_t i = 1;
  while (i < s.size() && s[i] != '"') {
    if (s[i] == '\\') {
      if (i + 1 >= s.size()) return false;
      const char e = s[i + 1];
      if (e == '\\' || e == '"') {
        out += e;
        i += 2;
      } else if (e == 'x' && i + 3 < s.size() && hexDigit(s[i + 2]) >= 0 && hexDigit(s[i + 3]) >= 0) {
        out += static_cast<char>(hexDigit(s[i + 2]) * 16 + hexDigit(s[i + 3]));
        i += 4;
      } else {
        return false;
      }
    } else {
      out += s[i++];
    }
  }
  if (i >= s.size()) return false;
  rest = s.substr(i + 1);
  return true;
}

// Strips a comment that starts with '#' outside quotes.
std::string_view stripComment(std::string_view line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (quoted && line[i] == '\\') {
      ++i;
    } else if (line[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && line[i] == '#') {
      return line.substr(0, i);
    }
  }
  return line;
}

// A piece of the input quoted in an error message: cut short, and with control and non-ASCII
// bytes shown as '?' so that nothing from a hostile file reaches the terminal.
std::string echo(std::string_view text) { return displayName(text.substr(0, 40)); }

bool nameAreaCanonical(const ProgramRecord& r) {
  if (r.nameLength > kNameCapacity) return false;
  for (int i = r.nameLength; i < kNameCapacity; ++i)
    if (r.name[i] != 0) return false;
  for (std::uint8_t b : r.reserved)
    if (b != 0) return false;
  return true;
}

std::string hexBytes(const std::uint8_t* p, int n) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (int i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

}  // namespace

const std::vector<SoundParam>& soundParams() {
  static const std::vector<SoundParam> params = buildParams();
  return params;
}

const SoundParam* findSoundParam(std::string_view name) {
  static const std::unordered_map<std::string, const SoundParam*> byName = [] {
    std::unordered_map<std::string, const SoundParam*> m;
    for (const SoundParam& p : soundParams()) m.emplace(p.name, &p);
    return m;
  }();
  const auto it = byName.find(upperNoSpaces(name));
  return it == byName.end() ? nullptr : it->second;
}

std::string formatParamValue(ParamKind kind, int value) {
  if (kind == ParamKind::Saturation && value >= 1 && value <= 15) return FormatSaturation(value);
  const std::string name = nameOf(kind, value);
  int back = 0;
  if (!name.empty() && parseParamValue(kind, name, back) && back == value) return name;
  return std::to_string(value);
}

bool parseParamValue(ParamKind kind, std::string_view text, int& value) {
  text = trim(text);
  if (parseInt(text, value)) return true;
  if (kind == ParamKind::Number || upperNoSpaces(text).empty()) return false;
  return lookupName(kind, text, -32768, 32767, value);
}

std::string quoteName(std::string_view raw) {
  static const char* digits = "0123456789ABCDEF";
  std::string s = "\"";
  for (char c : raw) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      s += '\\';
      s += c;
    } else if (u < 0x20 || u > 0x7E) {
      s += "\\x";
      s += digits[u >> 4];
      s += digits[u & 15];
    } else {
      s += c;
    }
  }
  return s + "\"";
}

std::string soundToText(const ProgramRecord& r, int position) {
  std::string t = "SOUND";
  if (position >= 0) {
    char buf[16];
    std::snprintf(buf, sizeof buf, " %03d", position);
    t += buf;
  }
  t += "\nNAME = " + quoteName(recordName(r)) + "\n";
  bool named[kParamWordCount] = {};
  for (const SoundParam& p : soundParams()) {
    named[p.word] = true;
    t += p.name + " = " + formatParamValue(p.kind, r.words[p.word]) + "\n";
  }
  static const ProgramRecord init = makeInitRecord();
  for (int i = 0; i < kParamWordCount; ++i)
    if (!named[i] && r.words[i] != init.words[i])
      t += "WORD." + std::to_string(i) + " = " + std::to_string(r.words[i]) + "\n";
  if (r.format != kRecordFormat) t += "FORMAT = " + std::to_string(r.format) + "\n";
  if (!nameAreaCanonical(r))
    t += "RAW.514 = " + hexBytes(reinterpret_cast<const std::uint8_t*>(&r) + kNameAreaOffset, kNameAreaSize) + "\n";
  return t + "END\n";
}

bool parseSoundText(std::string_view text, std::vector<TextSound>& out, std::string& error) {
  std::vector<TextSound> sounds;
  bool inBlock = false;
  int lineNo = 0;
  std::vector<bool> seen;
  auto fail = [&](const std::string& what) {
    error = "line " + std::to_string(lineNo) + ": " + what;
    return false;
  };
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const std::size_t end = std::min(text.find('\n', pos), text.size());
    std::string_view line = trim(stripComment(text.substr(pos, end - pos)));
    pos = end + 1;
    ++lineNo;
    if (line.empty()) {
      if (end == text.size()) break;
      continue;
    }
    const std::size_t eq = line.find('=');
    const std::string head = upperNoSpaces(line.substr(0, eq == std::string_view::npos ? line.size() : eq));
    if (eq == std::string_view::npos) {
      if (head.rfind("SOUND", 0) == 0) {
        if (inBlock) return fail("SOUND inside a block (END missing)");
        if (sounds.size() >= kMaxSounds) return fail("too many sounds");
        TextSound s;
        s.line = lineNo;
        setInitDefaults(s.record);
        const std::string_view num = trim(line.substr(5));
        if (!num.empty() && (!parseInt(num, s.position) || s.position < 0 || s.position > 127))
          return fail("SOUND position must be a number 0..127");
        sounds.push_back(s);
        seen.assign(soundParams().size() + kParamWordCount + 3, false);
        inBlock = true;
        continue;
      }
      if (head == "END") {
        if (!inBlock) return fail("END without SOUND");
        inBlock = false;
        continue;
      }
      return fail("expected SOUND, END or NAME = value, got '" + echo(line) + "'");
    }
    if (!inBlock) return fail("parameter outside a SOUND ... END block");
    ProgramRecord& r = sounds.back().record;
    const std::string_view valueText = trim(line.substr(eq + 1));
    auto once = [&](std::size_t key) {
      if (seen[key]) return false;
      seen[key] = true;
      return true;
    };
    const std::size_t base = soundParams().size();
    if (head == "NAME") {
      std::string name;
      std::string_view rest;
      if (!unquoteName(valueText, name, rest) || !trim(rest).empty())
        return fail("NAME needs a quoted text (escapes \\\\ \\\" \\xNN)");
      if (name.size() > static_cast<std::size_t>(kNameCapacity)) return fail("NAME is longer than 15 characters");
      if (!once(base + kParamWordCount)) return fail("NAME given twice");
      setRecordName(r, name);
      std::memset(r.name + name.size(), 0, static_cast<std::size_t>(kNameCapacity) - name.size());
      continue;
    }
    int value = 0;
    if (head == "FORMAT") {
      if (!parseInt(valueText, value) || value < -32768 || value > 32767) return fail("FORMAT needs a 16-bit number");
      if (!once(base + kParamWordCount + 1)) return fail("FORMAT given twice");
      r.format = static_cast<std::int16_t>(value);
      continue;
    }
    if (head == "RAW.514") {
      std::uint8_t bytes[kNameAreaSize];
      int n = 0;
      for (std::size_t i = 0; i < valueText.size();) {
        if (valueText[i] == ' ' || valueText[i] == '\t') {
          ++i;
          continue;
        }
        if (i + 1 >= valueText.size() || hexDigit(valueText[i]) < 0 || hexDigit(valueText[i + 1]) < 0 ||
            n >= kNameAreaSize)
          return fail("RAW.514 needs exactly 30 hexadecimal bytes");
        bytes[n++] = static_cast<std::uint8_t>(hexDigit(valueText[i]) * 16 + hexDigit(valueText[i + 1]));
        i += 2;
      }
      if (n != kNameAreaSize) return fail("RAW.514 needs exactly 30 hexadecimal bytes");
      if (!once(base + kParamWordCount + 2)) return fail("RAW.514 given twice");
      std::memcpy(reinterpret_cast<std::uint8_t*>(&r) + kNameAreaOffset, bytes, kNameAreaSize);
      continue;
    }
    int index = -1;
    ParamKind kind = ParamKind::Number;
    std::size_t key = 0;
    if (head.rfind("WORD.", 0) == 0) {
      if (!parseInt(std::string_view(head).substr(5), index) || index < 0 || index >= kParamWordCount)
        return fail("WORD.n needs n in 0..255");
      key = base + static_cast<std::size_t>(index);
    } else if (const SoundParam* p = findSoundParam(head)) {
      index = p->word;
      kind = p->kind;
      key = static_cast<std::size_t>(p - soundParams().data());
    } else {
      return fail("unknown parameter '" + echo(head) + "'");
    }
    if (!parseParamValue(kind, valueText, value))
      return fail("cannot read the value of " + head + ": '" + echo(valueText) + "'");
    if (value < -32768 || value > 32767) return fail(head + " does not fit 16 bits");
    if (!once(key)) return fail(head + " given twice");
    r.words[index] = static_cast<std::int16_t>(value);
  }
  if (inBlock) {
    error = "line " + std::to_string(sounds.back().line) + ": SOUND block without END";
    return false;
  }
  out = std::move(sounds);
  return true;
}

std::vector<std::string> outOfRangeParams(const ProgramRecord& r) {
  std::vector<std::string> msgs;
  for (const SoundParam& p : soundParams()) {
    const int v = r.words[p.word];
    if (v < p.lo || v > p.hi)
      msgs.push_back(p.name + " = " + std::to_string(v) + " is outside " + std::to_string(p.lo) + ".." +
                     std::to_string(p.hi));
  }
  return msgs;
}

}  // namespace korvo
