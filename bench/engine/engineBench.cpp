// Cost of the whole engine per host sample: the render loop with its control ticks, chip,
// filter and amplifier. Every render benchmark runs with the one-voice render (lanes=0), the
// lane render on the baseline instruction set (lanes=1, SSE2 on x86) and the lane render on the
// widest set the processor has (lanes=2, AVX2 where there is), so that their ratios come from
// one run; the instruction set used is in the benchmark's label.
#include <benchmark/benchmark.h>

#include <array>
#include <filesystem>
#include <memory>
#include <vector>

#include "VSTaux.h"
#include "plugCore.h"

using namespace korvo;

namespace {

std::vector<std::uint8_t> dataFile(const char* name) {
  std::vector<std::uint8_t> bytes;
  readWholeFile(std::string(KORVO_BENCH_DATA_DIR) + "/" + name, bytes);
  return bytes;
}

std::unique_ptr<CplugMaster> makeEngine(int rate, std::int64_t lanes, bool factory = false) {
  static const std::vector<std::uint8_t> rom = dataFile("wavrom.bin"), backup = dataFile("Korvo_backup.dat");
  auto engine = std::make_unique<CplugMaster>(rate, EngineData{rom, backup});
  engine->setLaneRender(lanes != 0);
  engine->lanes().select(lanes == 1 ? CvoiceLanes::InstructionSet::Baseline : CvoiceLanes::bestAvailable());
  if (factory) {
    std::vector<std::uint8_t> bank;
    if (readWholeFile(std::string(KORVO_BENCH_DATA_DIR) + "/factory.kvl", bank) >= 69652u)
      engine->soundMan().LoadBank(bank.data());
  }
  return engine;
}

void label(benchmark::State& state, CplugMaster& engine) {
  state.SetLabel(engine.laneRender() ? engine.lanes().instructionSetName() : "one voice at a time");
}

void perSample(benchmark::State& state, std::int64_t samplesPerIteration) {
  state.SetItemsProcessed(state.iterations() * samplesPerIteration);
  state.counters["ns_per_sample"] = benchmark::Counter(static_cast<double>(state.iterations() * samplesPerIteration),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Eight notes of a chord, as the timing runs through the host play them.
void holdChord(CplugMaster& engine, int voices) {
  for (int v = 0; v < voices; ++v) engine.keyboardNote(0, 48 + 5 * v, 100);
}

// Args: voices, sample rate, lanes.
void BM_EngineRender(benchmark::State& state) {
  const int voices = static_cast<int>(state.range(0));
  auto engine = makeEngine(static_cast<int>(state.range(1)), state.range(2));
  // Slow release so the voices keep sounding for the whole run.
  ProgramRecord& p = *engine->soundMan().EditRecord();
  for (int k = 0; k < 4; ++k) p.words[word::kEnv[k] + word::kEnvT4] = 63;
  holdChord(*engine, voices);
  std::vector<float> l(512), r(512);
  for (auto _ : state) {
    engine->render(true, l.data(), 512, r.data());
    benchmark::DoNotOptimize(l.data());
  }
  if (engine->activeVoiceCount() != voices) state.SkipWithError("voices stopped sounding");
  label(state, *engine);
  perSample(state, 512);
}

// No voice sounding: what an idle instance costs. Args: lanes.
void BM_EngineSilent(benchmark::State& state) {
  auto engine = makeEngine(44100, state.range(0));
  std::vector<float> l(512), r(512);
  for (auto _ : state) {
    engine->render(true, l.data(), 512, r.data());
    benchmark::DoNotOptimize(l.data());
  }
  label(state, *engine);
  perSample(state, 512);
}

// The release tail: eight voices fading with resonance, their levels sinking toward the denormal
// range. Each measured stretch starts 2 s into the release and lasts 1 s; between stretches the
// chord is struck and released again with the clock stopped, so the tail never runs out during
// the measurement. Args: lanes.
void BM_EngineReleaseTail(benchmark::State& state) {
  auto engine = makeEngine(44100, state.range(0));
  ProgramRecord& p = *engine->soundMan().EditRecord();
  for (int k = 0; k < 4; ++k) p.words[word::kEnv[k] + word::kEnvT4] = 63;
  p.words[word::kFilter + word::kFiltRes] = 31;
  std::vector<float> l(512), r(512);
  constexpr int kBlocksPerSecond = 44100 / 512;
  int left = 0;
  bool ended = false;
  for (auto _ : state) {
    if (left == 0) {
      state.PauseTiming();
      engine->panic();
      holdChord(*engine, 8);
      for (int i = 0; i < kBlocksPerSecond; ++i) engine->render(true, l.data(), 512, r.data());
      for (int v = 0; v < 8; ++v) engine->keyboardNote(0, 48 + 5 * v, 0);
      for (int i = 0; i < 2 * kBlocksPerSecond; ++i) engine->render(true, l.data(), 512, r.data());
      left = kBlocksPerSecond;
      state.ResumeTiming();
    }
    engine->render(true, l.data(), 512, r.data());
    benchmark::DoNotOptimize(l.data());
    --left;
    ended = ended || engine->activeVoiceCount() != 8;
  }
  if (ended) state.SkipWithError("the tail ended during the run");
  label(state, *engine);
  perSample(state, 512);
}

// A factory sound held as an eight-note chord (after its attack), per host sample. Args:
// program, sample rate, lanes. Program 41 (SPACE PAD) is the slowest of the factory sounds.
void BM_FactoryProgram(benchmark::State& state) {
  auto engine = makeEngine(static_cast<int>(state.range(1)), state.range(2), true);
  engine->soundMan().SelectProgram(static_cast<int>(state.range(0)));
  holdChord(*engine, 8);
  std::vector<float> l(512), r(512);
  for (int i = 0; i < 40; ++i) engine->render(true, l.data(), 512, r.data());
  for (auto _ : state) {
    engine->render(true, l.data(), 512, r.data());
    benchmark::DoNotOptimize(l.data());
  }
  label(state, *engine);
  perSample(state, 512);
}

// Every sound of one factory group (the folders of data/sounds), each in its own engine. One
// iteration plays the same performance on each: an eight-note chord struck, held for 20 blocks
// and released for 10 (0.35 s at 44.1 kHz), so that sounds which decay on their own cost the
// same work in every variant. Args: group, lanes.
struct Group {
  int first, count;
};
constexpr std::array<Group, 12> kGroups{{{0, 16},     // bass
                                         {16, 16},    // lead
                                         {32, 16},    // pad
                                         {48, 8},     // strings
                                         {56, 8},     // brass
                                         {64, 12},    // keys
                                         {76, 8},     // organ
                                         {84, 12},    // bells
                                         {96, 8},     // plucked
                                         {104, 8},    // voice
                                         {112, 8},    // fx
                                         {120, 8}}};  // drums
constexpr std::array<const char*, 12> kGroupNames{"bass",  "lead",  "pad",     "strings", "brass", "keys",
                                                  "organ", "bells", "plucked", "voice",   "fx",    "drums"};

void BM_FactoryGroup(benchmark::State& state) {
  const Group g = kGroups[static_cast<std::size_t>(state.range(0))];
  const std::int64_t lanes = state.range(1);
  std::vector<std::unique_ptr<CplugMaster>> engines;
  std::vector<float> l(512), r(512);
  for (int p = g.first; p < g.first + g.count; ++p) {
    engines.push_back(makeEngine(44100, lanes, true));
    engines.back()->soundMan().SelectProgram(p);
  }
  constexpr int kHeld = 20, kReleased = 10;
  for (auto _ : state) {
    for (auto& e : engines) {
      e->panic();
      holdChord(*e, 8);
      for (int b = 0; b < kHeld + kReleased; ++b) {
        if (b == kHeld)
          for (int v = 0; v < 8; ++v) e->keyboardNote(0, 48 + 5 * v, 0);
        e->render(true, l.data(), 512, r.data());
        benchmark::DoNotOptimize(l.data());
      }
    }
  }
  state.SetLabel(std::string(kGroupNames[static_cast<std::size_t>(state.range(0))]) + ", " +
                 (lanes ? engines.front()->lanes().instructionSetName() : "one voice at a time"));
  perSample(state, std::int64_t{512} * (kHeld + kReleased) * g.count);
}

// Note starts and releases, where the engine reads the sound's words (one atomic load each, as
// the editor may be changing them): eight notes on, a short block, eight notes off, a short block.
void BM_EngineNoteStarts(benchmark::State& state) {
  auto engine = makeEngine(44100, 2);
  std::vector<float> l(64), r(64);
  for (auto _ : state) {
    holdChord(*engine, 8);
    engine->render(true, l.data(), 64, r.data());
    for (int v = 0; v < 8; ++v) engine->keyboardNote(0, 48 + 5 * v, 0);
    engine->render(true, l.data(), 64, r.data());
    benchmark::DoNotOptimize(l.data());
  }
  state.SetItemsProcessed(state.iterations() * 8);
}

void renderArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"voices", "rate", "lanes"});
  for (int rate : {44100, 48000, 96000})
    for (int voices : {1, 8})
      for (int lanes : {0, 1, 2}) b->Args({voices, rate, lanes});
}
void programArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"program", "rate", "lanes"});
  for (int rate : {44100, 48000, 96000})
    for (int lanes : {0, 1, 2}) b->Args({41, rate, lanes});
}
void groupArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"group", "lanes"});
  for (int g = 0; g < static_cast<int>(kGroups.size()); ++g)
    for (int lanes : {0, 1, 2}) b->Args({g, lanes});
}

BENCHMARK(BM_EngineNoteStarts)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineSilent)->ArgName("lanes")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineReleaseTail)->ArgName("lanes")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->MinTime(0.2);
BENCHMARK(BM_EngineRender)->Apply(renderArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FactoryProgram)->Apply(programArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FactoryGroup)->Apply(groupArgs)->Unit(benchmark::kMicrosecond);

}  // namespace
