// The control tick's arithmetic: the same sound bit for bit wherever nothing overflows, and
// defined results (the sanitizer build stops on signed overflow) where a sound drives its sums
// far beyond 32 bits.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "VSTaux.h"
#include "engineFixture.h"

using namespace korvo;
using namespace korvo::test;

namespace {

std::uint32_t fnv(std::uint32_t h, const std::vector<float>& samples) {
  for (float s : samples) {
    std::uint32_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    h = (h ^ bits) * 16777619u;
  }
  return h;
}

// Every factory sound, a chord held and released, both channels hashed.
std::uint32_t factoryHash(int rate, int firstProgram, int step) {
  std::vector<std::uint8_t> bank;
  EXPECT_GT(readWholeFile(generatedDataFolder() + "/factory.kvl", bank), 0u);
  CplugMaster e(rate, testData());
  EXPECT_TRUE(e.soundMan().LoadBank(bank.data()));
  std::uint32_t h = 2166136261u;
  std::vector<float> l(512), r(512);
  for (int p = firstProgram; p < 128; p += step) {
    e.reset();
    e.soundMan().SelectProgram(p);
    for (int n : {36, 55, 64, 71, 84}) e.keyboardNote(0, n, 40 + n);
    for (int b = 0; b < 20; ++b) {
      if (b == 12)
        for (int n : {36, 55, 64, 71, 84}) e.keyboardNote(0, n, 0);
      e.render(true, l.data(), 512, r.data());
      h = fnv(fnv(h, l), r);
    }
  }
  return h;
}

// Hashes first recorded with the straightforward 32-bit code, which overflows nowhere in these
// sounds; recorded again, with the code unchanged, when the factory levels were trimmed.
TEST(EngineArithmetic, FactorySoundsRenderBitForBit) {
  EXPECT_EQ(factoryHash(44100, 0, 1), 1098266157u);
  EXPECT_EQ(factoryHash(48000, 1, 3), 3149525853u);
  EXPECT_EQ(factoryHash(96000, 2, 5), 736130121u);
}

// MAT1 = MAT1 x 63 + KEYB x 63 with MOD4 off at -63 doubles every control tick; after about 17
// ticks it has left 32 bits, and every destination it feeds goes with it.
TEST(EngineArithmetic, ASelfFeedingMatrixSaturatesInsteadOfOverflowing) {
  CplugMaster e(44100, testData());
  ProgramRecord& p = *e.soundMan().EditRecord();
  auto set = [&](int index, int value) { p.words[index] = static_cast<std::int16_t>(value); };
  constexpr int kMat1 = 13, kKeyb = 10, kOff = -1;
  set(word::kMat[0] + 0, kMat1);
  set(word::kMat[0] + 1, 63);
  set(word::kMat[0] + 2, kKeyb);
  set(word::kMat[0] + 3, 63);
  set(word::kMat[0] + 6, kOff);
  set(word::kMat[0] + 7, -63);
  for (int i = 0; i < 3; ++i) {
    set(word::kOsc[i] + word::kOscMod1Sel, kMat1);
    set(word::kOsc[i] + word::kOscMod1Amt, i == 1 ? -63 : 63);
    set(word::kOsc[i] + word::kOscMod2Sel, kMat1);
    set(word::kOsc[i] + word::kOscMod2Amt, 63);
    set(word::kDca[i] + word::kDcaMod1Sel, kMat1);
    set(word::kDca[i] + word::kDcaMod1Amt, 63);
    set(word::kDca[i] + word::kDcaMod2Sel, kMat1);
    set(word::kDca[i] + word::kDcaMod2Amt, 63);
  }
  for (int k = 0; k < 4; ++k) {
    set(word::kLfo[k] + word::kLfoModSel, kMat1);
    set(word::kLfo[k] + word::kLfoModAmt, 63);
  }
  set(word::kFilter + word::kFiltMod1Sel, kMat1);
  set(word::kFilter + word::kFiltMod1Amt, 63);
  set(word::kFilter + word::kFiltMod2Sel, kMat1);
  set(word::kFilter + word::kFiltMod2Amt, 63);
  set(word::kDca4 + word::kDca4AmodSel, kMat1);
  set(word::kDca4 + word::kDca4AmodAmt, 63);
  set(word::kDca4 + word::kDca4PmodSel, kMat1);
  set(word::kDca4 + word::kDca4PmodAmt, -63);
  // MAT2 multiplies the runaway MAT1 by itself through its amplitude pair.
  set(word::kMat[1] + 0, kMat1);
  set(word::kMat[1] + 1, 63);
  set(word::kMat[1] + 6, kMat1);
  set(word::kMat[1] + 7, 63);
  e.controller(0, CMidiParser::kPitchBendIndex, 8191);
  e.keyboardNote(0, 127, 127);
  std::vector<float> l(4096), r(4096);
  for (int b = 0; b < 40; ++b) {  // 3.7 s, about 300 control ticks
    e.render(true, l.data(), 4096, r.data());
    for (float s : l) ASSERT_TRUE(std::isfinite(s));
  }
  EXPECT_EQ(e.activeVoiceCount(), 1) << "the voice plays on";
}

}  // namespace
