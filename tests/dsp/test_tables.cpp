// Constant tables of the chip: frequency table, level curve, wave names and the wave map
// checked against the runs it was written from.
#include <gtest/gtest.h>

#include <vector>

#include "docPitch.h"
#include "docWaveParams.h"
#include "transTables.h"

namespace korvo {
namespace {

TEST(FrequencyTable, TellingRows) {
  const auto& t = frequencyTable();
  EXPECT_EQ(t[0], 28);
  EXPECT_EQ(t[192], 56);
  EXPECT_EQ(t[1024], 1127);
  EXPECT_EQ(t[1536], 7158);
  EXPECT_EQ(t[2047], 45290);
  EXPECT_EQ(t[2048], 45290);
  for (std::size_t i = 1; i < kFrequencyTableSize; ++i) ASSERT_GE(t[i], t[i - 1]) << i;
}

TEST(LevelCurve, TellingRows) {
  const auto& c = levelCurve();
  for (std::size_t v = 0; v <= 23; ++v) EXPECT_EQ(c[2 * v], 0) << v;
  const std::pair<std::size_t, int> rows[] = {{24, 1},   {48, 3},    {64, 8},    {80, 21},  {96, 57},
                                              {104, 93}, {112, 150}, {120, 204}, {127, 252}};
  for (auto [v, e] : rows) EXPECT_EQ(c[2 * v], e) << "volume " << v;
  EXPECT_EQ(c[255], 255);
}

TEST(PitchToFrequency, EvenOddFoldAndClamp) {
  const auto& t = frequencyTable();
  // 1/32 steps: even -> entry, odd -> mean of two entries (shifted, rounding down).
  EXPECT_EQ(pitchToFrequencyWord(1024 * 16), t[1024]);
  EXPECT_EQ(pitchToFrequencyWord(1024 * 16 + 8), (t[1024] + t[1025]) >> 1);
  EXPECT_EQ(pitchToFrequencyWord(1024 * 16 + 7), t[1024]);  // 1/256 below a 1/32 step is dropped
  EXPECT_EQ(pitchToFrequencyWord(32767), (t[2047] + t[2048]) >> 1);
  EXPECT_EQ(pitchToFrequencyWord(32768), pitchToFrequencyWord(29696));
  EXPECT_EQ(pitchToFrequencyWord(32768 + 3072 * 5 + 40), pitchToFrequencyWord(29696 + 40));
  EXPECT_EQ(pitchToFrequencyWord(-1), 28);
  EXPECT_EQ(pitchToFrequencyWord(INT32_MIN), 28);
  EXPECT_GT(pitchToFrequencyWord(INT32_MAX), 0);
}

TEST(OctavePlacement, Cases) {
  struct Row {
    int p, r, wantP, wantR;
  } rows[] = {
      {24, 0x11, 24, 0x10},  {127, 0x24, 127, 0x23},  {23, 0x11, 35, 0x11},  {0, 0x11, 12, 0x11},
      {-1, 0x11, 23, 0x12},  {-12, 0x11, 12, 0x12},   {-13, 0x11, 23, 0x13}, {-36, 0x11, 12, 0x14},
      {-37, 0x11, 11, 0x14}, {-100, 0x74, -52, 0x77}, {24, 0x00, 24, -1},
  };
  for (const Row& row : rows) {
    const PlacedPitch got = placeOctave(row.p, row.r);
    EXPECT_EQ(got.semitones, row.wantP) << row.p;
    EXPECT_EQ(got.control, row.wantR) << row.p;
  }
}

TEST(WaveNames, RightAlignedSixCharacters) {
  EXPECT_EQ(waveName(0), "   SAW");
  EXPECT_EQ(waveName(25), "SQR  2");
  EXPECT_EQ(waveName(74), "DRUMS5");
  EXPECT_EQ(waveName(75), "      ");
  EXPECT_EQ(waveName(-1), "      ");
  for (int w = 0; w < kWaveCount; ++w) EXPECT_EQ(waveName(w).size(), 6u);
}

TEST(WaveMap, EntryRuns) {
  const auto& e = waveEntryTable();
  struct Run {
    int first, last, page0, pageStep, control;
  } runs[] = {
      {0, 0, 0, 0, 0x24},       {1, 1, 0, 0, 0x19},       {2, 4, 16, 8, 0x19},      {5, 32, 40, 4, 0x11},
      {33, 35, 152, 4, 0x13},   {36, 81, 164, 2, 0x09},   {109, 116, 160, 4, 0xD1}, {118, 119, 204, 2, 0xC9},
      {120, 120, 208, 0, 0xD1}, {123, 124, 224, 1, 0xC1}, {125, 127, 226, 2, 0xC9}, {128, 129, 232, 1, 0xC1},
      {130, 140, 234, 2, 0xC9}, {141, 150, 104, 0, 0x11},
  };
  for (const Run& run : runs)
    for (int i = run.first; i <= run.last; ++i) {
      const WaveEntry& entry = e[static_cast<std::size_t>(i)];
      EXPECT_EQ(entry.page, run.page0 + run.pageStep * (i - run.first)) << i;
      EXPECT_EQ(entry.control, run.control) << i;
      if (i < 141) {
        EXPECT_EQ(entry.semitone, 0) << i;
      }
      EXPECT_EQ(entry.fine, 0) << i;
    }
  const int glint[] = {84, 72, 67, 60, 48, 43, 36, 24, 19, 12};
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(e[141 + i].semitone, glint[i]);

  struct Explicit {
    std::size_t i;
    int page, control, semi, fine;
  } ex[] = {{82, 0, 0x74, -36, 0},    {83, 40, 0x5B, -32, 188},  {84, 48, 0x64, -51, 252}, {85, 64, 0x74, -36, 0},
            {86, 128, 0x74, -29, 48}, {87, 176, 0x64, -32, 168}, {88, 192, 0x74, -36, 48}, {89, 240, 0x64, -24, 0},
            {90, 0, 0xAC, -18, 48},   {91, 32, 0xA4, -7, 28},    {92, 48, 0xA4, -12, 0},   {93, 64, 0xAC, -12, 0},
            {94, 96, 0xAC, -24, 0},   {95, 128, 0xAC, -55, 60},  {96, 128, 0xAC, -67, 60}, {97, 160, 0xAC, -35, 0},
            {98, 160, 0xAC, -43, 0},  {99, 192, 0xAC, -28, 76},  {100, 224, 0xAC, -40, 0}, {101, 0, 0xEC, -36, 0},
            {102, 32, 0xEC, -36, 0},  {103, 64, 0xEC, -24, 0},   {104, 96, 0xE4, 9, 150},  {105, 112, 0xE4, 9, 150},
            {106, 128, 0xE4, -7, 0},  {107, 144, 0xE4, 0, 0},    {108, 144, 0xE4, -24, 0}, {117, 192, 0xE4, -9, 0},
            {121, 212, 0xD2, -24, 0}, {122, 216, 0xDB, -24, 0}};
  for (const Explicit& x : ex) {
    EXPECT_EQ(e[x.i].page, x.page) << x.i;
    EXPECT_EQ(e[x.i].control, x.control) << x.i;
    EXPECT_EQ(e[x.i].semitone, x.semi) << x.i;
    EXPECT_EQ(e[x.i].fine, x.fine) << x.i;
  }
}

// Zone rows written in the map as runs (entry, count) plus a few given in full.
TEST(WaveMap, ZoneRows) {
  using Runs = std::vector<std::pair<int, int>>;
  const std::vector<std::pair<std::size_t, Runs>> rows = {
      {2, {{21, 16}}},
      {5, {{0, 16}}},
      {6, {{32, 16}}},
      {7, {{1, 16}}},
      {13, {{31, 16}}},
      {15, {{13, 11}, {14, 2}, {23, 2}, {21, 1}}},
      {16, {{15, 10}, {16, 1}, {17, 2}, {23, 2}, {21, 1}}},
      {17, {{18, 10}, {19, 1}, {20, 2}, {21, 3}}},
      {18, {{27, 10}, {28, 2}, {26, 2}, {23, 1}, {21, 1}}},
      {24, {{7, 12}, {8, 1}, {26, 1}, {23, 1}, {21, 1}}},
      {25, {{75, 13}, {25, 1}, {21, 2}}},
      {26, {{14, 13}, {23, 2}, {21, 1}}},
      {27, {{28, 12}, {26, 2}, {23, 1}, {21, 1}}},
      {28, {{41, 11}, {42, 2}, {24, 1}, {22, 1}, {21, 1}}},
      {29, {{65, 13}, {24, 1}, {22, 1}, {21, 1}}},
      {30, {{23, 15}, {21, 1}}},
      {31, {{26, 14}, {23, 1}, {21, 1}}},
      {32, {{24, 14}, {22, 1}, {21, 1}}},
      {33, {{25, 14}, {21, 2}}},
      {34, {{48, 10}, {49, 1}, {50, 1}, {51, 1}, {24, 1}, {22, 1}, {21, 1}}},
      {35, {{140, 12}, {8, 1}, {26, 1}, {23, 1}, {21, 1}}},
      {49, {{103, 11}, {21, 5}}},
      {50, {{101, 9}, {102, 2}, {23, 4}, {21, 1}}},
      {51, {{100, 16}}},
      {52, {{99, 16}}},
      {53, {{104, 9}, {105, 7}}},
      {54, {{82, 6}, {85, 10}}},
      {55, {{91, 6}, {92, 10}}},
      {56, {{86, 7}, {88, 9}}},
      {57, {{94, 16}}},
      {58, {{93, 16}}},
      {59, {{87, 16}}},
      {60, {{84, 16}}},
      {61, {{83, 16}}},
      {62, {{121, 16}}},
      {63, {{90, 8}, {89, 8}}},
      {64, {{122, 16}}},
      {65, {{107, 16}}},
      {66, {{106, 16}}},
      {67, {{97, 16}}},
      {68, {{95, 16}}},
      {69, {{117, 16}}},
      {0, {{52, 5}, {53, 1}, {54, 2}, {55, 2}, {56, 2}, {57, 1}, {24, 1}, {22, 1}, {21, 1}}},
      {39,
       {{141, 5}, {142, 1}, {143, 1}, {144, 1}, {145, 1}, {146, 1}, {147, 1}, {148, 1}, {149, 1}, {150, 1}, {21, 2}}},
      {74, {{106, 5}, {117, 1}, {98, 10}}},
  };
  const auto& z = waveZoneTable();
  for (const auto& [wave, runs] : rows) {
    std::size_t zone = 0;
    for (auto [entry, count] : runs)
      for (int i = 0; i < count; ++i, ++zone) EXPECT_EQ(z[wave][zone], entry) << "wave " << wave << " zone " << zone;
    EXPECT_EQ(zone, 16u) << wave;
  }
  for (const auto& row : z)
    for (int entry : row) EXPECT_LT(entry, kWaveEntryCount);
}

TEST(WaveMap, EntryForKeyClampsToZones) {
  EXPECT_EQ(waveEntryFor(0, -5).page, waveEntryTable()[52].page);
  EXPECT_EQ(waveEntryFor(0, 200).page, waveEntryTable()[21].page);
  EXPECT_EQ(waveEntryFor(0, 104).page, waveEntryTable()[24].page);  // zone 13
  const WaveEntry none = waveEntryFor(75, 60);
  EXPECT_EQ(none.page, 0);
  EXPECT_EQ(none.control, 0);
  EXPECT_EQ(waveEntryFor(-1, 60).control, 0);
  EXPECT_EQ(entryBank(0xD1), 3);
  EXPECT_EQ(entryBank(0x74), 2);
  EXPECT_EQ(entryBank(0xAC), 1);
  EXPECT_EQ(entryTableExponent(0x74), 14);
  EXPECT_EQ(entryResolution(0xDB), 3);
}

}  // namespace
}  // namespace korvo
