// The per-sample paths of the chip, the filter and the amplifier are tuned for speed; their
// output must stay the same bit for bit. Each test drives a module through a fixed, varied
// scenario (every interpolation order, host rates below and above the chip rate, AM, sync,
// one-shot waves, halts from zero bytes, retunes, modulation at control ticks, resonance and
// cutoff sweeps, saturation) under the render's floating-point state and compares a hash of
// every output bit, and of the state left behind, with the hash the straightforward code gave.
//
// The inputs are generated with integers only; the hashes still rest on the few library calls
// the modules make when they set up (exp and pow for tables and smoothing constants) and on
// SSE float arithmetic. When a deliberate change of the sound moves a hash, re-derive it and say
// why in the commit.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "VSTaux.h"
#include "docWaveParams.h"
#include "mod_amp.h"
#include "mod_doc.h"
#include "mod_filter.h"
#include "xorshiftRng.h"

namespace korvo {
namespace {

// FNV-1a over 32-bit words.
class Hash {
 public:
  void add(std::uint32_t w) {
    for (int i = 0; i < 4; ++i) {
      h_ ^= (w >> (8 * i)) & 0xFFu;
      h_ *= 0x100000001B3ull;
    }
  }
  void add(float f) {
    std::uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    add(w);
  }
  void addInt(std::int64_t v) { add(static_cast<std::uint32_t>(v)); }
  std::uint64_t value() const { return h_; }

