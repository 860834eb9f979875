// The oscillator chip: configuration from the wave map, modes, AM and sync, the render step and
// its timing at host rates above and below the chip rate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "docWaveParams.h"
#include "mod_doc.h"
#include "pitchMeasure.h"
#include "renderMath.h"
#include "transTables.h"

namespace korvo {
namespace {

using OscSetups = std::array<Cdoc::OscSetup, 3>;

OscSetups single(int wave, int level = 63) {
  OscSetups s{};
  s[0] = {true, wave, level, 0, 0, 0};
  return s;
}

// A chip with a synthetic ROM: every byte `fill`, and one sine cycle in the SINE table
// (bank 0, page 104, 1024 samples) so that pitch can be measured.
std::unique_ptr<Cdoc> makeChip(std::uint8_t fill, bool sineTable = false) {
  auto chip = std::make_unique<Cdoc>(8);
  std::vector<std::uint8_t> rom(Cdoc::kRomSize, fill);
  if (sineTable)
    for (std::size_t i = 0; i < 1024; ++i)
      rom[104 * 256 + i] = static_cast<std::uint8_t>(128 + std::lround(120 * std::sin(2 * M_PI * i / 1024)));
  chip->loadRom(rom.data(), rom.size());
  return chip;
}

TEST(Cdoc, ConstructionConstants) {
  Cdoc chip(12, 48000.0f);
  EXPECT_EQ(chip.hostRate(), 48000.0f);
  EXPECT_EQ(chip.voiceCount(), 8);
  EXPECT_NEAR(chip.smoothing(), 0.6917327f, 2e-7f);
  EXPECT_NEAR(chip.smoothingComplement(), 0.3082673f, 2e-7f);
  chip.setHostRate(44100.0f);
  EXPECT_EQ(chip.phaseIncrement(), 932944840u);
  chip.setHostRate(Cdoc::kChipRate);
  EXPECT_EQ(chip.phaseIncrement(), 1u << 30);
  chip.setHostRate(0.0f);  // refused
  chip.setHostRate(NAN);
  EXPECT_EQ(chip.phaseIncrement(), 1u << 30);
  for (std::uint8_t b : chip.rom()) ASSERT_EQ(b, 0);
}

TEST(Cdoc, LoadRomCutsLongImagesAndZeroFillsShortOnes) {
  Cdoc chip(8);
  const std::vector<std::uint8_t> big(Cdoc::kRomSize + 10, 9);
  chip.loadRom(big.data(), big.size());
  EXPECT_EQ(chip.rom().front(), 9);
  EXPECT_EQ(chip.rom().back(), 9);
  const std::uint8_t small[] = {5, 6, 7};
  chip.loadRom(small, sizeof small);
  EXPECT_EQ(chip.rom()[0], 5);
  EXPECT_EQ(chip.rom()[2], 7);
  EXPECT_EQ(chip.rom()[3], 0);
  EXPECT_EQ(chip.rom().back(), 0);
}

TEST(Cdoc, StartConfiguresFromWaveMap) {
  auto chip = makeChip(200);
  // SINE at note 69: entry 21 (page 104, control 11), key >= 24 lowers the resolution to 0.
  chip->startVoice(0, 69, false, true, false, false, single(2, 63));
  const auto& o = chip->oscillator(0, 0);
  EXPECT_TRUE(o.running);
  EXPECT_EQ(o.pitch, 69 * 256);
  EXPECT_EQ(o.reg.frequencyWord, frequencyTable()[69 * 16]);
  EXPECT_EQ(o.reg.frequencyWord, 1505);
  EXPECT_EQ(o.reg.page, 104);
  EXPECT_EQ(o.reg.bank, 0);
  EXPECT_EQ(o.reg.resolution, 0);
  EXPECT_EQ(o.reg.tableExponent, 10);
  EXPECT_EQ(o.reg.shift, 9);
  EXPECT_EQ(o.reg.increment, 1505u << 9);
  EXPECT_EQ(o.reg.accumulatorMask, 1024 * 65536 - 1);
  EXPECT_EQ(o.baseVolume, 126);
  EXPECT_EQ(o.reg.chipVolume, levelCurve()[252]);
  EXPECT_FLOAT_EQ(o.reg.gainTarget, levelCurve()[252] / 255.0f * chip->smoothingComplement());
  EXPECT_EQ(o.reg.mode, Cdoc::kFreeRunning);
  EXPECT_FALSE(chip->oscillator(0, 1).running);
  EXPECT_TRUE(chip->oscillator(0, 1).reg.halted);

  // Fine tune and octave: FINE 5 = 40/256, OCT -1 moves the key (and zone) down 12.
  OscSetups s = single(0);
  s[0].fine = 5;
  s[0].octave = -1;
  chip->startVoice(1, 60, false, true, false, false, s);
  const auto& saw = chip->oscillator(1, 0);
  EXPECT_EQ(saw.transpose, -12);
  EXPECT_EQ(saw.reg.page, waveEntryTable()[54].page);  // key 48 -> zone 6 -> entry 54
  EXPECT_EQ(saw.pitch, 48 * 256 + 40);

  // A key above 127 uses zone 15 but keeps its pitch, which folds down by octaves.
  OscSetups hi = single(0);
  hi[0].octave = 2;
  chip->startVoice(2, 120, false, true, false, false, hi);
  EXPECT_EQ(chip->oscillator(2, 0).reg.page, 104);
  EXPECT_EQ(chip->oscillator(2, 0).pitch, 144 * 256);
  EXPECT_EQ(chip->oscillator(2, 0).reg.frequencyWord, frequencyTable()[(144 * 256 - 2 * 3072) >> 4]);

  // Low key: P = 12 + 12 with the table's own resolution.
  chip->startVoice(3, 12, false, true, false, false, single(2));
  EXPECT_EQ(chip->oscillator(3, 0).pitch, 24 * 256);
  EXPECT_EQ(chip->oscillator(3, 0).reg.resolution, 1);
}

TEST(Cdoc, InterpolationOrderFollowsLargestIncrement) {
  auto chip = makeChip(200);
  // SINE increments: fw << 9; 895 (note 60), 1790 (72), 7158 (96), 14317 (108).
  const std::pair<int, int> rows[] = {{60, 1}, {72, 2}, {96, 3}, {108, 4}};
  for (auto [note, order] : rows) {
    chip->startVoice(0, note, false, true, false, false, single(2));
    EXPECT_EQ(chip->interpolationOrder(0), order) << note;
  }
  // A disabled modulator does not count.
  OscSetups s{};
  s[0] = {false, 2, 63, 0, 0, 0};
  s[1] = {true, 2, 63, -3, 0, 0};
  chip->startVoice(0, 108, false, true, true, false, s);
  EXPECT_TRUE(chip->oscillator(0, 0).running);
  EXPECT_EQ(chip->interpolationOrder(0), 2);  // key 72 on oscillator 2
  chip->resetVoice(0);
  EXPECT_EQ(chip->interpolationOrder(0), 0);
}

TEST(Cdoc, ZeroRomHaltsAndRendersSilence) {
  auto chip = makeChip(0);
  chip->setHostRate(44100.0f);
  OscSetups s{};
  for (auto& o : s) o = {true, 0, 63, 0, 0, 0};
  chip->startVoice(0, 60, false, true, false, false, s);
  EXPECT_EQ(chip->renderVoice(0), 0.0f);
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(chip->oscillator(0, k).reg.halted);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(chip->renderVoice(0), 0.0f);
}

TEST(Cdoc, OneShotPlaysOnceThenHalts) {
  auto chip = makeChip(255);
  chip->setHostRate(Cdoc::kChipRate);  // one chip step per render
  // CLICK (62): entry 121, table 1024 samples.
  chip->startVoice(0, 60, false, false, false, false, single(62));
  const auto& o = chip->oscillator(0, 0);
  EXPECT_EQ(o.reg.mode, Cdoc::kOneShot);
  EXPECT_EQ(o.reg.accumulator, 0u);  // forced restart
  int steps = 0;
  while (!o.reg.halted && steps < 100000) {
    chip->renderVoice(0);
    ++steps;
  }
  // Halts in the step that finds the wrap: that step read index 0 again and still sounded.
  const std::uint64_t span = std::uint64_t{1024} << 16;
  const std::uint64_t expected = (span + o.reg.increment - 1) / o.reg.increment + 1;
  EXPECT_EQ(static_cast<std::uint64_t>(steps), expected);
}

TEST(Cdoc, FirstRenderStepsAndGainsRise) {
  auto chip = makeChip(255);
  chip->setHostRate(44100.0f);
  chip->startVoice(0, 60, false, true, false, false, single(2));
  const auto& o = chip->oscillator(0, 0);
  EXPECT_EQ(chip->renderVoice(0), 0.0f);  // mixed with the gain as it stood (0)
  EXPECT_EQ(o.reg.previousAccumulator, 0u);
  EXPECT_EQ(o.reg.accumulator, o.reg.increment);
  EXPECT_FLOAT_EQ(o.reg.gain, o.reg.gainTarget);
  // A constant full-scale table settles at the level curve's gain.
  float y = 0;
  for (int i = 0; i < 200; ++i) y = chip->renderVoice(0);
  EXPECT_NEAR(y, levelCurve()[252] / 255.0f, 1e-4f);
}

TEST(Cdoc, AmModulatorScalesOscillatorTwo) {
  // Every byte 1 (-127) or 255 (+127): oscillator 1 as a silent modulator drives oscillator 2's
  // gain to 0.4 + 0.6 * s1 / 127, i.e. -0.2 or 1.0.
  for (std::uint8_t fill : {std::uint8_t{1}, std::uint8_t{255}}) {
    auto chip = makeChip(fill);
    chip->setHostRate(48000.0f);
    OscSetups s{};
    s[0] = {false, 2, 0, 0, 0, 0};
    s[1] = {true, 2, 0, 0, 0, 0};  // its own level is not used under AM
    chip->startVoice(0, 60, false, true, true, false, s);
    EXPECT_TRUE(chip->amFlag(0));
    EXPECT_FALSE(chip->oscillator(0, 0).enabled);
    EXPECT_TRUE(chip->oscillator(0, 0).running);
    float y = 0;
    for (int i = 0; i < 300; ++i) y = chip->renderVoice(0);
    const float s2 = fill == 1 ? -1.0f : 1.0f;
    const float gain2 = fill == 1 ? -0.2f : 1.0f;
    EXPECT_NEAR(y, s2 * gain2, 1e-4f) << int(fill);
  }
}

TEST(Cdoc, AmBugTakesBankBitFromOscillatorOne) {
  auto chip = makeChip(200);
  OscSetups s{};
  s[0] = {true, 63, 63, 0, 0, 0};  // CHIFF at key 60: entry 90, control AC (bank bit 0 set)
  s[1] = {true, 2, 63, 0, 0, 0};   // SINE: entry 21, bank 0
  chip->startVoice(0, 60, true, true, true, false, s);
  EXPECT_TRUE(chip->oscillator(0, 1).reg.bankLink);
  EXPECT_EQ(chip->oscillator(0, 1).reg.bank, 1);
  EXPECT_EQ(chip->oscillator(0, 1).reg.baseAddress, 65536 + 104 * 256);
  chip->startVoice(0, 60, false, true, true, false, s);
  EXPECT_EQ(chip->oscillator(0, 1).reg.bank, 0);
  chip->startVoice(0, 60, true, true, false, false, s);  // AMBUG without AM: no link
  EXPECT_EQ(chip->oscillator(0, 1).reg.bank, 0);
}

TEST(Cdoc, ModesOfOscillatorTwo) {
  auto chip = makeChip(200);
  OscSetups s{};
  s[0] = {true, 2, 63, 0, 0, 0};
  s[1] = {true, 60, 63, 0, 0, 0};  // a one-shot wave
  s[2] = {true, 60, 63, 0, 0, 0};
  chip->startVoice(0, 60, false, false, false, true, s);
  EXPECT_EQ(chip->oscillator(0, 1).reg.mode, Cdoc::kSynced);
  EXPECT_EQ(chip->oscillator(0, 2).reg.mode, Cdoc::kOneShot);
  chip->startVoice(0, 60, false, false, true, false, s);
  EXPECT_EQ(chip->oscillator(0, 1).reg.mode, Cdoc::kFreeRunning);
  chip->startVoice(0, 60, false, false, false, false, s);
  EXPECT_EQ(chip->oscillator(0, 1).reg.mode, Cdoc::kOneShot);
}

TEST(Cdoc, SyncRestartsOscillatorTwoWhenOneWraps) {
  auto chip = makeChip(200);
  chip->setHostRate(Cdoc::kChipRate);
  OscSetups s{};
  s[0] = {true, 2, 63, 0, 0, 0};
  s[1] = {true, 2, 63, -2, 0, 0};
  chip->startVoice(0, 96, false, true, false, true, s);
  const auto& o1 = chip->oscillator(0, 0);
  const auto& o2 = chip->oscillator(0, 1);
  int syncs = 0;
  std::uint32_t maxSynced = 0;
  for (int i = 0; i < 5000; ++i) {
    const bool wrapsNow = o1.reg.accumulator < o1.reg.previousAccumulator;
    chip->renderVoice(0);
    maxSynced = std::max(maxSynced, o2.reg.accumulator);
    if (wrapsNow) {
      ++syncs;
      ASSERT_EQ(o2.reg.previousAccumulator, 0u);
      ASSERT_EQ(o2.reg.accumulator, o2.reg.increment);
    }
  }
  EXPECT_GT(syncs, 10);
  // Without sync the slower oscillator runs past the faster one's period.
  chip->startVoice(0, 96, false, true, false, false, s);
  std::uint32_t maxAcc = 0;
  for (int i = 0; i < 5000; ++i) {
    chip->renderVoice(0);
    maxAcc = std::max(maxAcc, o2.reg.accumulator);
  }
  EXPECT_GT(maxAcc, static_cast<std::uint32_t>(o2.reg.accumulatorMask) / 2);
  EXPECT_LT(maxSynced, static_cast<std::uint32_t>(o2.reg.accumulatorMask) / 2);
}

TEST(Cdoc, RetuneKeepsPhaseAndModulateActsOnChange) {
  auto chip = makeChip(200);
  chip->setHostRate(44100.0f);
  chip->startVoice(0, 60, false, true, false, false, single(2));
  for (int i = 0; i < 37; ++i) chip->renderVoice(0);
  const auto& o = chip->oscillator(0, 0);
  const std::uint32_t acc = o.reg.accumulator;
  chip->modulateOscillator(0, 0, -20, 512);
  EXPECT_EQ(o.pitchWithModulation, 60 * 256 + 512);
  EXPECT_EQ(o.reg.frequencyWord, frequencyTable()[62 * 16]);
  EXPECT_EQ(o.reg.increment, static_cast<std::uint32_t>(o.reg.frequencyWord) << 9);
  EXPECT_EQ(o.currentVolume, 106);
  EXPECT_EQ(o.reg.chipVolume, levelCurve()[212]);
  chip->retuneVoice(0, 72, 0);
  EXPECT_EQ(o.reg.accumulator, acc);
  EXPECT_EQ(o.pitch, 72 * 256);
  EXPECT_EQ(o.reg.frequencyWord, frequencyTable()[74 * 16]);
  EXPECT_EQ(o.reg.increment, static_cast<std::uint32_t>(o.reg.frequencyWord) << 9);
  chip->modulateOscillator(0, 0, 0, -100000);  // clamps at pitch 0
  EXPECT_EQ(o.pitchWithModulation, 0);
  EXPECT_EQ(o.reg.frequencyWord, 28);
  chip->modulateOscillator(0, 3, 50, 50);  // oscillator out of range: ignored
  chip->modulateOscillator(8, 0, 50, 50);
  EXPECT_EQ(o.pitchModulation, -100000);
  chip->haltVoice(0);
  EXPECT_TRUE(o.reg.halted);
  EXPECT_EQ(chip->renderVoice(9), 0.0f);
}

// Chip steps over N renders: the first render steps at once, later ones once per phase wrap;
// below the chip rate every wrap of the wider phase counts.
TEST(Cdoc, ChipStepsKeepTimeAtEveryHostRate) {
  for (float rate : {22050.0f, 32000.0f, 38317.28125f, 44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
    auto chip = makeChip(200);
    chip->setHostRate(rate);
    chip->startVoice(0, 0, false, true, false, false, single(5));  // NOISE1: 4096 samples, slow
    const auto& o = chip->oscillator(0, 0);
    const std::uint64_t inc = chip->phaseIncrement();
    std::uint64_t steps = 0;
    // At and above the chip rate a step happens exactly when the 30-bit phase does not grow.
    std::uint32_t phase = 0, prev = 0;
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
      const std::uint32_t before = o.reg.accumulator;
      chip->renderVoice(0);
      const std::uint64_t moved = (o.reg.accumulator - before) / o.reg.increment;
      steps += moved;
      if (inc <= (1u << 30)) {
        ASSERT_EQ(moved, phase <= prev ? 1u : 0u) << rate << " at " << i;
        prev = phase;
        phase = static_cast<std::uint32_t>((phase + inc) & ((1u << 30) - 1));
      }
    }
    const std::uint64_t expected = 1 + ((n - 1) * inc >> 30);
    EXPECT_EQ(steps, expected) << rate;
    EXPECT_NEAR(static_cast<double>(steps) / n, Cdoc::kChipRate / rate, 1e-3) << rate;
  }
}

TEST(Cdoc, SineTableSoundsAtPitchAtEveryHostRate) {
  for (float rate : {22050.0f, 32000.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
    auto chip = makeChip(128, true);
    chip->setHostRate(rate);
    for (int note : {24, 45, 69, 93, 108}) {
      chip->startVoice(0, note, false, true, false, false, single(2));
      std::vector<float> out;
      const int period = static_cast<int>(rate / test::noteHz(note));
      const int n = std::max(8192, 3 * period);
      for (int i = 0; i < 256; ++i) chip->renderVoice(0);
      for (int i = 0; i < n; ++i) out.push_back(chip->renderVoice(0));
      const auto res = test::measurePitch(out, rate, test::noteHz(note));
      EXPECT_FALSE(res.onBorder) << rate << " note " << note;
      EXPECT_GT(res.peak, 0.95) << rate << " note " << note;
      EXPECT_LT(std::fabs(test::cents(res.hz, test::noteHz(note))), 5.0) << rate << " note " << note;
    }
  }
}

// Below the chip rate the host cannot carry the chip's output between its own Nyquist frequency
// and the chip's: a sine there would fold down at full level onto an unrelated frequency. It is
// filtered out, while the band the host carries keeps its level. (At and above the chip rate the
// output stays the chip's own: the bit-exact tests.)
TEST(Cdoc, BelowTheChipRateWhatTheHostCannotCarryIsTakenOut) {
  // The sine table of wave 2 with four cycles: key 103 plays 12.5 kHz, key 108 16.7 kHz.
  std::vector<std::uint8_t> rom(Cdoc::kRomSize, 128);
  for (std::size_t i = 0; i < 1024; ++i)
    rom[104 * 256 + i] = static_cast<std::uint8_t>(128 + std::lround(120 * std::sin(2 * M_PI * 4 * i / 1024)));
  auto rms = [&](float rate, int note) {
    Cdoc chip(1, rate);
    chip.loadRom(rom.data(), rom.size());
    chip.startVoice(0, note, false, true, false, false, single(2));
    for (int i = 0; i < 2048; ++i) chip.renderVoice(0);
    double sum = 0;
    for (int i = 0; i < 8192; ++i) sum += std::pow(chip.renderVoice(0), 2);
    return std::sqrt(sum / 8192);
  };
  EXPECT_EQ(makeChip(0)->bandLimitTaps(), 0) << "44.1 kHz: no filter";
  const struct {
    float rate;
    int note;  // a sine between the host's and the chip's Nyquist frequency
  } cases[] = {{22050.0f, 103}, {32000.0f, 108}};
  for (const auto& c : cases) {
    const double above = rms(c.rate, c.note) / rms(44100.0f, c.note);
    std::printf("%.0f Hz: a sine above its Nyquist frequency %.1f dB\n", c.rate, 20 * std::log10(above));
    EXPECT_LT(20 * std::log10(above), -40.0) << c.rate;
    for (int note : {45, 72, 81}) {  // 440 Hz to 3.5 kHz
      const double kept = rms(c.rate, note) / rms(44100.0f, note);
      EXPECT_NEAR(20 * std::log10(kept), 0.0, 0.3) << c.rate << " note " << note;
    }
  }
}

// At the chip rate the phase never moves (t = 0): the output is H0, the mixed sample of three
// steps ago, and the gain ramps by a * gain + target from 0.
TEST(Cdoc, HistoryDelayAndGainRampAtTheChipRate) {
  auto chip = makeChip(255);
  chip->setHostRate(Cdoc::kChipRate);
  chip->startVoice(0, 60, false, true, false, false, single(2));
  const float a = chip->smoothing();
  const float target = chip->oscillator(0, 0).reg.gainTarget;
  float gain = 0.0f;
  std::vector<float> mixed;
  for (int i = 0; i < 12; ++i) {
    mixed.push_back(127.0f * (1.0f / 127.0f) * gain);
    gain = a * gain + target;
  }
  for (int i = 0; i < 12; ++i) {
    const float y = chip->renderVoice(0);
    EXPECT_EQ(y, i < 3 ? 0.0f : mixed[static_cast<std::size_t>(i - 3)]) << i;
  }
}

TEST(RenderToInt, TruncatesAndSaturates) {
  EXPECT_EQ(renderToInt(445.7), 445);
  EXPECT_EQ(renderToInt(-445.7), -445);
  EXPECT_EQ(renderToInt(0.999f), 0);
  EXPECT_EQ(renderToInt(3e9), INT32_MAX);
  EXPECT_EQ(renderToInt(-3e9), INT32_MIN);
  EXPECT_EQ(renderToInt(NAN), 0);
  EXPECT_EQ(renderToInt(INFINITY), INT32_MAX);
}

}  // namespace
}  // namespace korvo
