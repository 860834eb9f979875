// The envelope: level storage and scaling, segment lengths, the four segments, sustain, both
// release forms and cycling, all in the envelope's integer arithmetic.
#include <gtest/gtest.h>

#include <vector>

#include "mod_env.h"
#include "transTables.h"

namespace korvo {
namespace {

constexpr float kRate = 83.54f;

std::array<std::int16_t, 12> block(int l1, int l2, int l3, int t1, int t2, int t3, int t4, int lv = 0, int t1v = 0,
                                   int tk = 0) {
  std::array<std::int16_t, 12> b{};
  b[Ckv_env::kL1] = static_cast<std::int16_t>(l1);
  b[Ckv_env::kL2] = static_cast<std::int16_t>(l2);
  b[Ckv_env::kL3] = static_cast<std::int16_t>(l3);
  b[Ckv_env::kT1] = static_cast<std::int16_t>(t1);
  b[Ckv_env::kT2] = static_cast<std::int16_t>(t2);
  b[Ckv_env::kT3] = static_cast<std::int16_t>(t3);
  b[Ckv_env::kT4] = static_cast<std::int16_t>(t4);
  b[Ckv_env::kLV] = static_cast<std::int16_t>(lv);
  b[Ckv_env::kT1V] = static_cast<std::int16_t>(t1v);
  b[Ckv_env::kTK] = static_cast<std::int16_t>(tk);
  return b;
}

int ticksUntilInactive(Ckv_env& e, int limit = 100000) {
  int n = 0;
  while (e.active() && n < limit) {
    e.tick();
    ++n;
  }
  return n;
}

TEST(Tables, LastEntriesPresent) {
  // A short initialiser list would leave zeros at the end.
  EXPECT_EQ(kTimeTable[63], 2048);
  EXPECT_EQ(kTimeTable[39], 128);
  EXPECT_EQ(kVelocityCurveA[127], 127);
  EXPECT_EQ(kVelocityCurveA[68], 67);
  EXPECT_EQ(kVelocityCurveB[127], 127);
  EXPECT_EQ(kVelocityCurveB[64], 12);
}

TEST(Ckv_env, LevelsScaleAndKeyTime) {
  Ckv_env e(kRate);
  e.start(block(-63, 63, 0, 0, 0, 0, 0), 36, false, true, 100);
  EXPECT_EQ(e.storedLevel(1), -128);
  EXPECT_EQ(e.storedLevel(2), 126);
  EXPECT_EQ(e.keyTimeOffset(), 0);
  EXPECT_EQ(e.levelScale(), 252);  // LV 0
  e.start(block(0, 0, 0, 0, 0, 0, 0, 0, 0, 63), 96, false, true, 100);
  EXPECT_EQ(e.keyTimeOffset(), 29);  // 120 * 63 / 256
  struct Row {
    int lv, velocity, scale;
  } rows[] = {{127, 0, 0}, {127, 7, 0}, {127, 127, 250}, {63, 127, 250}, {63, 0, 1}, {32, 64, 64 + 124}};
  for (const Row& r : rows) {
    e.start(block(0, 0, 0, 0, 0, 0, 0, r.lv), 60, false, true, r.velocity);
    EXPECT_EQ(e.levelScale(), r.scale) << r.lv << " " << r.velocity;
  }
}

TEST(Ckv_env, SegmentLengths) {
  Ckv_env e(kRate);
  e.start(block(63, 0, 0, 0, 0, 0, 0), 60, false, true, 0);
  EXPECT_EQ(e.ticksLeft(), 1);  // 1 * 83.54 / 81 = 1.03
  e.start(block(63, 0, 0, 10, 0, 0, 0, 0, 63), 60, false, true, 127);
  EXPECT_EQ(e.ticksLeft(), 1);  // 10 - 62 clamps to 0
  e.start(block(63, 0, 0, 63, 0, 0, 0), 60, false, true, 0);
  EXPECT_EQ(e.ticksLeft(), 2112);                             // 2048 * 1.03136 toward zero
  e.start(block(63, 0, 0, 99, 0, 0, 0), 60, false, true, 0);  // times keep their low six bits
  EXPECT_EQ(e.ticksLeft(), static_cast<int>(kTimeTable[99 & 63] * (kRate / 81.0f)));
}

TEST(Ckv_env, AttackRampInFixedPoint) {
  Ckv_env e(kRate);
  e.start(block(63, 63, 63, 20, 0, 0, 0), 60, false, true, 0);
  // Target 126 * 252 / 256 = 124 over 14 ticks; delta = 124 * 256 / 14 = 2267.
  EXPECT_EQ(e.target(), 124);
  EXPECT_EQ(e.ticksLeft(), 14);
  EXPECT_EQ(e.delta(), 2267);
  for (int k = 1; k <= 13; ++k) ASSERT_EQ(e.tick(), 2267 * k / 256) << k;
  EXPECT_EQ(e.tick(), 124);
  EXPECT_EQ(e.level(), 124);
}

TEST(Ckv_env, SustainHoldsUntilRelease) {
  Ckv_env e(kRate);
  e.start(block(63, 40, 20, 0, 0, 0, 5), 60, false, true, 0);
  for (int i = 0; i < 10; ++i) e.tick();
  EXPECT_TRUE(e.sustaining());
  const int level = e.level();
  EXPECT_EQ(level, 40 * 252 / 256);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(e.tick(), level);
  e.release();
  EXPECT_TRUE(e.released());
  // T4 = 5: three ticks down to 0, then the envelope is finished.
  EXPECT_EQ(ticksUntilInactive(e), 3);
  EXPECT_EQ(e.tick(), 0);
}

TEST(Ckv_env, SecondReleaseHalvesThenFades) {
  Ckv_env e(kRate);
  // L3 = 51 -> stored 102, scaled 102 * 252 / 256 = 100.
  e.start(block(51, 51, 51, 0, 0, 0, 64 + 10), 60, false, true, 0);
  for (int i = 0; i < 5; ++i) e.tick();
  ASSERT_EQ(e.level(), 100);
  e.release();
  EXPECT_EQ(e.target(), 38);  // 100 / 2 - 12
  const int first = e.ticksLeft();
  for (int i = 0; i < first; ++i) e.tick();
  EXPECT_EQ(e.level(), 38);
  EXPECT_EQ(e.target(), 0);
  EXPECT_EQ(e.ticksLeft(), static_cast<int>(128 * (kRate / 81.0f)));  // time value 39
  EXPECT_EQ(ticksUntilInactive(e), 132);
}

TEST(Ckv_env, ZeroSustainEndsWithoutNoteOff) {
  Ckv_env e(kRate);
  e.start(block(63, 30, 0, 3, 3, 3, 20), 60, false, true, 0);
  const int n = ticksUntilInactive(e);
  EXPECT_EQ(n, 2 + 2 + 2);
  EXPECT_FALSE(e.sustaining());
}

TEST(Ckv_env, CycleIgnoresNoteOffAndReleasesAfterT3) {
  Ckv_env e(kRate);
  e.start(block(63, 40, 20, 3, 3, 3, 3), 60, true, true, 0);
  e.release();
  EXPECT_FALSE(e.released());
  const int n = ticksUntilInactive(e);
  EXPECT_EQ(n, 2 * 4);  // T1, T2, T3 and the release of T4, two ticks each
  // All levels 0: finishes at the end of T3 without a release.
  e.start(block(0, 0, 0, 3, 3, 3, 40), 60, true, true, 0);
  EXPECT_EQ(ticksUntilInactive(e), 6);
}

TEST(Ckv_env, NoteOffDuringAttackReleasesFromCurrentLevel) {
  Ckv_env e(kRate);
  e.start(block(63, 63, 63, 40, 0, 0, 20), 60, false, true, 0);
  for (int i = 0; i < 50; ++i) e.tick();
  const int level = e.level();
  ASSERT_GT(level, 20);
  ASSERT_LT(level, 124);
  e.release();
  EXPECT_EQ(e.target(), 0);
  EXPECT_EQ(e.step(), Ckv_env::Step::kFall);
  EXPECT_LT(e.tick(), level);
}

TEST(Ckv_env, RestartFlagChoosesStartLevel) {
  Ckv_env e(kRate);
  e.start(block(63, 63, 63, 0, 0, 0, 0), 60, false, true, 0);
  e.tick();
  ASSERT_EQ(e.level(), 124);
  std::array<std::int16_t, 12> b = block(0, 0, 0, 30, 0, 0, 0);
  e.start(b, 60, false, false, 0);  // continues from 124
  const int first = e.tick();
  EXPECT_GE(first, 120);
  EXPECT_LT(first, 124);
  b[Ckv_env::kStart] = 10;
  e.start(b, 60, false, true, 0);  // from the start level (stored 20)
  EXPECT_EQ(e.level(), 20);
  e.setControlRate(kRate);
  EXPECT_FALSE(e.active());
  EXPECT_EQ(e.level(), 0);
  EXPECT_EQ(e.tick(), 0);
}

}  // namespace
}  // namespace korvo
