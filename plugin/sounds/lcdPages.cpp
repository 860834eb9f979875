#include "lcdPages.h"

#include <charconv>
#include <span>
#include <string_view>

#include "progFormat.h"
#include "progRecord.h"

namespace korvo {

namespace {

// How the page set binds one field found by name. `id` is kDef for the default (base id + value
// index); otherwise an offset from the group's id origin (0 for the fixed pages, the page's base
// id for the pages built in loops).
struct FieldBinding {
  const char* name;
  int id;
  LcdFormat format;
  int rows;     // value-menu rows, 0 = default
  bool number;  // value-menu captions carry the value number
  const char* hint;
};

constexpr int kDef = -1;

// Pages built in loops (count > 1): "[" label n "]" + part1 + part2, named with '#' replaced by n.
// A single page is "[" label "]" + part1 + part2.
struct PageGroup {
  int count;
  const char* name;
  const char* label;
  const char* part1;
  const char* part2;
  const int* bases;   // base id of page n: bases[n - 1]; null: none
  bool idsFromBlock;  // explicit ids are offsets from the page's base id
  bool overview;
  std::span<const FieldBinding> fields;
};

using namespace word;

const char* const kPitchModRow =
    "5 [MOD=] 4 [{6,MOD1.SEL,6,-1,144}] [*] [{7,MOD1.AMT,3,-63,+63}] 4 [{8,MOD2.SEL,6,-1,144}] [*] "
    "[{9,MOD2.AMT,3,-63,+63}]";

const FieldBinding kWavesFields[] = {
    {"WAVE1", kOsc[0] + kOscWave, FormatWaveName, 25, true, "Waveform of oscillator 1"},
    {"WAVE2", kOsc[1] + kOscWave, FormatWaveName, 25, true, "Waveform of oscillator 2"},
    {"WAVE3", kOsc[2] + kOscWave, FormatWaveName, 25, true, "Waveform of oscillator 3"},
    {"SYNC", kMode + kModeSync, nullptr, 0, true, "Sync oscilllator 2 to oscillator 1"},
    {"AM", kMode + kModeAm, nullptr, 0, true, "Amplitude of oscillator 2 is modulated by oscillator 1"},
    {"OCT1", kOsc[0] + kOscOct, nullptr, 0, true, "Octave shift of oscillator 1"},
    {"OCT2", kOsc[1] + kOscOct, nullptr, 0, true, "Octave shift of oscillator 2"},
    {"OCT3", kOsc[2] + kOscOct, nullptr, 0, true, "Octave shift of oscillator 3"},
};

const FieldBinding kMixFields[] = {
    {"ENABLE1", kDca[0] + kDcaEnable, nullptr, 0, true, "Enable oscillator 1"},
    {"ENABLE2", kDca[1] + kDcaEnable, nullptr, 0, true, "Enable oscillator 2"},
    {"ENABLE3", kDca[2] + kDcaEnable, nullptr, 0, true, "Enable oscillator 3"},
    {"LEVEL1", kDca[0] + kDcaLevel, nullptr, 0, true, "Volume of oscillator 1"},
    {"LEVEL2", kDca[1] + kDcaLevel, nullptr, 0, true, "Volume of oscillator 2"},
    {"LEVEL3", kDca[2] + kDcaLevel, nullptr, 0, true, "Volume of oscillator 3"},
};

const FieldBinding kPitchFields[] = {
    {"OCT", kDef, nullptr, 0, true, "Octave shift of oscillator"},
    {"SEMI", kDef, nullptr, 0, true, "Semitone shift of oscillator"},
    {"FINE", kDef, nullptr, 0, true, "Fine tune of oscillator"},
    {"WAVE", kDef, FormatWaveName, 25, true, "Waveform of oscillator"},
    {"MOD1.SEL", kDef, FormatModSource, 0, true, "Pitch modulation source 1"},
    {"MOD1.AMT", kDef, nullptr, 0, true, "Pitch modulation amount 1"},
    {"MOD2.SEL", kDef, FormatModSource, 0, true, "Pitch modulation source 2"},
    {"MOD2.AMT", kDef, nullptr, 0, true, "Pitch modulation amount 2"},
};

const FieldBinding kDcaFields[] = {
    {"LEVEL", kDef, nullptr, 0, true, "Volume of oscillator"},
    {"ENABLE", kDef, nullptr, 0, true, "Enable oscillator"},
    {"MOD1.SEL", kDef, FormatModSource, 0, true, "Amplitude modulation source 1"},
    {"MOD1.AMT", kDef, nullptr, 0, true, "Amplitude modulation amount 1"},
    {"MOD2.SEL", kDef, FormatModSource, 0, true, "Amplitude modulation source 2"},
    {"MOD2.AMT", kDef, nullptr, 0, true, "Amplitude modulation amount 2"},
};

const FieldBinding kFilterFields[] = {
    {"FREQ", kDef, nullptr, 0, true, "Filter cutoff frequency"},
    {"RES", kDef, nullptr, 0, true, "Filter resonance (Q)"},
    {"KEYBD", kDef, nullptr, 0, true, "Keyboard follow (frequency is modulated by key position)"},
    {"MOD1.SEL", kFilter + kFiltMod1Sel, FormatModSource, 0, true, "Frequency modulation source 1"},
    {"MOD1.AMT", kFilter + kFiltMod1Amt, nullptr, 0, true, "Frequency modulation amount 1"},
    {"MOD2.SEL", kFilter + kFiltMod2Sel, FormatModSource, 0, true, "Frequency modulation source 2"},
    {"MOD2.AMT", kFilter + kFiltMod2Amt, nullptr, 0, true, "Frequency modulation amount 2"},
};

const FieldBinding kDca4Fields[] = {
    {"ENV4.AMT", kDef, nullptr, 0, true, "Amount of amplitude modulation by envelope 4"},
    {"PAN", kDef, nullptr, 0, true, "Stereo panning"},
    {"AMOD.SEL", kDca4 + kDca4AmodSel, FormatModSource, 0, true, "Amplitude modulation source"},
    {"AMOD.AMT", kDca4 + kDca4AmodAmt, nullptr, 0, true, "Amplitude modulation amount"},
    {"PMOD.SEL", kDca4 + kDca4PmodSel, FormatModSource, 0, true, "Panning modulation source"},
    {"PMOD.AMT", kDca4 + kDca4PmodAmt, nullptr, 0, true, "Panning modulation amount"},
};

const FieldBinding kLfoFields[] = {
    {"FREQ", kDef, nullptr, 0, true, "LFO frequency"},
    {"RESET", kDef, FormatLfoReset, 0, false, "Reset LFO phase to specified value when voice is triggered"},
    {"HUMAN", kDef, nullptr, 0, true, "LFO humanization (not implemented)"},
    {"WAVE", kDef, FormatLfoWave, 0, false, "LFO waveform"},
    {"L1", kDef, nullptr, 0, true, "Start amplitude of LFO"},
    {"DELAY", kDef, nullptr, 0, true, "Speed of LFO amplitude fading"},
    {"L2", kDef, nullptr, 0, true, "Final amplitude of LFO"},
    {"MOD.SEL", kLfoModSel, FormatModSource, 0, true, "Amplitude modulation source"},
    {"MOD.AMT", kLfoModAmt, nullptr, 0, true, "Amplitude modulation amount"},
};

const FieldBinding kEnvFields[] = {
    {"L1", kEnvL1, nullptr, 0, true, "1st level of envelope (attack)"},
    {"L2", kEnvL2, nullptr, 0, true, "2nd level of envelope (decay)"},
    {"L3", kEnvL3, nullptr, 0, true, "Final level of envelope (sustain)"},
    {"LV", kEnvLv, FormatVelocityLevel, 0, false, "Modulation of levels by velocity"},
    {"T1V", kEnvT1v, nullptr, 0, true, "Modulation of attack time by velocity"},
    {"T1", kEnvT1, nullptr, 0, true, "Attack time"},
    {"T2", kEnvT2, nullptr, 0, true, "Decay time"},
    {"T3", kEnvT3, nullptr, 0, true, "2nd decay time (time it takes to reach sustain level)"},
    {"T4", kEnvT4, FormatRelease, 0, false, "Release time (\"R\" indicates the use of 2nd release)"},
    {"TK", kEnvTk, nullptr, 0, true, "Scale envelope times by key position"},
};

const FieldBinding kMatrixFields[] = {
    {"MOD1.SEL", kDef, FormatModSource, 0, true, "Modulation source 1"},
    {"MOD1.AMT", kDef, nullptr, 0, true, "Modulation amount 1"},
    {"MOD2.SEL", kDef, FormatModSource, 0, true, "Modulation source 2"},
    {"MOD2.AMT", kDef, nullptr, 0, true, "Modulation amount 2"},
    {"MOD3.SEL", kDef, FormatModSource, 0, true, "Modulation source 3"},
    {"MOD3.AMT", kDef, nullptr, 0, true, "Modulation amount 3"},
    {"MOD4.SEL", kDef, FormatModSource, 0, true, "Amplitude modulation source"},
    {"MOD4.AMT", kDef, nullptr, 0, true, "Amplitude modulation amount"},
};

const FieldBinding kModesFields[] = {
    {"SYNC", kDef, nullptr, 0, true, "Sync oscillator 2 to oscillator 1"},
    {"AM", kDef, nullptr, 0, true, "Amplitude of oscillator 2 is modulated by oscillator 1"},
    {"MONO", kDef, nullptr, 0, true, "Monophonic playback"},
    {"GLIDE", kDef, nullptr, 0, true, "Glide (=portamento) time"},
    {"REST.VC", kDef, nullptr, 0, true, "Restart voice (if the same key is restruck, the same voice is used)"},
    {"REST.ENV", kDef, nullptr, 0, true, "Restart envelopes (envelopes always start at zero level)"},
    {"REST.OSC", kDef, nullptr, 0, true, "Restart oscillators when triggering voice"},
    {"CYC", kDef, nullptr, 0, true, "Envelopes play full cycle without sustain stage"},
};

const FieldBinding kEmuFields[] = {
    {"BRANGE", kDef, nullptr, 0, true, "Pitchbend range in semitones"},
    {"BMODE", kDef, FormatBendMode, 0, true, "Pitchbend mode (selects which voices are affected by bend)"},
    {"AMBUG", kDef, nullptr, 0, true, "Emulation of a bug in the Halvet when AM=ON"},
    {"SAT", kSat, FormatSaturation, 0, false, "Saturation amount"},
};

// In page order: 0, 1, 8, 9, 21 and 22 are single pages, the others are built in loops.
const PageGroup kGroups[] = {
    {1, "OSC Waves", "WAV ",
     " [WAVE=] 1 [{1,WAVE1,6,0,74}] 1 [{2,WAVE2,6,0,74}] 1 [{3,WAVE3,6,0,74}] 1 [SYNC={4,SYNC,3,0,1}],5 "
     "[OCT=] 6 [{6,OCT1,2,-3,+5}] 5 [{7,OCT2,2,-3,+5}] 5 [{8,OCT3,2,-3,+5}] 3 [AM={9,AM,3,0,1}]",
     "", nullptr, false, true, kWavesFields},
    {1, "OSC Mix", "MIX ",
     " [OUTPUT=] 2 [{1,ENABLE1,3,0,1}] 4 [{2,ENABLE2,3,0,1}] 4 [{3,ENABLE3,3,0,1}],5 [LEVEL=] 4 "
     "[{6,LEVEL1,2,0,63}] 5 [{7,LEVEL2,2,0,63}] 5 [{8,LEVEL3,2,0,63}]",
     "", nullptr, false, true, kMixFields},
    {3, "OSC# Pitch", "OSC",
     "[OCT={0,OCT,2,-3,+5}] [SEMI={1,SEMI,3,-12,12}] [FINE={2,FINE,3,-31,+31}] 3 [WAVE={4,WAVE,6,0,74}] [],",
     kPitchModRow, kOsc, true, false, kPitchFields},
    {3, "OSC# Volume (DCA#)", "DCA", "[LEVEL={0,LEVEL,2,0,63}] 3 [OUTPUT={2,ENABLE,3,0,1}],", kPitchModRow, kDca, true,
     false, kDcaFields},
    {1, "Filter", "FILT",
     "[FREQ={0,FREQ,3,0,127}] [RES(Q)={1,RES,2,0,31}] 1 [KEYBD * {3,KEYBD,3,-63,+63}],5 [MOD=] 4 "
     "[{6,MOD1.SEL,6,-1,144}] [*] [{7,MOD1.AMT,3,-63,+63}] 4 [{8,MOD2.SEL,6,-1,144}] [*] [{9,MOD2.AMT,3,-63,+63}]",
     "", &kFilter, false, false, kFilterFields},
    {1, "Final Volume (DCA4)", "DCA4",
     " [ENV4 * {0,ENV4.AMT,2,0,63}] 16 [PAN={3,PAN,3,-63,+63}],5 [MOD=] 4 [{6,AMOD.SEL,6,-1,144}] [*] "
     "[{7,AMOD.AMT,3,-63,+63}] 4 [{8,PMOD.SEL,6,-1,144}] [*] [{9,PMOD.AMT,3,-63,+63}]",
     "", &kDca4, false, false, kDca4Fields},
    {4, "LFO#", "LFO",
     "[FREQ={0,FREQ,2,0,63}] 1 [RESET={1,RESET,3,0,64}] 1 [HUMAN={3,HUMAN,3,0,1}] 2 [WAV={4,WAVE,5,0,3}],",
     "5 [L1={5,L1,2,0,63}] [DELAY={6,DELAY,2,0,63}] [L2={7,L2,2,0,63}] 1 [MOD=] [{8,MOD.SEL,6,-1,144}] [*] "
     "[{9,MOD.AMT,3,-63,+63}]",
     kLfo, true, false, kLfoFields},
    {4, "ENV#", "ENV",
     "[L1={0,L1,3,-63,+63}] 1 [L2={1,L2,3,-63,+63}] 1 [L3={2,L3,3,-63,+63}] 1 [LV={3,LV,3,0,127}] 2 "
     "[T1V={4,T1V,2,0,63}],",
     "5 [T1={5,T1,2,0,63}] 2 [T2={6,T2,2,0,63}] 2 [T3={7,T3,2,0,63}] 2 [T4={8,T4,3,0,127}] 2 [TK={9,TK,2,0,63}]", kEnv,
     true, false, kEnvFields},
    {3, "Matrix#", "MAT",
     "5 [M1=] [{1,MOD1.SEL,6,-1,144}] [*] [{2,MOD1.AMT,3,-63,+63}] 1 [M2=] [{3,MOD2.SEL,6,-1,144}] [*] "
     "[{4,MOD2.AMT,3,-63,+63}],",
     "10 [M3=] [{6,MOD3.SEL,6,-1,144}] [*] [{7,MOD3.AMT,3,-63,+63}] [AMP=] [{8,MOD4.SEL,6,-1,144}] [*] "
     "[{9,MOD4.AMT,3,-63,+63}]",
     kMat, true, false, kMatrixFields},
    {1, "Modes", "MODE",
     " [SYNC={0,SYNC,3,0,1}] [AM={1,AM,3,0,1}] [MONO={2,MONO,3,0,1}] 6 [GLIDE={4,GLIDE,2,0,63}],5 "
     "[RESTART-] [VC={6,REST.VC,3,0,1}] [ENV={7,REST.ENV,3,0,1}] [OSC={8,REST.OSC,3,0,1}] [CYC={9,CYC,3,0,1}]",
     "", &kMode, false, false, kModesFields},
    {1, "Emulation", "EMU",
     " 1 [BEND={0,BRANGE,2,0,36}] [MODE={1,BMODE,5,0,6}],5 [AMBUG={5,AMBUG,3,0,1}] 6 [SAT={7,SAT,3,-1,15}]", "",
     &kBrange, false, false, kEmuFields},
};

int readNumber(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

// The value fields of a description in text order: every "{slot,NAME,width,min,max}" with all
// five items, which is what the controller counts for a field's value index.
std::vector<LcdPageField> valueFields(std::string_view text) {
  std::vector<LcdPageField> fields;
  for (std::size_t open = text.find('{'); open != std::string_view::npos; open = text.find('{', open + 1)) {
    const std::size_t close = text.find('}', open);
    if (close == std::string_view::npos) break;
    std::string_view spec = text.substr(open + 1, close - open - 1);
    std::string_view items[5];
    std::size_t n = 0;
    for (std::size_t comma = spec.find(','); n < 4 && comma != std::string_view::npos; comma = spec.find(',')) {
      items[n++] = spec.substr(0, comma);
      spec.remove_prefix(comma + 1);
    }
    if (n < 4) continue;
    items[4] = spec;
    LcdPageField f;
    f.name = std::string(items[1]);
    f.slot = readNumber(items[0]);
    f.lo = readNumber(items[3]);
    f.hi = readNumber(items[4]);
    fields.push_back(std::move(f));
  }
  return fields;
}

std::string numbered(const char* pattern, int n) {
  std::string s = pattern;
  for (std::size_t at = s.find('#'); at != std::string::npos; at = s.find('#', at)) s.replace(at, 1, std::to_string(n));
  return s;
}

LcdPage makePage(const PageGroup& g, int n) {
  LcdPage p;
  p.name = numbered(g.name, n);
  p.label = g.count > 1 ? g.label + std::to_string(n) : g.label;
  p.text = "[" + p.label + "]" + g.part1 + g.part2;
  p.baseId = g.bases != nullptr ? g.bases[n - 1] : -1;
  p.overview = g.overview;
  p.fields = valueFields(p.text);
  const int idOrigin = g.idsFromBlock ? p.baseId : 0;
  for (std::size_t v = 0; v < p.fields.size(); ++v) {
    LcdPageField& f = p.fields[v];
    if (p.baseId >= 0) f.word = p.baseId + static_cast<int>(v);
    for (const FieldBinding& b : g.fields) {
      if (f.name != b.name) continue;
      if (b.id != kDef) {
        f.word = idOrigin + b.id;
        f.explicitWord = true;
      }
      f.format = b.format;
      f.menuRows = b.rows;
      f.numbered = b.number;
      f.hint = b.hint;
      break;
    }
  }
  return p;
}

const LcdPage* pageAt(int page) {
  const std::vector<LcdPage>& pages = lcdPages();
  return page >= 0 && page < static_cast<int>(pages.size()) ? &pages[static_cast<std::size_t>(page)] : nullptr;
}

}  // namespace

const std::vector<LcdPage>& lcdPages() {
  static const std::vector<LcdPage> pages = [] {
    std::vector<LcdPage> v;
    for (const PageGroup& g : kGroups)
      for (int n = 1; n <= g.count; ++n) v.push_back(makePage(g, n));
    return v;
  }();
  return pages;
}

std::string lcdPageText(int page) {
  const LcdPage* p = pageAt(page);
  return p != nullptr ? p->text : std::string();
}

std::string lcdPageName(int page) {
  const LcdPage* p = pageAt(page);
  return p != nullptr ? p->name : std::string();
}

int lcdPageBaseId(int page) {
  const LcdPage* p = pageAt(page);
  return p != nullptr ? p->baseId : -1;
}

}  // namespace korvo
