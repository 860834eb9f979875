// The lane kernel against the modules it stands in for: two identical sets of chip, filters and
// amplifiers go through the same seeded changes; one set renders voice by voice, the other in
// lanes, and every lane's contribution and the state left behind must match bit for bit. The
// voices are kept out of step (different phases, orders, AM, sync, one-shot waves, zero bytes,
// saturation, voices left out), which the engine-level test reaches only now and then.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "VSTaux.h"
#include "docWaveParams.h"
#include "mod_amp.h"
#include "mod_doc.h"
#include "mod_filter.h"
#include "voiceLanes.h"
#include "xorshiftRng.h"

namespace korvo {
namespace {

using test::Rng;

std::uint32_t bits(float f) {
  std::uint32_t w;
  std::memcpy(&w, &f, sizeof w);
  return w;
}

struct Voices {
  explicit Voices(float rate, const std::vector<std::uint8_t>& rom) : chip(8, rate) {
    chip.loadRom(rom.data(), rom.size());
    for (int v = 0; v < 8; ++v) {
      filter[static_cast<std::size_t>(v)] = std::make_unique<CfilterKV>(rate);
      amp[static_cast<std::size_t>(v)].setSampleRate(rate);
    }
  }
  Cdoc chip;
  std::array<std::unique_ptr<CfilterKV>, 8> filter;
  std::array<Camp, 8> amp;
};

// The same change to both sets.
void change(Rng& rng, Voices& a, Voices& b) {
  for (int v = 0; v < 8; ++v) {
    const std::size_t n = static_cast<std::size_t>(v);
    const int what = rng.range(0, 9);
    if (what <= 2) {
      std::array<Cdoc::OscSetup, 3> s{};
      for (auto& o : s) {
        o.enabled = rng.range(0, 9) < 8;
        o.wave =
            rng.range(0, 3) == 0 ? rng.range(kFirstOneShotWave, kWaveCount - 1) : rng.range(0, kFirstOneShotWave - 1);
        o.level = rng.range(0, 63);
        o.octave = rng.range(-3, 5);
        o.semitone = rng.range(-12, 12);
        o.fine = rng.range(-31, 31);
      }
      const int note = rng.range(0, 127), mode = rng.range(0, 3), bug = rng.range(0, 1), restart = rng.range(0, 1);
      for (Voices* x : {&a, &b}) x->chip.startVoice(v, note, bug, restart, mode & 1, (mode & 2) != 0, s);
    }
    for (int k = 0; k < 3; ++k) {
      const int level = rng.range(-80, 80), pitch = rng.range(-3000, 6000);
      if (rng.range(0, 1))
        for (Voices* x : {&a, &b}) x->chip.modulateOscillator(v, k, level, pitch);
    }
    const int cutoff = rng.range(-40, 300), res = rng.range(0, 31), immediate = rng.range(0, 1);
    const int sat = rng.range(-2, 16), smoothing = rng.range(0, 1), volume = rng.range(0, 255),
              pan = rng.range(-63, 63);
    const float gainFactor = 1.0f + static_cast<float>(rng.range(0, 90)) / 100.0f;
    const bool setUp = rng.range(0, 5) == 0, reset = rng.range(0, 5) == 0;
    for (Voices* x : {&a, &b}) {
      x->chip.updateInterpolationOrder(v);
      if (setUp)
        x->filter[n]->setUp(cutoff, res, immediate);
      else
        x->filter[n]->applyCutoffModulation(cutoff - 128, immediate);
      if (reset) x->filter[n]->resetState();
      x->amp[n].setSaturation(sat);
      x->amp[n].setSmoothingMode(smoothing);
      x->amp[n].update(volume, pan, gainFactor);
    }
    // A voice rendered alone for a sample or two falls out of phase with the others.
    const int alone = rng.range(0, 9) == 0 ? rng.range(1, 2) : 0;
    for (int i = 0; i < alone; ++i)
      for (Voices* x : {&a, &b}) {
        float l = 0.0f, r = 0.0f;
        x->amp[n].process(x->filter[n]->process(x->chip.renderVoice(v)), l, r);
      }
  }
}

// Returns the number of words compared; fails the test at the first difference.
long compareScenario(float rate, CvoiceLanes::InstructionSet set, std::uint32_t seed, unsigned& ordersSeen) {
  std::vector<std::uint8_t> rom(Cdoc::kRomSize);
  Rng romRng(0x5EEDu);
  for (auto& b : rom) b = romRng.range(0, 4095) == 0 ? 0 : static_cast<std::uint8_t>(romRng.range(1, 255));
  Voices a(rate, rom), b(rate, rom);
  CvoiceLanes lanes;
  lanes.select(set);
  Rng rng(seed);
  ScopedRenderFpu fpu;
  long compared = 0;
  for (int round = 0; round < 100; ++round) {
    change(rng, a, b);
    const unsigned running = static_cast<unsigned>(rng.range(1, 255));
    for (int v = 0; v < 8; ++v)
      if (running >> v & 1) {
        ordersSeen |= 1u << a.chip.interpolationOrder(v);
        lanes.load(v, b.chip, v, *b.filter[static_cast<std::size_t>(v)], b.amp[static_cast<std::size_t>(v)]);
      }
    for (int left = rng.range(1, 300); left > 0;) {
      unsigned finished = 0;
      const int got = lanes.run(b.chip, running, 0, left, finished);
      EXPECT_EQ(finished, 0u);
      for (int j = 0; j < got; ++j)
        for (int v = 0; v < 8; ++v) {
          if (!(running >> v & 1)) continue;
          const std::size_t n = static_cast<std::size_t>(v);
          float l = 0.0f, r = 0.0f;
          a.amp[n].process(a.filter[n]->process(a.chip.renderVoice(v)), l, r);
          if (bits(l) != bits(0.0f + lanes.left(j, v)) || bits(r) != bits(0.0f + lanes.right(j, v))) {
            ADD_FAILURE() << "round " << round << ", sample " << j << ", voice " << v;
            return compared;
          }
          compared += 2;
        }
      left -= got;
    }
    for (int v = 0; v < 8; ++v)
      if (running >> v & 1)
        lanes.store(v, b.chip, v, *b.filter[static_cast<std::size_t>(v)], b.amp[static_cast<std::size_t>(v)]);
    for (int v = 0; v < 8; ++v) {
      const std::size_t n = static_cast<std::size_t>(v);
      for (int k = 0; k < 3; ++k) {
        const auto& x = a.chip.oscillator(v, k).reg;
        const auto& y = b.chip.oscillator(v, k).reg;
        EXPECT_EQ(x.halted, y.halted);
        EXPECT_EQ(x.accumulator, y.accumulator);
        EXPECT_EQ(x.previousAccumulator, y.previousAccumulator);
        EXPECT_EQ(bits(x.gain), bits(y.gain));
      }
      EXPECT_EQ(bits(a.filter[n]->currentGain()), bits(b.filter[n]->currentGain()));
      EXPECT_EQ(bits(a.filter[n]->currentFeedback()), bits(b.filter[n]->currentFeedback()));
      EXPECT_EQ(bits(a.amp[n].leftGain()), bits(b.amp[n].leftGain()));
      EXPECT_EQ(bits(a.amp[n].rightGain()), bits(b.amp[n].rightGain()));
    }
  }
  return compared;
}

void expectLanesMatchVoices(CvoiceLanes::InstructionSet set) {
  for (float rate : {38317.28125f, 44100.0f, 48000.0f, 96000.0f}) {
    unsigned orders = 0;
    EXPECT_GT(compareScenario(rate, set, 0xABCDu + static_cast<std::uint32_t>(rate), orders), 50000);
    EXPECT_EQ(orders & 0x1Eu, 0x1Eu) << "orders 1 to 4 all used at " << rate;
  }
}

TEST(VoiceLanes, EveryLaneIsItsVoicesModulesBitForBit) {
  expectLanesMatchVoices(CvoiceLanes::InstructionSet::Baseline);
}

TEST(VoiceLanes, EveryAvx2LaneIsItsVoicesModulesBitForBit) {
  if (CvoiceLanes::bestAvailable() != CvoiceLanes::InstructionSet::Avx2)
    GTEST_SKIP() << "this processor has no AVX2: the AVX2 lanes are not checked here";
  expectLanesMatchVoices(CvoiceLanes::InstructionSet::Avx2);
}

// A lane whose amplifier falls silent ends the run after that sample, and says which lanes.
TEST(VoiceLanes, ARunStopsAfterTheFirstSampleAtWhichACandidateIsSilent) {
  std::vector<std::uint8_t> rom(Cdoc::kRomSize, 200);
  Voices a(44100.0f, rom), b(44100.0f, rom);
  ScopedRenderFpu fpu;
  std::array<Cdoc::OscSetup, 3> s{};
  s[0] = {true, 2, 63, 0, 0, 0};
  for (Voices* x : {&a, &b})
    for (int v = 0; v < 2; ++v) {
      x->chip.startVoice(v, 60, false, true, false, false, s);
      x->amp[static_cast<std::size_t>(v)].update(200, 0, 1.0f);
    }
  const auto load = [&](CvoiceLanes& lanes) {
    for (int v = 0; v < 2; ++v)
      lanes.load(v, b.chip, v, *b.filter[static_cast<std::size_t>(v)], b.amp[static_cast<std::size_t>(v)]);
  };
  const auto store = [&](CvoiceLanes& lanes) {
    for (int v = 0; v < 2; ++v)
      lanes.store(v, b.chip, v, *b.filter[static_cast<std::size_t>(v)], b.amp[static_cast<std::size_t>(v)]);
  };
  const auto scalarSample = [&] {
    for (int v = 0; v < 2; ++v) {
      float l = 0.0f, r = 0.0f;
      a.amp[static_cast<std::size_t>(v)].process(a.filter[static_cast<std::size_t>(v)]->process(a.chip.renderVoice(v)),
                                                 l, r);
    }
  };
  CvoiceLanes lanes;
  load(lanes);
  unsigned finished = 0;
  EXPECT_EQ(lanes.run(b.chip, 3u, 3u, CvoiceLanes::kChunk, finished), CvoiceLanes::kChunk) << "both still sounding";
  EXPECT_EQ(finished, 0u);
  store(lanes);
  for (int i = 0; i < CvoiceLanes::kChunk; ++i) scalarSample();
  for (Voices* x : {&a, &b}) x->amp[1].update(0, 0, 1.0f);  // voice 1 fades to the floor
  int samples = 0;
  load(lanes);
  while (finished == 0 && samples < 44100) samples += lanes.run(b.chip, 3u, 3u, CvoiceLanes::kChunk, finished);
  store(lanes);
  EXPECT_EQ(finished, 2u);
  int expected = 0;
  do {
    scalarSample();
    ++expected;
  } while (!a.amp[1].silent() && expected < 44100);
  EXPECT_EQ(samples, expected) << "the run ends at the first silent sample, not later";
  EXPECT_GT(samples, 10);
  EXPECT_EQ(bits(a.amp[1].leftGain()), bits(b.amp[1].leftGain()));
}

}  // namespace
}  // namespace korvo
