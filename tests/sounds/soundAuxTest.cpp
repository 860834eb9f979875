#include <gtest/gtest.h>

#include <set>

#include "modSources.h"
#include "soundAux.h"

namespace korvo {
namespace {

TEST(Clamp, Table) {
  struct Row {
    int v, c127, s127, c255, s63;
  };
  const Row rows[] = {
      {-1000, 0, -127, 0, -63}, {-128, 0, -127, 0, -63},  {-64, 0, -64, 0, -63}, {-1, 0, -1, 0, -1},
      {0, 0, 0, 0, 0},          {62, 62, 62, 62, 62},     {64, 64, 64, 64, 63},  {127, 127, 127, 127, 63},
      {128, 127, 127, 128, 63}, {300, 127, 127, 255, 63},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.v);
    EXPECT_EQ(clamp127(r.v), r.c127);
    EXPECT_EQ(clampSigned127(r.v), r.s127);
    EXPECT_EQ(clamp255(r.v), r.c255);
    EXPECT_EQ(clampSigned63(r.v), r.s63);
  }
  EXPECT_EQ(clampToN(-5, 10), 0);
  EXPECT_EQ(clampToN(7, 10), 7);
  EXPECT_EQ(clampToN(12, 10), 10);
  EXPECT_EQ(clampRange(-5, -1, 128), -1);
  EXPECT_EQ(clampRange(200, -1, 128), 128);
  EXPECT_EQ(clampRange(5, 10, 3), 3);  // hi wins when the bounds cross
}

TEST(BitFields, JoinAndSplit) {
  EXPECT_EQ(joinNybbles(0xF, 0xF, 6), 63u);
  EXPECT_EQ(joinNybbles(0x4, 0xA, 8), 0xA4u);
  EXPECT_EQ(joinNybbles(0x4, 0xA, 7), 0x24u);
  struct S {
    unsigned a, b;
    int width;
    int expect;
  };
  const S signedRows[] = {
      {0x1, 0x4, 7, -63},  // 0x41 in 7 bits
      {0xF, 0x3, 7, 63},   {0x0, 0x4, 7, -64}, {0xE, 0xF, 8, -2}, {0xF, 0x7, 8, 127},
      {0x0, 0x8, 8, -128}, {0x1, 0x0, 1, -1},  {0xF, 0x1, 5, -1}, {0xF, 0x0, 5, 15},
  };
  for (const S& s : signedRows) {
    SCOPED_TRACE(s.width);
    EXPECT_EQ(joinNybblesSigned(s.a, s.b, s.width), s.expect);
  }
  const NybblePair p = splitNybbles(0x1A5, 8);
  EXPECT_EQ(p.lo, 5);
  EXPECT_EQ(p.hi, 0xA);
  const NybblePair q = splitNybbles(-1, 6);
  EXPECT_EQ(q.lo, 15);
  EXPECT_EQ(q.hi, 3);
  // Signed split and join are inverse for every value that fits the width.
  for (int width = 2; width <= 8; ++width) {
    const int lo = -(1 << (width - 1)), hi = (1 << (width - 1)) - 1;
    for (int v = lo; v <= hi; ++v) {
      const NybblePair s = splitNybblesSigned(v, width);
      ASSERT_EQ(joinNybblesSigned(s.lo, s.hi, width), v) << "width " << width;
    }
  }
  // Out of range: sign bit 7 of the low byte moves down, the other high bits are lost.
  const NybblePair o = splitNybblesSigned(100, 7);  // 0x64: low 6 bits 0x24, sign clear
  EXPECT_EQ(o.lo | (o.hi << 4), 0x24);
}

TEST(Strings, FixedAndUpper) {
  EXPECT_EQ(fixedString(nullptr, 3), "   ");
  const char raw[4] = {'A', '\0', 'B', 'C'};
  EXPECT_EQ(fixedString(raw, 4), std::string(raw, 4));
  EXPECT_EQ(upperNoBlanks(" ab cde", 6), std::string("ABCDE\0", 6));
  EXPECT_EQ(upperNoBlanks("init sound", 6), "INITSO");
  EXPECT_EQ(upperNoBlanks("", 3), std::string(3, '\0'));
  EXPECT_EQ(upperNoBlanks("a\xE9z", 3), "A\xE9Z");
}

TEST(ModSources, NamesTable) {
  const auto& names = sourceNames();
  ASSERT_EQ(names.size(), 147u);
  EXPECT_EQ(names[0], " *OFF*");
  EXPECT_EQ(names[1], "  LFO1");
  EXPECT_EQ(names[10], " VEL-X");
  EXPECT_EQ(names[17], "  BANK");  // controller 0
  EXPECT_EQ(names[17 + 3], " CTR 3");
  EXPECT_EQ(names[17 + 20], "CTR 20");
  EXPECT_EQ(names[17 + 32], "BANKLO");
  EXPECT_EQ(names[17 + 40], "CTR 40");
  EXPECT_EQ(names[17 + 39], "VOL LO");
  EXPECT_EQ(names[17 + 102], "CTR102");
  EXPECT_EQ(names[17 + 119], "CTR119");
  EXPECT_EQ(names[17 + 120], "SNDOFF");
  EXPECT_EQ(names[17 + 127], "  POLY");
  EXPECT_EQ(names[145], "CHPRES");
  EXPECT_EQ(names[146], "");
  std::set<std::string> unique;
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    EXPECT_EQ(names[i].size(), 6u) << i;
    unique.insert(names[i]);
  }
  EXPECT_EQ(unique.size(), 146u) << "every selectable source has its own name";
  EXPECT_EQ(sourceNameTrimmed(11), "KEYB2");
  EXPECT_EQ(sourceNameTrimmed(145), "");
}

TEST(ModSources, Resolve) {
  struct R {
    int sel;
    SourceKind kind;
    int slot;
  };
  const R rows[] = {{-1, SourceKind::ChannelWide, -1},   {0, SourceKind::PerVoice, 0},
                    {15, SourceKind::PerVoice, 15},      {16, SourceKind::ChannelWide, 0},
                    {143, SourceKind::ChannelWide, 127}, {144, SourceKind::ChannelWide, 128},
                    {145, SourceKind::ChannelWide, -1},  {-7, SourceKind::ChannelWide, -1}};
  for (const R& r : rows) {
    const SourceRef ref = resolveSource(r.sel);
    EXPECT_EQ(ref.kind, r.kind) << r.sel;
    EXPECT_EQ(ref.slot, r.slot) << r.sel;
  }
}

}  // namespace
}  // namespace korvo
