#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "soundText.h"

namespace korvo {
namespace {

TEST(SoundText, InitBlock) {
  const std::string t = soundToText(makeInitRecord(), 7);
  const char* lines[] = {"SOUND 007\n",         "NAME = \"INIT\"\n",
                         "OSC1.WAVE = SAW\n",   "OSC1.MOD1.SEL = *OFF*\n",
                         "DCA1.ENABLE = 1\n",   "FILT.FREQ = 127\n",
                         "DCA4.PAN = 0\n",      "LFO4.WAVE = TRI\n",
                         "ENV2.T4 = 0\n",       "MAT3.MOD4.AMT = 0\n",
                         "MODE.REST.OSC = 0\n", "EMU.BMODE = ALL\n",
                         "EMU.SAT = ORI\n",     "END\n"};
  for (const char* l : lines) EXPECT_NE(t.find(l), std::string::npos) << l;
  EXPECT_EQ(t.find("WORD."), std::string::npos) << "a fresh record needs no raw words";
  EXPECT_EQ(t.find("RAW."), std::string::npos);
  EXPECT_EQ(soundParams().size(), 3u * 8 + 3 * 6 + 7 + 6 + 4 * 9 + 4 * 10 + 3 * 8 + 8 + 4);
}

// The table comes from the page set; these rows pin each way a page states a word (base id +
// value index, an absolute or a block-relative explicit id) and each kind a formatter implies.
TEST(SoundText, ParameterTableTellingRows) {
  struct Row {
    const char* name;
    int word;
    ParamKind kind;
    int lo, hi;
  };
  const Row rows[] = {
      {"OSC1.OCT", 0, ParamKind::Number, -3, 5},          {"OSC2.WAVE", 11, ParamKind::Wave, 0, 74},
      {"DCA3.ENABLE", 41, ParamKind::Number, 0, 1},       {"FILT.KEYBD", 170, ParamKind::Number, -63, 63},
      {"FILT.MOD1.SEL", 172, ParamKind::Source, -1, 144}, {"DCA4.PMOD.SEL", 196, ParamKind::Source, -1, 144},
      {"LFO3.RESET", 121, ParamKind::Number, 0, 64},      {"LFO4.WAVE", 135, ParamKind::LfoWave, 0, 3},
      {"LFO2.MOD.AMT", 117, ParamKind::Number, -63, 63},  {"ENV2.LV", 65, ParamKind::Number, 0, 127},
      {"ENV4.TK", 95, ParamKind::Number, 0, 63},          {"MAT3.MOD4.AMT", 167, ParamKind::Number, -63, 63},
      {"MODE.GLIDE", 203, ParamKind::Number, 0, 63},      {"EMU.BMODE", 216, ParamKind::BendMode, 0, 6},
      {"EMU.SAT", 219, ParamKind::Saturation, -1, 15},
  };
  for (const Row& row : rows) {
    const SoundParam* p = findSoundParam(row.name);
    ASSERT_NE(p, nullptr) << row.name;
    EXPECT_EQ(p->word, row.word) << row.name;
    EXPECT_EQ(p->kind, row.kind) << row.name;
    EXPECT_EQ(p->lo, row.lo) << row.name;
    EXPECT_EQ(p->hi, row.hi) << row.name;
  }
  EXPECT_EQ(soundParams().front().name, "OSC1.OCT");
  EXPECT_EQ(soundParams().back().name, "EMU.SAT");
  // The overview pages repeat words that other pages own; none of them may appear twice.
  std::set<int> words;
  for (const SoundParam& p : soundParams()) EXPECT_TRUE(words.insert(p.word).second) << p.name;
}

TEST(SoundText, ValueNames) {
  struct V {
    ParamKind kind;
    int value;
    const char* text;
  };
  const V rows[] = {
      {ParamKind::Wave, 25, "SQR  2"},   {ParamKind::Wave, 75, "75"},       {ParamKind::Wave, -1, "-1"},
      {ParamKind::Source, 19, "CTR 3"},  {ParamKind::Source, 56, "CTR 40"}, {ParamKind::Source, 144, "CHPRES"},
      {ParamKind::Source, 145, "145"},   {ParamKind::Source, -1, "*OFF*"},  {ParamKind::LfoWave, 3, "NSE"},
      {ParamKind::LfoWave, 9, "9"},      {ParamKind::BendMode, 4, "HELD2"}, {ParamKind::Saturation, -1, "OFF"},
      {ParamKind::Saturation, 7, "+07"}, {ParamKind::Saturation, 40, "40"}, {ParamKind::Number, -3, "-3"},
  };
  for (const V& v : rows) {
    EXPECT_EQ(formatParamValue(v.kind, v.value), v.text);
    int back = 12345;
    EXPECT_TRUE(parseParamValue(v.kind, v.text, back)) << v.text;
    EXPECT_EQ(back, v.value) << v.text;
  }
  int x = 0;
  EXPECT_TRUE(parseParamValue(ParamKind::Wave, "sqr 2", x));
  EXPECT_EQ(x, 25);
  EXPECT_TRUE(parseParamValue(ParamKind::Source, "wheel", x));
  EXPECT_EQ(x, 17);
  EXPECT_FALSE(parseParamValue(ParamKind::Number, "SAW", x));
  EXPECT_FALSE(parseParamValue(ParamKind::Wave, "SAWX", x));
}

// Any record, however odd its bytes, survives text and back unchanged.
TEST(SoundText, RandomRecordsRoundTrip) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 200; ++round) {
    ProgramRecord r = makeInitRecord();
    auto* bytes = reinterpret_cast<std::uint8_t*>(&r);
    if (round % 2 == 0) {
      for (std::size_t i = 0; i < sizeof r; ++i) bytes[i] = static_cast<std::uint8_t>(byte(rng));
    } else {
      // Plausible sounds: a few words changed, a short name with odd bytes.
      for (int k = 0; k < 20; ++k) r.words[byte(rng)] = static_cast<std::int16_t>(byte(rng) - 128);
      const char name[6] = {'A', '\x01', '"', '\\', '\x7F', '\0'};
      std::memcpy(r.name, name, 6);
      r.nameLength = 6;
    }
    const std::string text = soundToText(r, round % 128);
    std::vector<TextSound> parsed;
    std::string error;
    ASSERT_TRUE(parseSoundText(text, parsed, error)) << error << "\n" << text;
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].position, round % 128);
    ASSERT_TRUE(recordsEqual(parsed[0].record, r)) << text;
  }
}

