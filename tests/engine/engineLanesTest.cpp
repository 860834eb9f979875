// The lane render against the one-voice render: the same performance, bit for bit, at the host
// rates the lanes run at and whatever the block sizes, with MIDI items inside blocks, steals,
// releases that end, start delays, all notes off and accumulating output.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VSTaux.h"
#include "engineFixture.h"
#include "hostBlock.h"
#include "xorshiftRng.h"

using namespace korvo;
using namespace korvo::test;

namespace {

struct Outcome {
  std::vector<std::uint32_t> bits;  // every output sample of both channels
  int steals = 0, ends = 0;         // what the performance went through
  float peak = 0.0f;
};

// A seeded performance on a few factory sounds. The lane render is on or off, and when on uses
// the given instruction set.
Outcome perform(int rate, bool lanes, CvoiceLanes::InstructionSet set, std::uint32_t seed) {
  std::vector<std::uint8_t> bank;
  EXPECT_GT(readWholeFile(generatedDataFolder() + "/factory.kvl", bank), 0u);
  CplugMaster e(rate, testData());
  EXPECT_TRUE(e.soundMan().LoadBank(bank.data()));
  e.setLaneRender(lanes);
  e.lanes().select(set);
  Rng rng(seed);
  Outcome out;
  constexpr std::array<int, 8> kSizes{1, 7, 64, 65, 333, 512, 1024, 2048};
  // Pads, a lead, bells, plucked and drums: long and short tails, one-shot waves, saturation.
  constexpr std::array<int, 6> kPrograms{41, 20, 36, 86, 98, 122};
  std::vector<float> l, r;
  for (int block = 0; block < 160; ++block) {
    if (block % 32 == 0) e.soundMan().SelectProgram(kPrograms[static_cast<std::size_t>(rng.range(0, 5))]);
    const int frames = kSizes[static_cast<std::size_t>(rng.range(0, 7))];
    HostBlock host;
    const int items = rng.range(0, 4);
    for (int i = 0, at = 0; i < items; ++i) {
      at = std::min(frames - 1, at + rng.range(0, frames / 2));
      const int what = rng.range(0, 19);
      if (what < 9)
        host.add(at, 0x90, rng.range(30, 90), rng.range(1, 127));
      else if (what < 16)
        host.add(at, 0x80, rng.range(30, 90), 0);
      else if (what < 18)
        host.add(at, 0xE0, rng.range(0, 127), rng.range(0, 127));
      else if (what < 19)
        host.add(at, 0xB0, 1, rng.range(0, 127));
      else if (block % 5 == 0)
        host.add(at, 0xB0, 123, 0);
    }
    e.processEvents(host.list());
    // Now and then a note with a start delay, straight into the engine.
    if (rng.range(0, 9) == 0) {
      const NoteParams delayed{0, 0, 63, 0, -1, 0, static_cast<std::int16_t>(rng.range(1, 20))};
      e.noteEvent(rng.range(40, 80), 90, &delayed, Ckv_progMan::EditSlot(), e.soundMan().EditRecord());
    }
    const bool replace = rng.range(0, 3) != 0;
    l.assign(static_cast<std::size_t>(frames), 0.25f);
    r.assign(static_cast<std::size_t>(frames), -0.5f);
    const int before = e.activeVoiceCount();
    int waiting = 0;
    for (int v = 0; v < 8; ++v) waiting += e.voice(v).waitingNote >= 0;
    e.render(replace, l.data(), frames, r.data());
    out.steals += waiting;
    out.ends += before > e.activeVoiceCount();
    for (int i = 0; i < frames; ++i) {
      std::uint32_t a, b;
      std::memcpy(&a, &l[static_cast<std::size_t>(i)], 4);
      std::memcpy(&b, &r[static_cast<std::size_t>(i)], 4);
      out.bits.push_back(a);
      out.bits.push_back(b);
      out.peak = std::max(out.peak, std::abs(l[static_cast<std::size_t>(i)]));
    }
  }
  for (int v = 0; v < 8; ++v) {
    const auto view = e.voice(v);
    out.bits.push_back(view.active * 1000u + view.age + static_cast<std::uint32_t>(view.note));
  }
  return out;
}

std::size_t firstDifference(const Outcome& a, const Outcome& b) {
  if (a.bits.size() != b.bits.size()) return 0;
  for (std::size_t i = 0; i < a.bits.size(); ++i)
    if (a.bits[i] != b.bits[i]) return i;
  return a.bits.size();
}

class EngineLanes : public ::testing::TestWithParam<int> {};

TEST_P(EngineLanes, RenderTheOneVoicePathsSamplesBitForBit) {
  const int rate = GetParam();
  const Outcome reference =
      perform(rate, false, CvoiceLanes::InstructionSet::Baseline, 0xC0FFEEu + static_cast<unsigned>(rate));
  ASSERT_GT(reference.peak, 0.01f);
  EXPECT_GT(reference.steals, 0);
  EXPECT_GT(reference.ends, 0);
  for (auto set : {CvoiceLanes::InstructionSet::Baseline, CvoiceLanes::InstructionSet::Avx2}) {
    if (set != CvoiceLanes::InstructionSet::Baseline && CvoiceLanes::bestAvailable() != set)
      GTEST_SKIP() << "the baseline lanes match; this processor has no AVX2, so its lanes are not checked";
    const Outcome lanes = perform(rate, true, set, 0xC0FFEEu + static_cast<unsigned>(rate));
    const std::size_t at = firstDifference(reference, lanes);
    EXPECT_EQ(at, reference.bits.size()) << "rate " << rate << ", instruction set " << static_cast<int>(set)
                                         << ": first difference at word " << at << " of " << reference.bits.size();
  }
}

// From just above the chip rate (at most one chip step per sample, phase steps near 2^30) up;
// 32000 Hz is below the chip rate, where the engine keeps to the one-voice path.
INSTANTIATE_TEST_SUITE_P(Rates, EngineLanes, ::testing::Values(38318, 44100, 48000, 96000, 192000, 32000));

TEST(EngineLanesChoice, RunsOnlyWhereTheChipMakesOneStepPerSample) {
  Cdoc chip(8, 44100.0f);
  EXPECT_TRUE(CvoiceLanes::supports(chip));
  chip.setHostRate(38317.28125f);
  EXPECT_TRUE(CvoiceLanes::supports(chip));
  chip.setHostRate(32000.0f);
  EXPECT_FALSE(CvoiceLanes::supports(chip));
  CvoiceLanes lanes;
  lanes.select(CvoiceLanes::InstructionSet::Baseline);
  EXPECT_EQ(lanes.instructionSet(), CvoiceLanes::InstructionSet::Baseline);
  lanes.select(CvoiceLanes::InstructionSet::Avx2);
  EXPECT_EQ(lanes.instructionSet(), CvoiceLanes::bestAvailable());
}

}  // namespace
