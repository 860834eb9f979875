// The 23 pages: names, base ids, layout against the column arithmetic, the word every field
// edits (checked against the sound record's parameter names), bindings, free knob slots and
// knob placement.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "lcdRig.h"
#include "progFormat.h"
#include "progRecord.h"

namespace korvo {
namespace {

using test::PageSetRig;

TEST(LcdPages, NothingWithoutSoundManager) {
  TsegLCD2 lcd;
  EXPECT_EQ(SetupLcdPages(lcd, nullptr, nullptr), nullptr);
  EXPECT_EQ(lcd.widthChar(), 8);  // untouched
  EXPECT_EQ(lcd.glyphCount(), 0);
}

TEST(LcdPages, ConfiguresDisplayAndController) {
  PageSetRig r;
  ASSERT_NE(r.ctr, nullptr);
  EXPECT_EQ(r.lcd->widthChar(), 44);
  EXPECT_EQ(r.lcd->heightChar(), 2);
  EXPECT_EQ(r.lcd->charGapX(), 1);
  EXPECT_EQ(r.lcd->charGapY(), 5);
  EXPECT_EQ(r.lcd->cellWidth(), 10);
  EXPECT_EQ(r.lcd->cellHeight(), 15);
  EXPECT_EQ(r.lcd->glyphCount(), 68);
  EXPECT_EQ(r.lcd->variantCount(), 4);
  EXPECT_EQ(r.lcd->width(), 503);
  EXPECT_EQ(r.lcd->height(), 55);
  EXPECT_EQ(r.ctr->knobCount, 10);
  EXPECT_EQ(r.ctr->PageCount(), kLcdPageCount);
  EXPECT_EQ(r.ctr->PageIndex(), -1);  // the window selects the first page
  EXPECT_EQ(r.ctr->refreshEnabled, 0);
  EXPECT_TRUE(static_cast<bool>(r.lcd->onMouseDownChar));
  EXPECT_TRUE(static_cast<bool>(r.lcd->onMouseUpChar));
  EXPECT_TRUE(static_cast<bool>(r.lcd->onMouseMoveChar));
  EXPECT_TRUE(static_cast<bool>(r.lcd->onDblClickChar));
  for (int i = 0; i < kLcdPageCount; ++i) EXPECT_EQ(r.page(i).editor, &r.editor()) << i;
}

TEST(LcdPages, NamesAndBaseIds) {
  struct Row {
    const char* name;
    int baseId;
  };
  // clang-format off
  const Row rows[kLcdPageCount] = {
      {"OSC Waves", -1}, {"OSC Mix", -1},  {"OSC1 Pitch", 0},  {"OSC2 Pitch", 8},
      {"OSC3 Pitch", 16}, {"OSC1 Volume (DCA1)", 24}, {"OSC2 Volume (DCA2)", 32}, {"OSC3 Volume (DCA3)", 40},
      {"Filter", 168},   {"Final Volume (DCA4)", 192}, {"LFO1", 96}, {"LFO2", 108}, {"LFO3", 120}, {"LFO4", 132},
      {"ENV1", 48},      {"ENV2", 60},     {"ENV3", 72},       {"ENV4", 84},       {"Matrix1", 144},
      {"Matrix2", 152},  {"Matrix3", 160}, {"Modes", 200},     {"Emulation", 215}};
  // clang-format on
  PageSetRig r;
  for (int i = 0; i < kLcdPageCount; ++i) {
    EXPECT_EQ(r.page(i).name, rows[i].name) << i;
    EXPECT_EQ(r.page(i).baseId, rows[i].baseId) << i;
    EXPECT_EQ(lcdPageName(i), rows[i].name);
  }
  EXPECT_EQ(
      lcdPageText(2),
      "[OSC1][OCT={0,OCT,2,-3,+5}] [SEMI={1,SEMI,3,-12,12}] [FINE={2,FINE,3,-31,+31}] 3 [WAVE={4,WAVE,6,0,74}] [],"
      "5 [MOD=] 4 [{6,MOD1.SEL,6,-1,144}] [*] [{7,MOD1.AMT,3,-63,+63}] 4 [{8,MOD2.SEL,6,-1,144}] [*] "
      "[{9,MOD2.AMT,3,-63,+63}]");
  EXPECT_EQ(lcdPageText(23), "");
  EXPECT_EQ(lcdPageText(-1), "");
  EXPECT_EQ(lcdPageName(23), "");
  EXPECT_EQ(lcdPageBaseId(23), -1);
}

// Every field stays inside the 44 columns and fields of one row do not overlap; the one
// exception is the LFO WAVE value, whose trailing blank cells fall off the display.
TEST(LcdPages, LayoutFitsTheDisplay) {
  PageSetRig r;
  for (int i = 0; i < kLcdPageCount; ++i) {
    const ClcdCtr_page& p = r.page(i);
    int lastEnd[2] = {-1, -1};
    for (int k = 0; k < p.FieldCount(); ++k) {
      const ClcdCtr_param& f = *p.Field(k);
      SCOPED_TRACE("page " + std::to_string(i) + " field " + std::to_string(k) + " '" + f.label + "' " + f.name);
      ASSERT_GE(f.row, 0);
      ASSERT_LE(f.row, 1);
      const int end = f.column + f.Length() - 1;
      if (f.Length() == 0) {  // the empty field closing the pitch pages' first row covers no cell
        EXPECT_TRUE(i >= 2 && i <= 4 && f.label.empty() && f.column == 45) << f.column;
        continue;
      }
      if (i >= 10 && i <= 13 && f.name == "WAVE") {
        EXPECT_EQ(f.column, 37);
        EXPECT_EQ(f.label, "WAV=");
        EXPECT_EQ(end, 45);
        for (int v = 0; v < 4; ++v) EXPECT_LE(f.column + 4 + static_cast<int>(FormatLfoWave(v).size()) - 1, 43);
      } else {
        EXPECT_LE(end, 43);
      }
      EXPECT_GT(f.column, lastEnd[f.row]);
      lastEnd[f.row] = end;
    }
  }
}

// The prefix of the sound's parameter names on page i: taken from the page's first label
// ("OSC1", "FILT", ...), except on the two overview pages, whose field names carry the block.
std::string qualifiedName(const ClcdCtr_page& p, const ClcdCtr_param& f) {
  static const std::map<std::string, std::string> overview = {
      {"WAVE1", "OSC1.WAVE"},     {"WAVE2", "OSC2.WAVE"},     {"WAVE3", "OSC3.WAVE"},     {"SYNC", "MODE.SYNC"},
      {"AM", "MODE.AM"},          {"OCT1", "OSC1.OCT"},       {"OCT2", "OSC2.OCT"},       {"OCT3", "OSC3.OCT"},
      {"ENABLE1", "DCA1.ENABLE"}, {"ENABLE2", "DCA2.ENABLE"}, {"ENABLE3", "DCA3.ENABLE"}, {"LEVEL1", "DCA1.LEVEL"},
      {"LEVEL2", "DCA2.LEVEL"},   {"LEVEL3", "DCA3.LEVEL"}};
  if (p.Index() < 2) return overview.at(f.name);
  return p.Field(0)->label + "." + f.name;
}

TEST(LcdPages, EveryFieldEditsTheWordOfItsName) {
  PageSetRig r;
  std::set<int> reached;
  int valueFields = 0;
  for (int i = 0; i < kLcdPageCount; ++i) {
    const ClcdCtr_page& p = r.page(i);
    for (int k = 0; k < p.FieldCount(); ++k) {
      const ClcdCtr_param& f = *p.Field(k);
      if (f.ValueIndex() < 0) {
        EXPECT_EQ(f.ParamId(), -1) << "page " << i << " label " << f.label;
        continue;
      }
      ++valueFields;
      const std::string q = qualifiedName(p, f);
      SCOPED_TRACE("page " + std::to_string(i) + " " + q);
      const SoundParam* sp = findSoundParam(q);
      ASSERT_NE(sp, nullptr);
      EXPECT_EQ(f.ParamId(), sp->word);
      EXPECT_EQ(f.Min(), sp->lo);
      EXPECT_EQ(f.Max(), sp->hi);
      EXPECT_GE(f.FieldNumber(), 0);  // every value field follows a knob
      reached.insert(f.ParamId());
    }
  }
  EXPECT_EQ(valueFields, 8 + 6 + 3 * 8 + 3 * 6 + 7 + 6 + 4 * 9 + 4 * 10 + 3 * 8 + 8 + 4);
  // Every parameter of the sound's text form is on some page, and nothing else is.
  std::set<int> named;
  for (const SoundParam& sp : soundParams()) named.insert(sp.word);
  EXPECT_EQ(reached, named);
}

TEST(LcdPages, TellingWordIndexes) {
  PageSetRig r;
  struct Case {
    int page;
    const char* name;
    int word;
  };
  const Case cases[] = {
      {2, "WAVE", 3},    {2, "MOD1.SEL", 4},   {3, "WAVE", 11}, {4, "MOD2.AMT", 23},  // ids follow valueIndex
      {8, "KEYBD", 170}, {8, "MOD1.SEL", 172},                                        // spec number 3, word 170
      {0, "SYNC", 200},  {21, "SYNC", 200},    {0, "AM", 201},  {21, "AM", 201},      // the same words twice
      {7, "ENABLE", 41}, {13, "MOD.AMT", 141}, {17, "TK", 95},  {20, "MOD4.AMT", 167},
      {22, "SAT", 219},  {22, "AMBUG", 217},
  };
  for (const Case& c : cases) EXPECT_EQ(r.field(c.page, c.name).ParamId(), c.word) << c.page << " " << c.name;
  std::set<int> reached;
  for (int i = 0; i < kLcdPageCount; ++i)
    for (int k = 0; k < r.page(i).FieldCount(); ++k) reached.insert(r.page(i).Field(k)->ParamId());
  for (int b : word::kEnv) {
    EXPECT_EQ(reached.count(b), 0u);
    EXPECT_EQ(reached.count(b + 4), 0u);
  }
  for (int b : word::kLfo)
    for (int o : {7, 10, 11}) EXPECT_EQ(reached.count(b + o), 0u);
}

TEST(LcdPages, FreeKnobSlots) {
  const std::vector<int> freeSlots[kLcdPageCount] = {{0, 5},
                                                     {0, 4, 5, 9},
                                                     {3, 5},
                                                     {3, 5},
                                                     {3, 5},
                                                     {1, 3, 4, 5},
                                                     {1, 3, 4, 5},
                                                     {1, 3, 4, 5},
                                                     {2, 4, 5},
                                                     {1, 2, 4, 5},
                                                     {2},
                                                     {2},
                                                     {2},
                                                     {2},
                                                     {},
                                                     {},
                                                     {},
                                                     {},
                                                     {0, 5},
                                                     {0, 5},
                                                     {0, 5},
                                                     {3, 5},
                                                     {2, 3, 4, 6, 8, 9}};
  PageSetRig r;
  for (int i = 0; i < kLcdPageCount; ++i) {
    r.log.clear();
    r.ctr->SelectPage(i);
    std::vector<int> zero;
    ASSERT_EQ(r.log.ranges.size(), 10u) << i;
    for (const auto& [slot, lo, hi] : r.log.ranges) {
      const ClcdCtr_param* f = r.page(i).FieldOfSlot(slot);
      if (f == nullptr) {
        EXPECT_EQ(lo, 0);
        EXPECT_EQ(hi, 0);
        zero.push_back(slot);
      } else {
        EXPECT_EQ(lo, f->Min());
        EXPECT_EQ(hi, f->Max());
      }
    }
    EXPECT_EQ(zero, freeSlots[i]) << "page " << i;
  }
}

TEST(LcdPages, FormattersRowsAndNumbering) {
  PageSetRig r;
  struct Case {
    int page;
    const char* name;
    std::string (*format)(int);
    int rows;
    bool numbered;
  };
  const Case cases[] = {
      {0, "WAVE1", FormatWaveName, 25, true},     {0, "WAVE3", FormatWaveName, 25, true},
      {3, "WAVE", FormatWaveName, 25, true},      {3, "MOD2.SEL", FormatModSource, 0, true},
      {6, "MOD1.SEL", FormatModSource, 0, true},  {8, "MOD2.SEL", FormatModSource, 0, true},
      {9, "PMOD.SEL", FormatModSource, 0, true},  {11, "RESET", FormatLfoReset, 0, false},
      {11, "WAVE", FormatLfoWave, 0, false},      {11, "MOD.SEL", FormatModSource, 0, true},
      {15, "LV", FormatVelocityLevel, 0, false},  {15, "T4", FormatRelease, 0, false},
      {19, "MOD4.SEL", FormatModSource, 0, true}, {22, "BMODE", FormatBendMode, 0, true},
      {22, "SAT", FormatSaturation, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.page) + " " + c.name);
    ClcdCtr_param& f = r.field(c.page, c.name);
    EXPECT_TRUE(f.CustomFormatter());
    for (int v = f.Min() - 1; v <= f.Max() + 1; ++v) ASSERT_EQ(f.Format(v), c.format(v)) << v;
    EXPECT_EQ(f.menuRows, c.rows);
    EXPECT_EQ(f.showIndexInMenu, c.numbered);
  }
  // Everything else formats by default and lists numbers (which only custom formatters show).
  int custom = 0;
  for (int i = 0; i < kLcdPageCount; ++i)
    for (int k = 0; k < r.page(i).FieldCount(); ++k) {
      const ClcdCtr_param& f = *r.page(i).Field(k);
      if (f.ValueIndex() < 0) continue;
      EXPECT_FALSE(f.hint.empty()) << i << " " << f.name;
      if (f.CustomFormatter()) ++custom;
    }
  EXPECT_EQ(custom, 3 + 3 * 3 + 3 * 2 + 2 + 2 + 4 * 3 + 4 * 2 + 3 * 4 + 2);
}

TEST(LcdPages, HintsAsWritten) {
  PageSetRig r;
  EXPECT_EQ(r.field(0, "SYNC").hint, "Sync oscilllator 2 to oscillator 1");
  EXPECT_EQ(r.field(21, "SYNC").hint, "Sync oscillator 2 to oscillator 1");
  EXPECT_EQ(r.field(16, "T4").hint, "Release time (\"R\" indicates the use of 2nd release)");
  EXPECT_EQ(r.field(12, "HUMAN").hint, "LFO humanization (not implemented)");
  EXPECT_EQ(r.field(22, "AMBUG").hint, "Emulation of a bug in the Halvet when AM=ON");
  EXPECT_EQ(r.field(20, "MOD4.SEL").hint, "Amplitude modulation source");
  EXPECT_EQ(r.field(4, "FINE").hint, "Fine tune of oscillator");
  // Hovering a field reports its ordinal; the window shows that field's hint.
  r.ctr->SelectPage(8);
  r.host.move(r.cell(30, 0));
  ASSERT_EQ(r.log.moves.size(), 1u);
  EXPECT_EQ(r.page(8).Field(r.log.moves[0])->hint, "Keyboard follow (frequency is modulated by key position)");
}

TEST(LcdPages, KnobPlacement) {
  PageSetRig r;
  const int lefts[5] = {104, 194, 284, 374, 464};
  for (int j = 0; j < 5; ++j) {
    EXPECT_EQ(r.knobs[static_cast<std::size_t>(j)]->left(), lefts[j]);
    EXPECT_EQ(r.knobs[static_cast<std::size_t>(j + 5)]->left(), lefts[j]);
    EXPECT_EQ(r.knobs[static_cast<std::size_t>(j)]->top(), 16);
    EXPECT_EQ(r.knobs[static_cast<std::size_t>(j + 5)]->top(), 128);
  }
  std::array<TGraphKnobB*, kLcdKnobCount> some{};  // missing knobs are skipped
  some[3] = r.knobs[3];
  r.knobs[3]->setPosition(0, 16);
  PlaceLcdKnobs(*r.lcd, some.data());
  EXPECT_EQ(r.knobs[3]->left(), 374);
  PlaceLcdKnobs(*r.lcd, nullptr);
}

TEST(LcdPages, SyncAndAmShareTheirWordsAcrossPages) {
  PageSetRig r;
  r.ctr->SelectPage(0);
  ASSERT_EQ(r.sound().words[200], 0);
  const ClcdCtr_param& sync = r.field(0, "SYNC");
  r.doubleClick(sync.column + 5, 0);
  EXPECT_EQ(r.sound().words[200], 1);
  EXPECT_EQ(test::lcdRow(*r.lcd, 0).substr(36, 8), "SYNC= ON");
  r.ctr->SelectPage(21);
  EXPECT_EQ(r.field(21, "SYNC").valueText, " ON");
  r.ctr->KnobChanged(1, 1);  // AM on the Modes page
  r.ctr->SelectPage(0);
  EXPECT_EQ(r.field(0, "AM").valueText, " ON");
  EXPECT_EQ(r.sound().words[201], 1);
}

TEST(LcdPages, WaveAndVelocityMenus) {
  PageSetRig r;
  r.ctr->SelectPage(2);
  r.host.menuChooser = HeadlessHost::chooseTag(43);
  const ClcdCtr_param& wave = r.field(2, "WAVE");
  r.doubleClick(wave.column + 7, wave.row);
  ASSERT_EQ(r.host.menusShown, 1);
  PopupMenu& m = r.ctr->ValueMenu();
  ASSERT_EQ(m.size(), 75u);
  EXPECT_EQ(m.item(0).caption, "00      SAW");
  EXPECT_EQ(m.item(25).caption, "25   SQR  2");
  EXPECT_EQ(m.item(74).caption, "74   DRUMS5");
  for (std::size_t i = 0; i < m.size(); ++i) EXPECT_EQ(m.item(i).breakColumn, i == 25 || i == 50) << i;
  EXPECT_EQ(r.sound().words[3], 43);
  EXPECT_EQ(wave.valueText, " BRASS");

  r.ctr->SelectPage(14);
  r.host.menuChooser = HeadlessHost::chooseTag(127);
  const ClcdCtr_param& lv = r.field(14, "LV");
  r.doubleClick(lv.column + 3, lv.row);
  ASSERT_EQ(m.size(), 128u);
  EXPECT_EQ(m.item(0).caption, "00L");
  EXPECT_EQ(m.item(63).caption, "63L");
  EXPECT_EQ(m.item(64).caption, "00X");
  EXPECT_EQ(m.item(127).caption, "63X");
  EXPECT_EQ(r.sound().words[48 + 5], 127);
  EXPECT_EQ(test::lcdRow(*r.lcd, 0).substr(static_cast<std::size_t>(lv.column), 6), "LV=63X");

  // A modulation source: default entry *OFF*, then 0..144 with three-digit numbers.
  r.ctr->SelectPage(18);
  r.host.menuChooser = HeadlessHost::chooseTag(-1);
  r.sound().words[146] = 5;
  r.ctr->ReadValues(true);
  const ClcdCtr_param& sel = r.field(18, "MOD2.SEL");
  r.doubleClick(sel.column, sel.row);
  EXPECT_EQ(m.item(0).caption, " *OFF*");
  EXPECT_EQ(m.item(2).caption, "000     LFO1");
  EXPECT_EQ(r.sound().words[146], -1);
}

TEST(LcdPages, KnobTurnWritesTheEditBuffer) {
  PageSetRig r;
  r.ctr->SelectPage(22);
  r.editor().ClearModified();
  r.ctr->KnobChanged(7, 40);  // SAT clamps to 15
  EXPECT_EQ(r.sound().words[219], 15);
  EXPECT_EQ(r.field(22, "SAT").valueText, "+15");
  r.ctr->KnobChanged(1, 6);
  EXPECT_EQ(r.sound().words[216], 6);
  EXPECT_EQ(test::lcdRow(*r.lcd, 0), "EMU  BEND=04 MODE=NEWH2" + std::string(21, ' '));
  EXPECT_TRUE(r.soundMan.Modified());
}

}  // namespace
}  // namespace korvo
