#include "lcdSetup.h"

#include <iterator>

#include "graphKnobB.h"
#include "lcdFont.h"
#include "progFormat.h"
#include "segLCD2.h"
#include "soundMan.h"

namespace korvo {

namespace {

using FormatFn = std::string (*)(int);

// How the set-up binds one field found by name. `id` is -1 for the default (base id + value
// index); otherwise an offset from the group's id origin (0 for the fixed pages, the block's
// first word for the pages built in loops).
struct FieldBinding {
  const char* name;
  int id;
  FormatFn format;
  int rows;     // value-menu rows, 0 = default
  bool number;  // value-menu captions carry the value number
  const char* hint;
};

constexpr int kDef = -1;

// Pages built in loops: "[" tag n "]" + part1 + part2.
struct PageGroup {
  int firstPage;
  int count;
  const char* tag;
  const char* part1;
  const char* part2;
  int base0, baseStep;     // base id of page n: base0 + baseStep (n - 1)
  bool idsFromBlock;       // explicit ids are offsets from the page's base id
  const FieldBinding* fields;
  int fieldCount;
};

const char* const kPitchModRow =
    "5 [MOD=] 4 [{6,MOD1.SEL,6,-1,144}] [*] [{7,MOD1.AMT,3,-63,+63}] 4 [{8,MOD2.SEL,6,-1,144}] [*] "
    "[{9,MOD2.AMT,3,-63,+63}]";

const FieldBinding kWavesFields[] = {
    {"WAVE1", 3, FormatWaveName, 25, true, "Waveform of oscillator 1"},
    {"WAVE2", 11, FormatWaveName, 25, true, "Waveform of oscillator 2"},
    {"WAVE3", 19, FormatWaveName, 25, true, "Waveform of oscillator 3"},
    {"SYNC", 200, nullptr, 0, true, "Sync oscilllator 2 to oscillator 1"},
    {"AM", 201, nullptr, 0, true, "Amplitude of oscillator 2 is modulated by oscillator 1"},
    {"OCT1", 0, nullptr, 0, true, "Octave shift of oscillator 1"},
    {"OCT2", 8, nullptr, 0, true, "Octave shift of oscillator 2"},
    {"OCT3", 16, nullptr, 0, true, "Octave shift of oscillator 3"},
};

const FieldBinding kMixFields[] = {
    {"ENABLE1", 25, nullptr, 0, true, "Enable oscillator 1"},
    {"ENABLE2", 33, nullptr, 0, true, "Enable oscillator 2"},
    {"ENABLE3", 41, nullptr, 0, true, "Enable oscillator 3"},
    {"LEVEL1", 24, nullptr, 0, true, "Volume of oscillator 1"},
    {"LEVEL2", 32, nullptr, 0, true, "Volume of oscillator 2"},
    {"LEVEL3", 40, nullptr, 0, true, "Volume of oscillator 3"},
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
    {"MOD1.SEL", 172, FormatModSource, 0, true, "Frequency modulation source 1"},
    {"MOD1.AMT", 173, nullptr, 0, true, "Frequency modulation amount 1"},
    {"MOD2.SEL", 174, FormatModSource, 0, true, "Frequency modulation source 2"},
    {"MOD2.AMT", 175, nullptr, 0, true, "Frequency modulation amount 2"},
};

const FieldBinding kDca4Fields[] = {
    {"ENV4.AMT", kDef, nullptr, 0, true, "Amount of amplitude modulation by envelope 4"},
    {"PAN", kDef, nullptr, 0, true, "Stereo panning"},
    {"AMOD.SEL", 194, FormatModSource, 0, true, "Amplitude modulation source"},
    {"AMOD.AMT", 195, nullptr, 0, true, "Amplitude modulation amount"},
    {"PMOD.SEL", 196, FormatModSource, 0, true, "Panning modulation source"},
    {"PMOD.AMT", 197, nullptr, 0, true, "Panning modulation amount"},
};

const FieldBinding kLfoFields[] = {
    {"FREQ", kDef, nullptr, 0, true, "LFO frequency"},
    {"RESET", kDef, FormatLfoReset, 0, false, "Reset LFO phase to specified value when voice is triggered"},
    {"HUMAN", kDef, nullptr, 0, true, "LFO humanization (not implemented)"},
    {"WAVE", kDef, FormatLfoWave, 0, false, "LFO waveform"},
    {"L1", kDef, nullptr, 0, true, "Start amplitude of LFO"},
    {"DELAY", kDef, nullptr, 0, true, "Speed of LFO amplitude fading"},
    {"L2", kDef, nullptr, 0, true, "Final amplitude of LFO"},
    {"MOD.SEL", 8, FormatModSource, 0, true, "Amplitude modulation source"},
    {"MOD.AMT", 9, nullptr, 0, true, "Amplitude modulation amount"},
};

const FieldBinding kEnvFields[] = {
    {"L1", 1, nullptr, 0, true, "1st level of envelope (attack)"},
    {"L2", 2, nullptr, 0, true, "2nd level of envelope (decay)"},
    {"L3", 3, nullptr, 0, true, "Final level of envelope (sustain)"},
    {"LV", 5, FormatVelocityLevel, 0, false, "Modulation of levels by velocity"},
    {"T1V", 6, nullptr, 0, true, "Modulation of attack time by velocity"},
    {"T1", 7, nullptr, 0, true, "Attack time"},
    {"T2", 8, nullptr, 0, true, "Decay time"},
    {"T3", 9, nullptr, 0, true, "2nd decay time (time it takes to reach sustain level)"},
    {"T4", 10, FormatRelease, 0, false, "Release time (\"R\" indicates the use of 2nd release)"},
    {"TK", 11, nullptr, 0, true, "Scale envelope times by key position"},
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
    {"SAT", 219, FormatSaturation, 0, false, "Saturation amount"},
};

template <std::size_t N>
constexpr int countOf(const FieldBinding (&)[N]) {
  return static_cast<int>(N);
}

// Pages 0, 1, 8, 9, 21 and 22 are single pages (count 1, no tag); the others are built in loops.
const PageGroup kGroups[] = {
    {0, 1, nullptr,
     "[WAV ] [WAVE=] 1 [{1,WAVE1,6,0,74}] 1 [{2,WAVE2,6,0,74}] 1 [{3,WAVE3,6,0,74}] 1 [SYNC={4,SYNC,3,0,1}],5 "
     "[OCT=] 6 [{6,OCT1,2,-3,+5}] 5 [{7,OCT2,2,-3,+5}] 5 [{8,OCT3,2,-3,+5}] 3 [AM={9,AM,3,0,1}]",
     "", -1, 0, false, kWavesFields, countOf(kWavesFields)},
    {1, 1, nullptr,
     "[MIX ] [OUTPUT=] 2 [{1,ENABLE1,3,0,1}] 4 [{2,ENABLE2,3,0,1}] 4 [{3,ENABLE3,3,0,1}],5 [LEVEL=] 4 "
     "[{6,LEVEL1,2,0,63}] 5 [{7,LEVEL2,2,0,63}] 5 [{8,LEVEL3,2,0,63}]",
     "", -1, 0, false, kMixFields, countOf(kMixFields)},
    {2, 3, "OSC",
     "[OCT={0,OCT,2,-3,+5}] [SEMI={1,SEMI,3,-12,12}] [FINE={2,FINE,3,-31,+31}] 3 [WAVE={4,WAVE,6,0,74}] [],",
     kPitchModRow, 0, 8, true, kPitchFields, countOf(kPitchFields)},
    {5, 3, "DCA", "[LEVEL={0,LEVEL,2,0,63}] 3 [OUTPUT={2,ENABLE,3,0,1}],", kPitchModRow, 24, 8, true, kDcaFields,
     countOf(kDcaFields)},
    {8, 1, nullptr,
     "[FILT][FREQ={0,FREQ,3,0,127}] [RES(Q)={1,RES,2,0,31}] 1 [KEYBD * {3,KEYBD,3,-63,+63}],5 [MOD=] 4 "
     "[{6,MOD1.SEL,6,-1,144}] [*] [{7,MOD1.AMT,3,-63,+63}] 4 [{8,MOD2.SEL,6,-1,144}] [*] [{9,MOD2.AMT,3,-63,+63}]",
     "", 168, 0, false, kFilterFields, countOf(kFilterFields)},
    {9, 1, nullptr,
     "[DCA4] [ENV4 * {0,ENV4.AMT,2,0,63}] 16 [PAN={3,PAN,3,-63,+63}],5 [MOD=] 4 [{6,AMOD.SEL,6,-1,144}] [*] "
     "[{7,AMOD.AMT,3,-63,+63}] 4 [{8,PMOD.SEL,6,-1,144}] [*] [{9,PMOD.AMT,3,-63,+63}]",
     "", 192, 0, false, kDca4Fields, countOf(kDca4Fields)},
    {10, 4, "LFO",
     "[FREQ={0,FREQ,2,0,63}] 1 [RESET={1,RESET,3,0,64}] 1 [HUMAN={3,HUMAN,3,0,1}] 2 [WAV={4,WAVE,5,0,3}],",
     "5 [L1={5,L1,2,0,63}] [DELAY={6,DELAY,2,0,63}] [L2={7,L2,2,0,63}] 1 [MOD=] [{8,MOD.SEL,6,-1,144}] [*] "
     "[{9,MOD.AMT,3,-63,+63}]",
     96, 12, true, kLfoFields, countOf(kLfoFields)},
    {14, 4, "ENV",
     "[L1={0,L1,3,-63,+63}] 1 [L2={1,L2,3,-63,+63}] 1 [L3={2,L3,3,-63,+63}] 1 [LV={3,LV,3,0,127}] 2 "
     "[T1V={4,T1V,2,0,63}],",
     "5 [T1={5,T1,2,0,63}] 2 [T2={6,T2,2,0,63}] 2 [T3={7,T3,2,0,63}] 2 [T4={8,T4,3,0,127}] 2 [TK={9,TK,2,0,63}]", 48,
     12, true, kEnvFields, countOf(kEnvFields)},
    {18, 3, "MAT",
     "5 [M1=] [{1,MOD1.SEL,6,-1,144}] [*] [{2,MOD1.AMT,3,-63,+63}] 1 [M2=] [{3,MOD2.SEL,6,-1,144}] [*] "
     "[{4,MOD2.AMT,3,-63,+63}],",
     "10 [M3=] [{6,MOD3.SEL,6,-1,144}] [*] [{7,MOD3.AMT,3,-63,+63}] [AMP=] [{8,MOD4.SEL,6,-1,144}] [*] "
     "[{9,MOD4.AMT,3,-63,+63}]",
     144, 8, true, kMatrixFields, countOf(kMatrixFields)},
    {21, 1, nullptr,
     "[MODE] [SYNC={0,SYNC,3,0,1}] [AM={1,AM,3,0,1}] [MONO={2,MONO,3,0,1}] 6 [GLIDE={4,GLIDE,2,0,63}],5 "
     "[RESTART-] [VC={6,REST.VC,3,0,1}] [ENV={7,REST.ENV,3,0,1}] [OSC={8,REST.OSC,3,0,1}] [CYC={9,CYC,3,0,1}]",
     "", 200, 0, false, kModesFields, countOf(kModesFields)},
    {22, 1, nullptr,
     "[EMU] 1 [BEND={0,BRANGE,2,0,36}] [MODE={1,BMODE,5,0,6}],5 [AMBUG={5,AMBUG,3,0,1}] 6 [SAT={7,SAT,3,-1,15}]", "",
     215, 0, false, kEmuFields, countOf(kEmuFields)},
};

// The group of a page and the page's loop number n (1-based).
const PageGroup* groupOf(int page, int& n) {
  for (const PageGroup& g : kGroups)
    if (page >= g.firstPage && page < g.firstPage + g.count) {
      n = page - g.firstPage + 1;
      return &g;
    }
  return nullptr;
}

void bindPage(ClcdCtr_page& page, const PageGroup& g, int base, Ckv_progEdit* editor) {
  page.editor = editor;
  page.baseId = base;
  const int idOrigin = g.idsFromBlock ? base : 0;
  for (int k = 0; k < g.fieldCount; ++k) {
    const FieldBinding& b = g.fields[k];
    ClcdCtr_param* f = page.FieldByName(b.name);
    if (f == nullptr) continue;
    if (b.id != kDef) f->explicitId = idOrigin + b.id;
    f->hint = b.hint;
    if (b.format != nullptr) f->SetFormatter(lcdFormatter(b.format));
    if (b.rows > 0) f->menuRows = b.rows;
    f->showIndexInMenu = b.number;
  }
}

}  // namespace

std::string lcdPageText(int page) {
  int n = 0;
  const PageGroup* g = groupOf(page, n);
  if (g == nullptr) return {};
  if (g->tag == nullptr) return std::string(g->part1) + g->part2;
  return std::string("[") + g->tag + std::to_string(n) + "]" + g->part1 + g->part2;
}

std::string lcdPageName(int page) {
  int n = 0;
  if (groupOf(page, n) == nullptr) return {};
  static const char* const kFixed[] = {"OSC Waves", "OSC Mix"};
  const std::string d = std::to_string(n);
  if (page < 2) return kFixed[page];
  if (page < 5) return "OSC" + d + " Pitch";
  if (page < 8) return "OSC" + d + " Volume (DCA" + d + ")";
  if (page == 8) return "Filter";
  if (page == 9) return "Final Volume (DCA4)";
  if (page < 14) return "LFO" + d;
  if (page < 18) return "ENV" + d;
  if (page < 21) return "Matrix" + d;
  return page == 21 ? "Modes" : "Emulation";
}

int lcdPageBaseId(int page) {
  int n = 0;
  const PageGroup* g = groupOf(page, n);
  return g != nullptr ? g->base0 + g->baseStep * (n - 1) : -1;
}

void PlaceLcdKnobs(const TsegLCD2& lcd, TGraphKnobB* const* knobs) {
  if (knobs == nullptr) return;
  const int spacing = (lcd.width() - 5 * lcd.cellWidth()) / 5;
  for (int j = 0; j < 5; ++j)
    for (int k : {j, j + 5}) {
      TGraphKnobB* knob = knobs[k];
      if (knob == nullptr) continue;
      knob->setPosition(lcd.left() + lcd.CharLeft(5) + j * spacing + knob->width() / 2, knob->top());
    }
}

void ApplyEditorLcdLook(TsegLCD2& lcd) {
  lcd.setFrameWidth(10);
  lcd.setFrameHeight(10);
  lcd.setColour(0, 725248);
  lcd.setColour(1, 10747648);
  lcd.setColour(2, 13959044);
  lcd.setColour(3, 4338997);
  lcd.setColour(5, 10059904);
  lcd.setColSplitIndex(180);
  lcd.setSegOffBrightness(13);
  lcd.setFilt(0, 32);
  lcd.setFilt(1, 0);
  lcd.captureKeys = true;
}

std::unique_ptr<ClcdCtr> SetupLcdPages(TsegLCD2& lcd, Ckv_soundMan* soundMan, TGraphKnobB* const* knobs) {
  if (soundMan == nullptr) return nullptr;
  Ckv_progEdit* editor = &soundMan->Editor();

  lcd.setWidthChar(44);
  lcd.setHeightChar(2);
  lcd.setCharGapX(1);
  lcd.setCharGapY(5);
  lcd.SetCharTable(lcdCharTable, lcdCharCount, lcdCharWidth);
  lcd.SetSegmentMap(lcdSegmentMap, lcdSegmentCount, lcdFirstAttrSegment, lcdCellHeight, lcdCellWidth);

  auto ctr = std::make_unique<ClcdCtr>(&lcd);
  ctr->knobCount = kLcdKnobCount;
  ctr->SetPageCount(kLcdPageCount);
  ctr->ConnectLcdEvents();

  for (int i = 0; i < kLcdPageCount; ++i) {
    int n = 0;
    const PageGroup* g = groupOf(i, n);
    ClcdCtr_page* page = ctr->GetPage(i);
    page->Parse(lcdPageText(i));
    page->name = lcdPageName(i);
    bindPage(*page, *g, lcdPageBaseId(i), editor);
  }
  PlaceLcdKnobs(lcd, knobs);
  return ctr;
}

}  // namespace korvo
