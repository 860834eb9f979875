// The generated wave ROM: layout, end markers, pitch of every pitched looping wave through the
// chip at several keys and host rates, and the timbre of the basic waves.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <complex>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "docWaveParams.h"
#include "mod_doc.h"
#include "pitchMeasure.h"
#include "wavromDesign.h"

namespace korvo {
namespace {

using wavrom::EntryUse;

const std::vector<std::uint8_t>& rom() {
  static const std::vector<std::uint8_t> image = wavrom::buildWaveRom();
  return image;
}

TEST(WaveRom, BuildWritesTheSameImage) {
  std::ifstream in(KORVO_WAVROM_PATH, std::ios::binary);
  ASSERT_TRUE(in) << KORVO_WAVROM_PATH;
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(file.size(), Cdoc::kRomSize);
  EXPECT_TRUE(file == rom());
}

TEST(WaveRom, LoopsHaveNoEndMarkerAndOneShotsEnd) {
  for (const EntryUse& u : wavrom::entryUses()) {
    if (!u.used()) continue;
    const auto begin = rom().begin() + u.address;
    const auto end = begin + u.size;
    if (u.loops) {
      EXPECT_EQ(std::find(begin, end, 0), end) << "entry " << u.entry;
    } else {
      EXPECT_NE(std::find(begin, end, 0), end) << "entry " << u.entry;
      // Something audible before the marker.
      EXPECT_GT(std::count_if(begin, std::find(begin, end, 0), [](std::uint8_t b) { return b < 100 || b > 156; }), 10)
          << "entry " << u.entry;
    }
    EXPECT_FALSE(u.loops && u.oneShot) << "entry " << u.entry;
  }
}

TEST(WaveRom, PitchedLoopsHoldWholePeriods) {
  for (const EntryUse& u : wavrom::entryUses()) {
    bool pitched = false;
    for (int w : u.waves) pitched = pitched || wavrom::isPitchedLoop(w);
    if (!pitched) continue;
    const double c = u.cyclesPerTable();
    EXPECT_NEAR(c, std::round(c), 1e-9) << "entry " << u.entry;
  }
}

std::unique_ptr<Cdoc> chipWithRom() {
  auto chip = std::make_unique<Cdoc>(1);
  chip->loadRom(rom().data(), rom().size());
  return chip;
}

// Every pitched looping wave, one key in each zone from 24 to 108, the host rate rotating
// through 22.05 to 192 kHz. The chip's frequency words are rounded integers: where the placed
// pitch falls low in the table (placed semitones 12..35) the word itself can be up to about 13
// cents off 12-TET, whatever the table holds. So the rendered pitch must match the chip's own
// frequency for the key within 2.5 cents, and 12-TET within 5 cents wherever the frequency word
// allows it.
TEST(WaveRom, PitchedLoopsSoundAtTheKeyPitch) {
  const int keys[] = {24, 35, 44, 50, 60, 69, 77, 84, 93, 100, 108};
  const float rates[] = {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 32000.0f};
  const auto uses = wavrom::entryUses();
  auto chip = chipWithRom();
  int measured = 0, heldBackByTable = 0;
  for (int wave = 0; wave < kFirstOneShotWave; ++wave) {
    if (!wavrom::isPitchedLoop(wave)) continue;
    for (std::size_t k = 0; k < std::size(keys); ++k) {
      const float rate = rates[(static_cast<std::size_t>(wave) + k) % std::size(rates)];
      const int key = keys[k];
      chip->setHostRate(rate);
      std::array<Cdoc::OscSetup, 3> s{};
      s[0] = {true, wave, 63, 0, 0, 0};
      chip->startVoice(0, key, false, true, false, false, s);
      const auto& reg = chip->oscillator(0, 0).reg;
      const double cycles = uses[waveZoneTable()[static_cast<std::size_t>(wave)][waveZone(key)]].cyclesPerTable();
      const double nominal = Cdoc::kChipRate * reg.frequencyWord / std::exp2(17 + reg.resolution) * cycles;
      const double hz = test::noteHz(key);
      const int n = std::max(4096, static_cast<int>(3 * rate / hz));
      std::vector<float> out;
      out.reserve(static_cast<std::size_t>(n));
      for (int i = 0; i < 128; ++i) chip->renderVoice(0);
      for (int i = 0; i < n; ++i) out.push_back(chip->renderVoice(0));
      const auto res = test::measurePitch(out, rate, nominal);
      ++measured;
      const std::string what =
          std::string(waveName(wave)) + " key " + std::to_string(key) + " at " + std::to_string(rate);
      EXPECT_FALSE(res.onBorder) << what;
      EXPECT_GT(res.peak, 0.75) << what;
      EXPECT_LT(std::fabs(test::cents(res.hz, nominal)), 2.5) << what;
      if (std::fabs(test::cents(nominal, hz)) > 3.0) {
        ++heldBackByTable;
      } else {
        EXPECT_LT(std::fabs(test::cents(res.hz, hz)), 5.0) << what;
      }
    }
  }
  EXPECT_EQ(measured, 45 * 11);
  EXPECT_LT(heldBackByTable, measured / 10);
}

// Timbre checks that need no ear: the noises do not repeat on a short scale, and every one-shot
// dies away (its last quarter is much quieter than its loudest quarter).
TEST(WaveRom, NoisesAreNoiseAndOneShotsDecay) {
  const auto uses = wavrom::entryUses();
  for (std::size_t e : {0u, 1u, 32u}) {
    const EntryUse& u = uses[e];
    const auto table = rom().begin() + u.address;
    double e0 = 0;
    for (int i = 0; i < u.size; ++i) e0 += std::pow(table[i] - 128.0, 2);
    for (int lag = e == 32 ? 64 : 2; lag <= 64; lag *= 2) {  // NOISE2 is smoothed: only far lags
      double c = 0;
      for (int i = 0; i + lag < u.size; ++i) c += (table[i] - 128.0) * (table[i + lag] - 128.0);
      EXPECT_LT(std::fabs(c / e0), 0.1) << "entry " << e << " lag " << lag;
    }
  }
  for (const EntryUse& u : uses) {
    if (!u.oneShot) continue;
    const auto begin = rom().begin() + u.address;
    const int length = static_cast<int>(std::find(begin, begin + u.size, 0) - begin);
    std::array<double, 4> quarter{};
    for (int i = 0; i < length; ++i) quarter[static_cast<std::size_t>(4 * i / length)] += std::pow(begin[i] - 128.0, 2);
    const double loudest = *std::max_element(quarter.begin(), quarter.end());
    EXPECT_LT(quarter[3], 0.5 * loudest) << "entry " << u.entry;
  }
}

// Magnitude of `bin` whole cycles per table, with the table's own sine and cosine.
class TableDft {
 public:
  explicit TableDft(const EntryUse& u) : u_(u), c_(static_cast<std::size_t>(u.size)), s_(c_.size()) {
    for (std::size_t i = 0; i < c_.size(); ++i) {
      c_[i] = std::cos(2.0 * M_PI * i / u.size);
      s_[i] = std::sin(2.0 * M_PI * i / u.size);
    }
  }
  double power(int bin) const {
    double re = 0, im = 0;
    const auto table = rom().begin() + u_.address;
    for (int i = 0; i < u_.size; ++i) {
      const double v = table[i] - 128.0;
      const auto k = static_cast<std::size_t>((static_cast<long>(bin) * i) % u_.size);
      re += v * c_[k];
      im -= v * s_[k];
    }
    return (re * re + im * im) / (double(u_.size) * u_.size);
  }

