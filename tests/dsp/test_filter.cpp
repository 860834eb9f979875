// The voice filter: coefficient table, smoothing, clamps, the closed and open extremes, and the
// base class's cutoff arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "mod_filter.h"

namespace korvo {
namespace {

void expectRow(const CfilterKV::Row& r, double m, double g, double k, double q, int i) {
  EXPECT_NEAR(r.pole, m, 5e-5) << "row " << i;
  EXPECT_NEAR(r.gain, g, 5e-5) << "row " << i;
  EXPECT_NEAR(r.feedback, k, 5e-5) << "row " << i;
  EXPECT_NEAR(r.outGain, q, 5e-5) << "row " << i;
}

TEST(CfilterKV, TellingRowsAt44100) {
  CfilterKV f(44100.0f);
  expectRow(f.row(0), -1, 0, 3.7625, 1.8983, 0);
  expectRow(f.row(64), -0.94718, 0.02641, 3.5571, 1.8611, 64);
  expectRow(f.row(128), -0.71385, 0.14307, 2.8790, 1.7494, 128);
  expectRow(f.row(192), 0.31699, 0.65850, 0.1114, 0.7, 192);
  for (int i = 210; i < 256; ++i) expectRow(f.row(i), 1, 1, 0.0792, 0.7, i);
  EXPECT_NEAR(f.smoothing(), 0.99133, 5e-6);
}

TEST(CfilterKV, LowRatesBuildTheTableForA07TimesLowerRate) {
  // r = 48000 / R * 0.7 is the table of R / 0.7 (a rate from 32000 up gets no factor).
  CfilterKV low(24000.0f), asIf(24000.0f / 0.7f);
  for (int i = 0; i < 256; i += 5) {
    EXPECT_NEAR(low.row(i).pole, asIf.row(i).pole, 1e-5) << i;
    EXPECT_NEAR(low.row(i).feedback, asIf.row(i).feedback, 1e-5) << i;
  }
  // From 32000 up the rate's own table: rows of the pole at 32 kHz, worked out by hand.
  CfilterKV at32k(32000.0f);
  EXPECT_NEAR(at32k.row(50).pole, -0.953318, 1e-5);
  EXPECT_NEAR(at32k.row(100).pole, -0.804306, 1e-5);
  EXPECT_NEAR(at32k.row(150).pole, -0.328644, 1e-5);
}

TEST(CfilterKV, ClampsAndGainCompensation) {
  CfilterKV f(44100.0f);
  f.setResonance(40);
  EXPECT_EQ(f.resonance(), 31);
  f.setCutoffIndex(-5, true);
  EXPECT_EQ(f.cutoffIndex(), 0);
  EXPECT_NEAR(f.currentFeedback(), 3.7625, 1e-4);
  EXPECT_NEAR(f.gainCompensation(), 1.8983, 1e-4);
  f.setCutoffIndex(300, true);
  EXPECT_EQ(f.cutoffIndex(), 255);
  f.setCutoffIndex(192, true);
  EXPECT_NEAR(f.currentFeedback(), 0.1114, 1e-4);  // the telling row 192 at full resonance
  EXPECT_NEAR(f.gainCompensation(), 0.7, 1e-6);
  f.setResonance(0);
  EXPECT_FLOAT_EQ(f.gainCompensation(), 1.0f);
  EXPECT_EQ(f.currentFeedback(), 0.0f);
}

TEST(CfilterKV, ClosedFilterOutputsSilence) {
  CfilterKV f(44100.0f);
  f.setUp(0, 31, true);
  f.resetState();
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(f.process(std::sin(i * 0.1f)), 0.0f);
}

TEST(CfilterKV, OpenFilterPassesTheSignal) {
  CfilterKV f(44100.0f);
  f.setUp(255, 0, true);
  f.resetState();
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> d(-1.0f, 1.0f);
  for (int i = 0; i < 2000; ++i) {
    const float x = d(rng);
    ASSERT_NEAR(f.process(x), x, 1e-4f) << i;
  }
}

TEST(CfilterKV, CoefficientsGlideTowardNewTargets) {
  CfilterKV f(44100.0f);
  f.setUp(64, 0, true);
  const float g0 = f.currentGain();
  f.applyCutoffModulation(64, false);  // index 128, not immediate
  EXPECT_EQ(f.cutoffIndex(), 128);
  EXPECT_FLOAT_EQ(f.currentGain(), g0);
  f.process(0.0f);
  const float o = f.smoothing();
  EXPECT_NEAR(f.currentGain(), g0 * o + f.row(128).gain * (1 - o), 1e-7);
  for (int i = 0; i < 20000; ++i) f.process(0.0f);
  EXPECT_NEAR(f.currentGain(), f.row(128).gain, 1e-5);
  EXPECT_NEAR(f.currentPole(), f.row(128).pole, 1e-5);
  // A lower cutoff damps a high tone more.
  auto rms = [](CfilterKV& flt, int index) {
    flt.setUp(index, 0, true);
    flt.resetState();
    double e = 0;
    for (int i = 0; i < 4000; ++i) {
      const float y = flt.process(std::sin(i * 2.0f * 3.14159265f * 5000.0f / 44100.0f));
      if (i >= 2000) e += y * y;
    }
    return std::sqrt(e / 2000);
  };
  EXPECT_LT(rms(f, 100), 0.05 * rms(f, 230));
}

TEST(CfilterBase, CutoffIsBasePlusModulation) {
  CfilterKV f(44100.0f);
  f.setUp(100, 0, true);
  f.setCutoffModulation(30);
  EXPECT_EQ(f.cutoffIndex(), 130);
  f.setBaseCutoff(50);
  EXPECT_EQ(f.cutoffIndex(), 80);
  EXPECT_EQ(f.baseCutoff(), 50);
  f.applyCutoffModulation(-100, true);
  EXPECT_EQ(f.cutoffIndex(), 0);
  EXPECT_EQ(f.cutoffModulation(), -100);
  f.applyCutoffModulation(INT32_MAX, true);
  EXPECT_EQ(f.cutoffIndex(), 255);
}

}  // namespace
}  // namespace korvo
