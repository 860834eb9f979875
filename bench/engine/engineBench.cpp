// Cost of the whole engine per host sample: the render loop with its control ticks, chip,
// filter and amplifier, for one and for eight sounding voices.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "plugCore.h"
#include "settingsStore.h"

using namespace korvo;

namespace {

std::unique_ptr<CplugMaster> makeEngine(int rate) {
  EngineEnvironment env;
  const auto dir = std::filesystem::temp_directory_path() / "korvo-bench";
  std::filesystem::create_directories(dir);
  env.settingsStore = std::make_shared<FileSettingsStore>((dir / "settings.conf").string());
  env.useSystemDefaults = false;
  env.defaults = {dir.string(), dir.string(), dir.string()};
  env.dataFolderOverride = KORVO_BENCH_DATA_DIR;
  env.saveOnDestroy = false;
  return std::make_unique<CplugMaster>(rate, env);
}

void BM_EngineRender(benchmark::State& state) {
  const int voices = static_cast<int>(state.range(0));
  const int rate = static_cast<int>(state.range(1));
  auto engine = makeEngine(rate);
  // Slow release so the voices keep sounding for the whole run.
  ProgramRecord& p = *engine->soundMan().EditRecord();
  for (int k = 0; k < 4; ++k) p.words[word::kEnv[k] + word::kEnvT4] = 63;
  for (int v = 0; v < voices; ++v) engine->keyboardNote(0, 48 + 5 * v, 100);
  std::vector<float> l(512), r(512);
  for (auto _ : state) {
    engine->render(true, l.data(), 512, r.data());
    benchmark::DoNotOptimize(l.data());
  }
  if (engine->activeVoiceCount() != voices) state.SkipWithError("voices stopped sounding");
  state.SetItemsProcessed(state.iterations() * 512);
  state.counters["ns_per_sample"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 512, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// The release tail: every voice fading over several seconds, the levels sinking toward the
// denormal range. With denormals flushed this costs no more per sample than the held notes.
void BM_EngineReleaseTail(benchmark::State& state) {
  auto engine = makeEngine(44100);
  ProgramRecord& p = *engine->soundMan().EditRecord();
  for (int k = 0; k < 4; ++k) p.words[word::kEnv[k] + word::kEnvT4] = 63;
  p.words[word::kFilter + word::kFiltRes] = 31;
  for (int v = 0; v < 8; ++v) engine->keyboardNote(0, 48 + 5 * v, 100);
  std::vector<float> l(512), r(512);
  for (int i = 0; i < 100; ++i) engine->render(true, l.data(), 512, r.data());
  for (int v = 0; v < 8; ++v) engine->keyboardNote(0, 48 + 5 * v, 0);
  // Well into the release, where the signal is small.
  for (int i = 0; i < 400; ++i) engine->render(true, l.data(), 512, r.data());
  for (auto _ : state) {
    engine->render(true, l.data(), 512, r.data());
    benchmark::DoNotOptimize(l.data());
  }
  if (engine->activeVoiceCount() != 8) state.SkipWithError("the tail ended during the run");
  state.SetItemsProcessed(state.iterations() * 512);
  state.counters["ns_per_sample"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 512, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// Note starts and releases, where the engine reads the sound's words (one atomic load each, as
// the editor may be changing them): eight notes on, a short block, eight notes off, a short block.
void BM_EngineNoteStarts(benchmark::State& state) {
  auto engine = makeEngine(44100);
  std::vector<float> l(64), r(64);
  for (auto _ : state) {
    for (int v = 0; v < 8; ++v) engine->keyboardNote(0, 48 + 5 * v, 100);
    engine->render(true, l.data(), 64, r.data());
    for (int v = 0; v < 8; ++v) engine->keyboardNote(0, 48 + 5 * v, 0);
    engine->render(true, l.data(), 64, r.data());
    benchmark::DoNotOptimize(l.data());
  }
  state.SetItemsProcessed(state.iterations() * 8);
}
BENCHMARK(BM_EngineNoteStarts)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_EngineReleaseTail)->Unit(benchmark::kMicrosecond)->MinTime(0.2);

BENCHMARK(BM_EngineRender)->Args({1, 44100})->Args({8, 44100})->Args({8, 48000})->Args({8, 96000})->Unit(benchmark::kMicrosecond);

}  // namespace
