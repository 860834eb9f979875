// One iteration = one host sample (chip, filter, amplifier) or one control tick (envelope, LFO),
// so the reported time is the cost per sample or per tick.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "mod_amp.h"
#include "mod_doc.h"
#include "mod_env.h"
#include "mod_filter.h"
#include "mod_lfo.h"
#include "VSTaux.h"
#include "wavromDesign.h"

namespace korvo {
namespace {

void chipVoice(benchmark::State& state) {
  static const auto rom = wavrom::buildWaveRom();
  Cdoc chip(8);
  chip.loadRom(rom.data(), rom.size());
  chip.setHostRate(static_cast<float>(state.range(0)));
  std::array<Cdoc::OscSetup, 3> s{};
  s[0] = {true, 0, 63, 0, 0, 0};    // SAW
  s[1] = {true, 3, 50, 1, 0, 5};    // SQUARE an octave up
  s[2] = {true, 50, 40, -1, 7, 0};  // VOICE3
  chip.startVoice(0, static_cast<int>(state.range(1)), false, true, false, false, s);
  for (auto _ : state) benchmark::DoNotOptimize(chip.renderVoice(0));
  state.SetLabel("order " + std::to_string(chip.interpolationOrder(0)));
}
BENCHMARK(chipVoice)
    ->Args({44100, 60})
    ->Args({44100, 96})
    ->Args({48000, 60})
    ->Args({96000, 60})
    ->Args({22050, 60})
    ->Args({22050, 96});

void filter(benchmark::State& state) {
  CfilterKV f(44100.0f);
  f.setUp(120, 20, true);
  float x = 0.3f;
  int n = 0;
  for (auto _ : state) {
    x = -x;
    benchmark::DoNotOptimize(f.process(x));
    if (++n == 528) {  // a control tick's cutoff change now and then
      n = 0;
      f.applyCutoffModulation((n & 64) ? 10 : -10, false);
    }
  }
}
BENCHMARK(filter);

// A release tail: silence into a resonant filter whose state decays toward zero. Argument 1
// runs under the render's FPU state (denormals flushed), argument 0 without it; with the flush
// the tail must cost no more than the filter above.
void filterTail(benchmark::State& state) {
  CfilterKV f(44100.0f);
  f.setUp(120, 31, true);
  std::optional<ScopedRenderFpu> fpu;
  if (state.range(0) != 0) fpu.emplace();
  f.process(1.0f);
  for (auto _ : state) benchmark::DoNotOptimize(f.process(0.0f));
}
BENCHMARK(filterTail)->Arg(0)->Arg(1);

void amplifier(benchmark::State& state) {
  Camp a;
  a.setSampleRate(44100.0f);
  a.setSaturation(static_cast<int>(state.range(0)));
  a.update(200, 10, 1.2f);
  float x = 0.5f, l = 0, r = 0;
  for (auto _ : state) {
    x = -x;
    a.process(x, l, r);
    benchmark::DoNotOptimize(l);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(amplifier)->Arg(-1)->Arg(8);

void envelopeTick(benchmark::State& state) {
  Ckv_env e(83.54f);
  std::array<std::int16_t, 12> b{};
  b[Ckv_env::kL1] = 63;
  b[Ckv_env::kL2] = 40;
  b[Ckv_env::kL3] = 30;
  b[Ckv_env::kT1] = 30;
  b[Ckv_env::kT2] = 40;
  b[Ckv_env::kT3] = 40;
  b[Ckv_env::kT4] = 40;
  int n = 0;
  for (auto _ : state) {
    if (n-- <= 0) {
      e.start(b, 60, true, true, 100);  // cycling: keeps moving
      n = 2000;
    }
    benchmark::DoNotOptimize(e.tick());
  }
}
BENCHMARK(envelopeTick);

void lfoTick(benchmark::State& state) {
  Ckv_lfo lfo(83.54f);
  std::array<std::int16_t, 12> b{};
  b[Ckv_lfo::kFreq] = 40;
  b[Ckv_lfo::kWave] = 3;
  b[Ckv_lfo::kL1] = 10;
  b[Ckv_lfo::kDelay] = 20;
  b[Ckv_lfo::kL2] = 60;
  lfo.start(b, 0, true);
  for (auto _ : state) {
    lfo.setModulation(5);
    benchmark::DoNotOptimize(lfo.tick());
  }
}
BENCHMARK(lfoTick);

// Eight full voices (three oscillators, resonant filter, amplifier), one iteration = one host
// sample of all eight. Argument 0 runs each voice's chain in turn, as the engine's render loop
// does; argument 1 runs all chips, then all filters, then all amplifiers (same results, the sums
// keep the voice order). The filter is one long dependency chain per sample; only in the second
// form can the processor overlap the eight voices' chains.
void eightVoices(benchmark::State& state) {
  static const auto rom = wavrom::buildWaveRom();
  const bool phased = state.range(0) != 0;
  Cdoc chip(8);
  chip.loadRom(rom.data(), rom.size());
  chip.setHostRate(static_cast<float>(state.range(1)));
  std::vector<std::unique_ptr<CfilterKV>> filters;
  std::vector<std::unique_ptr<Camp>> amps;
  for (int v = 0; v < 8; ++v) {
    std::array<Cdoc::OscSetup, 3> s{};
    s[0] = {true, 0, 63, 0, 0, 0};
    s[1] = {true, 3, 50, 1, 0, 5};
    s[2] = {true, 50, 40, -1, 7, 0};
    chip.startVoice(v, 48 + 5 * v, false, true, false, false, s);
    filters.push_back(std::make_unique<CfilterKV>(static_cast<float>(state.range(1))));
    filters.back()->setUp(100 + 10 * v, 20, true);
    amps.push_back(std::make_unique<Camp>());
    amps.back()->setSampleRate(static_cast<float>(state.range(1)));
    amps.back()->update(200, 10 * v - 40, filters.back()->gainCompensation());
  }
  ScopedRenderFpu fpu;
  std::array<float, 8> x{};
  for (auto _ : state) {
    float l = 0.0f, r = 0.0f;
    if (phased) {
      for (int v = 0; v < 8; ++v) x[static_cast<std::size_t>(v)] = chip.renderVoice(v);
      for (int v = 0; v < 8; ++v)
        x[static_cast<std::size_t>(v)] = filters[static_cast<std::size_t>(v)]->process(x[static_cast<std::size_t>(v)]);
      for (int v = 0; v < 8; ++v) amps[static_cast<std::size_t>(v)]->process(x[static_cast<std::size_t>(v)], l, r);
    } else {
      for (int v = 0; v < 8; ++v)
        amps[static_cast<std::size_t>(v)]->process(filters[static_cast<std::size_t>(v)]->process(chip.renderVoice(v)),
                                                   l, r);
    }
    benchmark::DoNotOptimize(l);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(eightVoices)->Args({0, 44100})->Args({1, 44100})->Args({0, 96000})->Args({1, 96000});

// What the filter costs when eight voices run side by side in lanes (structure of arrays): the
// same operations in the same order per voice, so the output is bit for bit that of CfilterKV
// (checked here against eight filters), but the eight dependency chains run in vector lanes.
// A measure for a voice-bank render loop, not code the engine uses.
void filterLanes(benchmark::State& state) {
  constexpr int kN = 8;
  std::vector<std::unique_ptr<CfilterKV>> ref;
  alignas(32) float s[5][kN] = {}, g[kN], m[kN], k[kN], tg[kN], tm[kN], tk[kN];
  for (int v = 0; v < kN; ++v) {
    ref.push_back(std::make_unique<CfilterKV>(44100.0f));
    ref.back()->setUp(100 + 10 * v, 20, true);
    ref.back()->setUp(90 + 10 * v, 20, false);  // a glide in progress
    g[v] = ref.back()->currentGain();
    m[v] = ref.back()->currentPole();
    k[v] = ref.back()->currentFeedback();
  }
  // Targets as loadCoefficients leaves them (pre-multiplied by 1 - o).
  const float o = ref[0]->smoothing();
  for (int v = 0; v < kN; ++v) {
    const CfilterKV::Row& row = ref[static_cast<std::size_t>(v)]->row(90 + 10 * v);
    const float a = 20.0f / 31.0f;
    tg[v] = row.gain * (1.0f - o);
    tm[v] = row.pole * (1.0f - o);
    tk[v] = a * row.feedback * (1.0f - o);
  }
  ScopedRenderFpu fpu;
  auto step = [&](const float* x, float* y) {
    for (int v = 0; v < kN; ++v) {
      const float s0 = x[v] - k[v] * s[4][v];
      const float s1 = g[v] * (s[0][v] + s0) - m[v] * s[1][v];
      const float s2 = g[v] * (s[1][v] + s1) - m[v] * s[2][v];
      const float s3 = g[v] * (s[2][v] + s2) - m[v] * s[3][v];
      const float s4 = g[v] * (s[3][v] + s3) - m[v] * s[4][v];
      s[0][v] = s0;
      s[1][v] = s1;
      s[2][v] = s2;
      s[3][v] = s3;
      s[4][v] = s4;
      g[v] = g[v] * o + tg[v];
      m[v] = m[v] * o + tm[v];
      k[v] = k[v] * o + tk[v];
      y[v] = s4;
    }
  };
  alignas(32) float x[kN], y[kN];
  for (int i = 0; i < 4000; ++i) {  // the lanes must match the filters bit for bit
    for (int v = 0; v < kN; ++v) x[v] = ((i * (v + 3)) % 97 - 48) * (1.0f / 64.0f);
    step(x, y);
    for (int v = 0; v < kN; ++v)
      if (ref[static_cast<std::size_t>(v)]->process(x[v]) != y[v]) {
        state.SkipWithError("lanes differ from CfilterKV");
        return;
      }
  }
  for (int v = 0; v < kN; ++v) x[v] = 0.3f;
  for (auto _ : state) {
    for (int v = 0; v < kN; ++v) x[v] = -x[v];
    step(x, y);
    benchmark::DoNotOptimize(y);
  }
}
BENCHMARK(filterLanes);

}  // namespace
}  // namespace korvo
