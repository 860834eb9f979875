// The LFO: waves and start phases, delay fade, modulation depth, rate and output rounding.
#include <gtest/gtest.h>

#include "mod_lfo.h"

namespace korvo {
namespace {

constexpr float kRate = 83.54f;

std::array<std::int16_t, 12> block(int freq, int wave, int l1, int delay = 0, int l2 = -1) {
  std::array<std::int16_t, 12> b{};
  b[Ckv_lfo::kFreq] = static_cast<std::int16_t>(freq);
  b[Ckv_lfo::kWave] = static_cast<std::int16_t>(wave);
  b[Ckv_lfo::kL1] = static_cast<std::int16_t>(l1);
  b[Ckv_lfo::kDelay] = static_cast<std::int16_t>(delay);
  b[Ckv_lfo::kL2] = static_cast<std::int16_t>(l2 < 0 ? l1 : l2);
  return b;
}

TEST(Ckv_lfo, NoiseTableEnds) {
  const auto& t = lfoNoiseTable();
  EXPECT_EQ(t[0], -41);
  EXPECT_EQ(t[128], 0);  // index 0 is the 129th value
  EXPECT_EQ(t[255], -45);
}

TEST(Ckv_lfo, ResetPhaseStartsAtTheLowPoint) {
  // RESET 1 -> offset 0, RESET 64 -> offset 63 (a whole cycle): the same start.
  struct Row {
    int wave, first;
  } rows[] = {{0, -128 * 4032 / 4096}, {1, -128 * 4032 / 4096}, {2, 127 * 4032 / 4096}, {3, 0}, {7, 0}};
  for (const Row& r : rows)
    for (int offset : {0, 63, -63}) {
      Ckv_lfo lfo(kRate);
      lfo.start(block(0, r.wave, 63), offset, true);
      EXPECT_EQ(lfo.tick(), r.first) << r.wave << " offset " << offset;
    }
  Ckv_lfo lfo(kRate);
  lfo.start(block(0, 0, 63), 62, true);
  EXPECT_EQ(lfo.phase(), 16384u + 31744u);
  lfo.start(block(0, 0, 63), -2, false);  // without reset the phase runs on
  EXPECT_EQ(lfo.phase(), 16384u + 31744u - 1024u);
}

TEST(Ckv_lfo, WaveShapesOverOneCycle) {
  // FREQ 0 keeps the phase: step the phase by hand through a few points.
  struct Row {
    int wave;
    std::uint32_t phase;
    int w;
  } rows[] = {{0, 0, 126},      {0, 8192, -2},  {0, 24576, 0},   {1, 0, 0},       {1, 15872, 124},
              {1, 16384, -128}, {1, 32256, -4}, {2, 15872, 0},   {2, 16384, 127}, {2, 32256, 127},
              {2, 0, 0},        {5, 0, -128},   {5, 32256, 124}, {3, 0, -41},     {3, 32256, -52}};
  for (const Row& r : rows) {
    Ckv_lfo lfo(kRate);
    // Start phase r.phase: reset to 16384, then offsets of 512 per step.
    lfo.start(block(0, r.wave, 64), 0, true);
    const std::int32_t steps = static_cast<std::int32_t>(r.phase) - 16384;
    if (steps != 0) lfo.start(block(0, r.wave, 64), steps / 512, false);
    ASSERT_EQ(lfo.phase() & 32767u, r.phase & ~127u) << r.wave << " " << r.phase;
    EXPECT_EQ(lfo.tick(), r.w) << r.wave << " " << r.phase;  // amplitude 64 * 64 = 4096: w itself
  }
}

TEST(Ckv_lfo, DelayFadeReachesL2OnTheTenthTick) {
  Ckv_lfo lfo(kRate);
  lfo.start(block(0, 2, 0, 63, 63), 0, true);
  EXPECT_TRUE(lfo.fading());
  EXPECT_EQ(lfo.fadeStep(), 445);
  for (int i = 1; i <= 9; ++i) {
    lfo.tick();
    ASSERT_EQ(lfo.amplitude(), 445 * i);
  }
  lfo.tick();
  EXPECT_EQ(lfo.amplitude(), 4032);
  EXPECT_FALSE(lfo.fading());
  lfo.start(block(0, 2, 63, 63, 0), 0, true);
  EXPECT_EQ(lfo.fadeStep(), -445);
  lfo.start(block(0, 2, 63, 0, 0), 0, true);  // DELAY 0: no fade
  EXPECT_FALSE(lfo.fading());
  lfo.start(block(0, 2, 20, 10, 20), 0, true);  // L1 = L2: no fade
  EXPECT_FALSE(lfo.fading());
  lfo.start(block(0, 2, 0, 1, 63), 0, true);  // DELAY 1: about 12 s over 64 steps
  EXPECT_EQ(lfo.fadeStep(), 4);
}

TEST(Ckv_lfo, ModulationDepthClampsAndRoundsTowardZero) {
  Ckv_lfo lfo(kRate);
  lfo.start(block(0, 1, 0), 0, true);  // saw at -128, amplitude 0
  lfo.setModulation(1000);
  EXPECT_EQ(lfo.modulationDepth(), 4064);
  EXPECT_EQ(lfo.tick(), -127);  // -128 * 4064 / 4096
  lfo.setModulation(-1000);
  EXPECT_EQ(lfo.modulationDepth(), -4064);
  lfo.setModulation(3);
  EXPECT_EQ(lfo.tick(), -128 * 96 / 4096);
}

TEST(Ckv_lfo, RateFromFreq) {
  Ckv_lfo lfo(kRate);
  lfo.start(block(0, 0, 63), 0, true);
  EXPECT_EQ(lfo.phaseIncrement(), 0);
  lfo.tick();
  EXPECT_EQ(lfo.phase(), 16384u);
  // FREQ 63: 18.2718 Hz -> 18.2718 / 83.54 * 32767 * 0.993 = 7116.6
  lfo.start(block(63, 0, 63), 0, true);
  EXPECT_EQ(lfo.phaseIncrement(), 7116);
  lfo.start(block(7, 0, 63), 0, true);  // 0.31957 Hz
  EXPECT_EQ(lfo.phaseIncrement(), 124);
  lfo.start(block(8, 0, 63), 0, true);  // 0.64015 Hz
  EXPECT_EQ(lfo.phaseIncrement(), 249);
  lfo.tick();
  EXPECT_EQ(lfo.phase(), 16384u + 249u);
  lfo.setControlRate(kRate);
  EXPECT_EQ(lfo.phase(), 0u);
  EXPECT_EQ(lfo.tick(), 0);
}

}  // namespace
}  // namespace korvo