TEST(SoundText, SeveralBlocksAndComments) {
  const std::string text =
      "# two sounds\n"
      "SOUND 001\n  name = \"Bass # 1\"   # a comment\n osc1.wave = bass\nDCA4.PAN=-8\nEND\n\n"
      "SOUND\r\nNAME = \"X\"\r\nWORD.214 = 61\r\nEND";
  std::vector<TextSound> s;
  std::string error;
  ASSERT_TRUE(parseSoundText(text, s, error)) << error;
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(recordName(s[0].record), "Bass # 1");
  EXPECT_EQ(s[0].record.words[3], 8);
  EXPECT_EQ(s[0].record.words[193], -8);
  EXPECT_EQ(s[0].record.words[0], 0) << "unspecified words keep the fresh defaults";
  EXPECT_EQ(s[1].position, -1);
  EXPECT_EQ(s[1].record.words[214], 61);
  EXPECT_EQ(s[1].record.words[215], 4);
}

TEST(SoundText, ErrorsNameTheLine) {
  struct E {
    const char* text;
    const char* error;
  };
  const E rows[] = {
      {"SOUND\nOSC1.WAV = SAW\nEND\n", "line 2: unknown parameter"},
      {"SOUND\nOSC1.WAVE = SAWX\nEND\n", "line 2: cannot read the value"},
      {"SOUND\nOSC1.OCT = 40000\nEND\n", "line 2: OSC1.OCT does not fit 16 bits"},
      {"SOUND\nOSC1.OCT = 99999999999\nEND\n", "line 2: cannot read the value"},
      {"SOUND\nNAME = \"0123456789ABCDEF\"\nEND\n", "line 2: NAME is longer than 15"},
      {"SOUND\nNAME = \"open\nEND\n", "line 2: NAME needs a quoted text"},
      {"SOUND\nNAME = \"bad\\q\"\nEND\n", "line 2: NAME needs a quoted text"},
      {"SOUND\nDCA1.LEVEL = 3\nDCA1.LEVEL = 4\nEND\n", "line 3: DCA1.LEVEL given twice"},
      {"OSC1.OCT = 1\n", "line 1: parameter outside"},
      {"SOUND\nSOUND\n", "line 2: SOUND inside a block"},
      {"SOUND 128\nEND\n", "line 1: SOUND position"},
      {"SOUND\nOSC1.OCT = 1\n", "line 1: SOUND block without END"},
      {"END\n", "line 1: END without SOUND"},
      {"SOUND\nWORD.256 = 1\nEND\n", "line 2: WORD.n needs"},
      {"SOUND\nRAW.514 = 00 11\nEND\n", "line 2: RAW.514 needs"},
      {"hello\n", "line 1: expected SOUND"},
      {"SOUND\nOSC1.WAVE = \x1B[2J\x07\n", "line 2: cannot read the value of OSC1.WAVE: '?[2J?'"},
  };
  for (const E& e : rows) {
    std::vector<TextSound> out(1);
    std::string error;
    EXPECT_FALSE(parseSoundText(e.text, out, error)) << e.text;
    EXPECT_EQ(error.rfind(e.error, 0), 0u) << "got: " << error;
    EXPECT_EQ(out.size(), 1u) << "nothing changed on failure";
  }
}

TEST(SoundText, OutOfRangeReport) {
  ProgramRecord r = makeInitRecord();
  EXPECT_TRUE(outOfRangeParams(r).empty());
  r.words[0] = 7;
  r.words[219] = -2;
  const auto msgs = outOfRangeParams(r);
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[0], "OSC1.OCT = 7 is outside -3..5");
  EXPECT_EQ(msgs[1], "EMU.SAT = -2 is outside -1..15");
}

}  // namespace
}  // namespace korvo
