// Amplifier curves, smoothing, saturation and silence; the glide follower.
#include <gtest/gtest.h>

#include <cmath>

#include "mod_amp.h"
#include "mod_foll.h"
#include "transTables.h"

namespace korvo {
namespace {

TEST(VolumeCurve, TellingRows) {
  const auto& v = volumeCurve();
  const std::pair<std::size_t, double> rows[] = {{0, 0.0},       {64, 0.03765},  {128, 0.17670},
                                                 {156, 0.32371}, {192, 0.56963}, {255, 1.0}};
  for (auto [i, want] : rows) EXPECT_NEAR(v[i], want, 5e-6) << i;
}

TEST(PanTable, ConstantPower) {
  const auto& p = panTable();
  EXPECT_NEAR(p[0].left, 1.0f, 1e-6f);
  EXPECT_NEAR(p[0].right, 0.0f, 1e-6f);
  EXPECT_NEAR(p[63].left, 0.70711f, 1e-5f);
  EXPECT_NEAR(p[63].right, 0.70711f, 1e-5f);
  EXPECT_NEAR(p[126].right, 1.0f, 1e-6f);
  for (const auto& e : p) EXPECT_NEAR(e.left * e.left + e.right * e.right, 1.0f, 1e-5f);
}

TEST(Camp, Coefficients) {
  Camp a;
  a.setSampleRate(44100.0f);
  EXPECT_NEAR(a.slowCoefficient(), 0.99057f, 1e-5f);
  EXPECT_NEAR(a.fastCoefficient(), 0.97437f, 1e-5f);
  EXPECT_EQ(a.coefficient(), a.slowCoefficient());
  a.setSmoothingMode(1);
  EXPECT_EQ(a.coefficient(), a.fastCoefficient());
  a.setSmoothingMode(7);
  EXPECT_EQ(a.coefficient(), a.slowCoefficient());
}

TEST(Camp, PanAndGainAdvanceBeforeUse) {
  Camp a;
  a.setSampleRate(44100.0f);
  a.setSaturation(-1);
  a.update(255, -63, 1.0f);
  const float c = 1 - a.slowCoefficient();
  EXPECT_NEAR(a.leftTarget(), c, 1e-7f);
  EXPECT_EQ(a.rightTarget(), Camp::kTargetFloor);
  float l = 0, r = 0;
  a.process(0.5f, l, r);
  EXPECT_FLOAT_EQ(l, 0.5f * a.leftTarget());
  for (int i = 0; i < 5000; ++i) {
    l = r = 0;
    a.process(0.5f, l, r);
  }
  EXPECT_NEAR(l, 0.5f, 1e-4f);
  EXPECT_LT(std::fabs(r), 1e-4f);
  a.update(300, 200, 2.0f);  // clamped to 255 and +63
  EXPECT_EQ(a.volumeIndex(), 255);
  EXPECT_EQ(a.pan(), 63);
}

TEST(Camp, FadeOutBecomesSilentAndStays) {
  for (int mode : {0, 1}) {
    Camp a;
    a.setSampleRate(44100.0f);
    a.setSmoothingMode(mode);
    a.update(255, 0, 1.0f);
    float l = 0, r = 0;
    for (int i = 0; i < 5000; ++i) a.process(0.0f, l, r);
    ASSERT_FALSE(a.silent());
    a.fadeOut();
    EXPECT_EQ(a.leftTarget(), Camp::kTargetFloor);
    int n = 0;
    while (!a.silent() && n < 100000) {
      a.process(0.0f, l, r);
      ++n;
    }
    EXPECT_LT(n, mode == 1 ? 300 : 810) << mode;  // about 6.6 ms fast, 18 ms slow
    for (int i = 0; i < 44100; ++i) a.process(0.0f, l, r);
    EXPECT_TRUE(a.silent());
  }
}

TEST(Camp, ModeChangeRescalesTargetsWithoutFloor) {
  Camp a;
  a.setSampleRate(44100.0f);
  a.update(0, 0, 1.0f);
  EXPECT_EQ(a.leftTarget(), Camp::kTargetFloor);
  a.setSmoothingMode(1);
  EXPECT_EQ(a.leftTarget(), 0.0f);
  a.update(200, 10, 1.5f);
  const float fastTarget = a.rightTarget();
  a.setSmoothingMode(0);
  EXPECT_NEAR(a.rightTarget(), fastTarget / (1 - a.fastCoefficient()) * (1 - a.slowCoefficient()), 1e-7f);
}

TEST(Camp, Saturation) {
  Camp a;
  struct Row {
    int sat;
    float in, out;
  } rows[] = {{0, 1.7f, 1.6f}, {0, -2.0f, -1.6f}, {0, 5.0f, 1.6f}, {15, 0.12f, 1.6f}, {15, -0.5f, -1.6f}};
  for (const Row& r : rows) {
    a.setSaturation(r.sat);
    EXPECT_FLOAT_EQ(a.saturate(r.in), r.out) << r.sat << " " << r.in;
  }
  a.setSaturation(15);
  EXPECT_NEAR(a.clipLevel(), 0.12f, 1e-6f);
  EXPECT_NEAR(a.saturate(0.1f), 1.619f, 1e-3f);
  EXPECT_NEAR(a.saturate(0.1199f), 1.6f, 1e-3f);  // meets the limit at T
  EXPECT_FLOAT_EQ(a.saturate(0.0f), 0.0f);
  a.setSaturation(0);
  EXPECT_NEAR(a.saturate(1.6999f), 1.6f, 1e-3f);
  EXPECT_NEAR(a.saturate(-0.3f), -a.saturate(0.3f), 1e-6f);
  a.setSaturation(40);  // stored as 15 with the clip level of 15
  EXPECT_EQ(a.saturation(), 15);
  EXPECT_NEAR(a.clipLevel(), 0.12f, 1e-6f);
  a.setSaturation(-3);
  EXPECT_EQ(a.saturation(), -1);
  a.setSampleRate(44100.0f);
  a.update(255, 0, 1.0f);
  float l = 0, r = 0;
  for (int i = 0; i < 5000; ++i) {
    l = r = 0;
    a.process(3.0f, l, r);  // off: passes unchanged
  }
  EXPECT_NEAR(l, 3.0f * 0.70711f, 1e-3f);
}

TEST(Cmod_foll, GlideReachesTheIntervalOnTime) {
  Cmod_foll f(83.54f);
  // Glide of 7 semitones over time value 20 (14 / 83.54 s).
  f.setSpeed(7 * 256 * 83.54f / 14);
  EXPECT_EQ(f.stepSize(), static_cast<int>(7 * 256 * 83.54f / 14 * (4096 / 83.54f)));
  f.reset(0);
  f.setTarget(7 * 256);
  int last = 0, ticks = 0;
  while (f.value() != 7 * 256 && ticks < 100) {
    const int v = f.tick();
    ASSERT_GE(v, last);
    last = v;
    ++ticks;
  }
  EXPECT_EQ(ticks, 14);
  EXPECT_EQ(f.step(), 0);
  // Down again from where it is; the step keeps its direction through a speed change.
  f.setTarget(0);
  EXPECT_LT(f.step(), 0);
  f.setSpeed(100.0f);
  EXPECT_EQ(f.step(), -f.stepSize());
  EXPECT_EQ(f.stepSize(), 4903);  // 100 * 4096 / 83.54 = 4903.1
}

TEST(Cmod_foll, EdgeCases) {
  Cmod_foll f(83.54f);
  f.reset(0);
  f.setTarget(0);
  EXPECT_EQ(f.tick(), 0);
  EXPECT_EQ(f.step(), 0);
  f.setSpeed(0.01f);  // rounds to a step of 0
  f.setTarget(5);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(f.tick(), 0);
  f.reset(-3);
  EXPECT_EQ(f.value(), -3);
  f.reset(10000000);
  EXPECT_EQ(f.value(), Cmod_foll::kLimit);
  f.setSpeed(1e30f);  // saturates; lands on the target without overflow
  f.setTarget(-10000000);
  f.tick();
  EXPECT_EQ(f.tick(), -Cmod_foll::kLimit);
  Cmod_foll slow(0.0f);  // rate at least 1
  slow.setSpeed(1.0f);
  EXPECT_EQ(slow.stepSize(), 4096);
}

}  // namespace
}  // namespace korvo