 private:
  const EntryUse& u_;
  std::vector<double> c_, s_;
};

std::vector<double> harmonicsOf(const EntryUse& u, int count) {
  TableDft dft(u);
  std::vector<double> mags;
  for (int h = 1; h <= count; ++h) mags.push_back(std::sqrt(dft.power(h)));
  return mags;
}

TEST(WaveRom, BasicWavesHaveTheirSpectra) {
  const auto uses = wavrom::entryUses();
  // SAW low zone (entry 52): 1/h.
  auto saw = harmonicsOf(uses[52], 8);
  for (std::size_t h = 2; h <= 8; ++h) EXPECT_NEAR(saw[h - 1] / saw[0], 1.0 / h, 0.02) << h;
  // SQUARE (entry 70): odd 1/h, even none.
  auto sq = harmonicsOf(uses[70], 8);
  for (std::size_t h = 2; h <= 8; ++h) EXPECT_NEAR(sq[h - 1] / sq[0], h % 2 ? 1.0 / h : 0.0, 0.02) << h;
  // SINE (entry 21): the fundamental only.
  auto sine = harmonicsOf(uses[21], 8);
  for (std::size_t h = 2; h <= 8; ++h) EXPECT_LT(sine[h - 1] / sine[0], 0.01) << h;
  // TRIANG (entry 25): 1/9 at the third.
  auto tri = harmonicsOf(uses[25], 4);
  EXPECT_NEAR(tri[2] / tri[0], 1.0 / 9, 0.02);
  // OCTAVE (23): fundamental and octave only.
  auto oct = harmonicsOf(uses[23], 4);
  EXPECT_GT(oct[1] / oct[0], 0.6);
  EXPECT_LT(oct[2] / oct[0], 0.02);
}

// No looping table holds partials that would pass the chip's Nyquist frequency at the highest
// key in the test range that plays it.
TEST(WaveRom, LoopsAreBandLimitedPerZone) {
  for (const EntryUse& u : wavrom::entryUses()) {
    bool pitched = false;
    for (int w : u.waves) pitched = pitched || wavrom::isPitchedLoop(w);
    if (!pitched || u.size > 1024) continue;
    const int cycles = static_cast<int>(std::lround(u.cyclesPerTable()));
    const double topHz = test::noteHz(std::min(u.maxKey, 108));
    const int first = static_cast<int>(19158.0 / topHz) + 1;  // first harmonic above Nyquist
    if (first * cycles >= u.size / 2) continue;
    TableDft dft(u);
    double total = 0, above = 0;
    for (int b = 1; b < u.size / 2; ++b) {
      const double e = dft.power(b);
      total += e;
      if (b >= first * cycles) above += e;
    }
    EXPECT_LT(above / total, 1e-3) << "entry " << u.entry;
  }
}

// Below the chip rate the chip's output passes a low-pass before it is resampled; every pitched
// loop at key 96 (the top zones, the brightest content) still sounds at the chip's pitch.
TEST(WaveRom, BrightWavesKeepTheirPitchBelowTheChipRate) {
  const auto uses = wavrom::entryUses();
  auto chip = chipWithRom();
  for (const float rate : {22050.0f, 32000.0f}) {
    double worst = 0.0;
    std::string worstWhat;
    for (int wave = 0; wave < kFirstOneShotWave; ++wave) {
      if (!wavrom::isPitchedLoop(wave)) continue;
      chip->setHostRate(rate);
      std::array<Cdoc::OscSetup, 3> s{};
      s[0] = {true, wave, 63, 0, 0, 0};
      const int key = 96;
      chip->startVoice(0, key, false, true, false, false, s);
      const auto& reg = chip->oscillator(0, 0).reg;
      const double cycles = uses[waveZoneTable()[static_cast<std::size_t>(wave)][waveZone(key)]].cyclesPerTable();
      const double nominal = Cdoc::kChipRate * reg.frequencyWord / std::exp2(17 + reg.resolution) * cycles;
      std::vector<float> out;
      for (int i = 0; i < 512; ++i) chip->renderVoice(0);
      for (int i = 0; i < 8192; ++i) out.push_back(chip->renderVoice(0));
      const auto res = test::measurePitch(out, rate, nominal);
      const double off = res.onBorder ? 99.0 : std::fabs(test::cents(res.hz, nominal));
      if (off > worst) {
        worst = off;
        worstWhat = waveName(wave);
      }
    }
    std::printf("key 96 at %.0f Hz: every pitched loop within %.2f cents of the chip's pitch (worst %s)\n", rate, worst,
                worstWhat.c_str());
    EXPECT_LT(worst, 1.0) << worstWhat << " at " << rate;
  }
}

}  // namespace
}  // namespace korvo