 private:
  std::uint64_t h_ = 0xCBF29CE484222325ull;
};

// The scenarios' only source of variety.
using test::Rng;

// Bytes 1..255 with a zero now and then, so that free-running waves halt once in a while and
// one-shot waves end.
std::vector<std::uint8_t> scenarioRom() {
  std::vector<std::uint8_t> rom(Cdoc::kRomSize);
  Rng rng(0x5EEDu);
  for (auto& b : rom) {
    const std::uint32_t r = rng.next();
    b = (r & 0xFFF) == 0 ? 0 : static_cast<std::uint8_t>(1 + (r >> 16) % 255);
  }
  return rom;
}

Cdoc::OscSetup randomOsc(Rng& rng, bool enabled) {
  Cdoc::OscSetup s;
  s.enabled = enabled;
  // One wave in four from the one-shot range.
  s.wave = rng.chance(25) ? rng.range(kFirstOneShotWave, kWaveCount - 1) : rng.range(0, kFirstOneShotWave - 1);
  s.level = rng.range(0, 63);
  s.octave = rng.range(-3, 5);
  s.semitone = rng.range(-12, 12);
  s.fine = rng.range(-40, 40);
  return s;
}

// What a scenario went through, so that it cannot quietly turn into silence.
struct Coverage {
  unsigned orders = 0;  // bit n: interpolation order n was used
  long nonZero = 0;
  long halted = 0;
  long amVoices = 0;
};

std::uint64_t chipScenario(float hostRate, std::uint32_t seed, Coverage& cover) {
  static const std::vector<std::uint8_t> rom = scenarioRom();
  Cdoc chip(8, hostRate);
  chip.loadRom(rom.data(), rom.size());
  Rng rng(seed);
  Hash h;
  ScopedRenderFpu fpu;
  constexpr int kTick = 528;
  for (int block = 0; block < 12; ++block) {
    // Start or retune some voices, halt others, reset one now and then.
    for (int v = 0; v < 8; ++v) {
      const int what = rng.range(0, 9);
      if (what <= 3) {
        std::array<Cdoc::OscSetup, 3> s{};
        for (int k = 0; k < 3; ++k) s[static_cast<std::size_t>(k)] = randomOsc(rng, rng.chance(80));
        const int note = rng.range(0, 127);
        const bool amBug = rng.chance(50), restart = rng.chance(50);
        const int mode = rng.range(0, 3);  // plain, AM, sync, both
        chip.startVoice(v, note, amBug, restart, mode & 1, (mode & 2) != 0, s);
      } else if (what == 4) {
        chip.retuneVoice(v, rng.range(0, 127), rng.range(-64, 64));
      } else if (what == 5) {
        chip.haltVoice(v);
      } else if (what == 6 && rng.chance(30)) {
        chip.resetVoice(v);
      }
    }
    for (int tick = 0; tick < 8; ++tick) {
      for (int v = 0; v < 8; ++v) {
        for (int k = 0; k < 3; ++k)
          if (rng.chance(40)) chip.modulateOscillator(v, k, rng.range(-80, 80), rng.range(-3000, 6000));
        chip.updateInterpolationOrder(v);
        h.addInt(chip.interpolationOrder(v));
        cover.orders |= 1u << chip.interpolationOrder(v);
        cover.amVoices += chip.amFlag(v);
      }
      for (int i = 0; i < kTick; ++i)
        for (int v = 0; v < 8; ++v) {
          const float y = chip.renderVoice(v);
          cover.nonZero += y != 0.0f;
          h.add(y);
        }
    }
    for (int v = 0; v < 8; ++v)
      for (int k = 0; k < 3; ++k) {
        const Cdoc::Oscillator& o = chip.oscillator(v, k);
        h.addInt(o.running);
        h.addInt(o.reg.halted);
        cover.halted += o.reg.halted && o.running;
        h.addInt(o.reg.accumulator);
        h.addInt(o.reg.previousAccumulator);
        h.addInt(o.reg.increment);
        h.add(o.reg.gain);
      }
  }
  return h.value();
}

std::uint64_t filterScenario(float rate, std::uint32_t seed) {
  CfilterKV f(rate);
  Rng rng(seed);
  Hash h;
  ScopedRenderFpu fpu;
  f.setUp(rng.range(0, 255), rng.range(0, 31), true);
  float x = 0.0f;
  for (int tick = 0; tick < 400; ++tick) {
    switch (rng.range(0, 9)) {
      case 0: f.setUp(rng.range(-20, 280), rng.range(-5, 40), rng.chance(50)); break;
      case 1: f.setResonance(rng.range(0, 31)); break;
      case 2: f.resetState(); break;
      default: f.applyCutoffModulation(rng.range(-200, 200), tick == 0); break;
    }
    h.add(f.gainCompensation());
    const int length = rng.range(1, 600);
    const int kind = rng.range(0, 3);  // noise, square, silence (a decaying tail), impulse
    for (int i = 0; i < length; ++i) {
      switch (kind) {
        case 0:
          x = static_cast<float>(static_cast<std::int32_t>(rng.next() >> 8) - (1 << 23)) * (1.0f / 4194304.0f);
          break;
        case 1: x = (i / 37) % 2 ? 0.8f : -0.8f; break;
        case 2: x = 0.0f; break;
        default: x = i == 0 ? 1.0f : 0.0f; break;
      }
      h.add(f.process(x));
    }
    h.add(f.currentGain());
    h.add(f.currentPole());
    h.add(f.currentFeedback());
  }
  return h.value();
}

std::uint64_t ampScenario(float rate, std::uint32_t seed) {
  Camp a;
  a.setSampleRate(rate);
  Rng rng(seed);
  Hash h;
  ScopedRenderFpu fpu;
  float l = 0.0f, r = 0.0f;
  for (int tick = 0; tick < 300; ++tick) {
    switch (rng.range(0, 9)) {
      case 0: a.setSaturation(rng.range(-2, 18)); break;
      case 1: a.setSmoothingMode(rng.range(0, 1)); break;
      case 2: a.fadeOut(); break;
      default: a.update(rng.range(-10, 270), rng.range(-70, 70), static_cast<float>(rng.range(1, 40)) / 16.0f); break;
    }
    const int length = rng.range(1, 600);
    for (int i = 0; i < length; ++i) {
      const float x = static_cast<float>(static_cast<std::int32_t>(rng.next() >> 8) - (1 << 23)) * (1.0f / 2097152.0f);
      if (i % 64 == 0) l = r = 0.0f;
      a.process(x, l, r);
      h.add(l);
      h.add(r);
    }
    h.addInt(a.silent());
  }
  return h.value();
}

struct Expected {
  float rate;
  std::uint32_t seed;
  std::uint64_t hash;
};

TEST(BitExact, ChipVoices) {
  // The rows below the chip rate (22050, 8000) hash the band-limited output; the others are the
  // chip's own, unchanged since the straightforward code.
  const Expected rows[] = {
      {22050.0f, 11u, 0x066EA8765974F601ull},        {44100.0f, 12u, 0x9800A86693C3064Eull},
      {48000.0f, 13u, 0x0ABC74FF60E56A33ull},        {96000.0f, 14u, 0xEA11710057497F91ull},
      {Cdoc::kChipRate, 15u, 0x8956E3724C4042DDull}, {8000.0f, 16u, 0x675CBCC70CE70B04ull},
      {44100.0f, 17u, 0xEEC6E8D2A8108F84ull},        {192000.0f, 18u, 0xD70AA0919C25989Aull},
  };
  Coverage cover;
  for (const Expected& e : rows)
    EXPECT_EQ(chipScenario(e.rate, e.seed, cover), e.hash) << std::hex << "rate " << e.rate << " seed " << e.seed;
  EXPECT_EQ(cover.orders, 0x1Eu);  // orders 1 to 4
  EXPECT_GT(cover.nonZero, 1000000);
  EXPECT_GT(cover.halted, 20);
  EXPECT_GT(cover.amVoices, 100);
}

TEST(BitExact, Filter) {
  const Expected rows[] = {
      {22050.0f, 21u, 0xA015E6FE042F6AF1ull}, {44100.0f, 22u, 0xF9ADE142DEA140B5ull},
      {48000.0f, 23u, 0x4633685D402871CEull}, {96000.0f, 24u, 0xD7EB2E0198BE1597ull},
      {44100.0f, 25u, 0xD5D3403D042C5C55ull},
  };
  for (const Expected& e : rows)
    EXPECT_EQ(filterScenario(e.rate, e.seed), e.hash) << std::hex << "rate " << e.rate << " seed " << e.seed;
}

TEST(BitExact, Amplifier) {
  const Expected rows[] = {
      {44100.0f, 31u, 0xAB8A22EAA1C36AE3ull},
      {96000.0f, 32u, 0xB9C8B25EA1941694ull},
      {22050.0f, 33u, 0x57C2A4EF0FE4298Full},
  };
  for (const Expected& e : rows)
    EXPECT_EQ(ampScenario(e.rate, e.seed), e.hash) << std::hex << "rate " << e.rate << " seed " << e.seed;
}

}  // namespace
}  // namespace korvo
