#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "editorWindow.h"
#include "headlessHost.h"
#include "panelArt.h"
#include "plugInstance.h"
#include "settingsStore.h"

namespace korvo {
namespace {

class NoTimers : public TimerEventService {
 public:
  unsigned setEvent(unsigned, unsigned, std::function<void(unsigned)>) override { return 1; }
  void killEvent(unsigned) override {}
};

// The shipped editor window over an instance whose settings live in a temporary folder.
struct OpenEditor {
  NoTimers timers;
  std::unique_ptr<CplugInstance> instance;
  std::unique_ptr<EditorWindow> window;
  OpenEditor() {
    const auto dir = std::filesystem::temp_directory_path() / "korvo-editor-bench";
    std::filesystem::create_directories(dir);
    InstanceEnvironment env;
    env.settingsStore = std::make_shared<FileSettingsStore>((dir / "settings.conf").string());
    env.useSystemDefaults = false;
    env.defaults = {dir.string(), dir.string(), dir.string()};
    env.saveOnDestroy = false;
    instance = std::make_unique<CplugInstance>(44100, env);
    window = std::make_unique<EditorWindow>(nullptr, *instance, WindowHostFactory{}, &timers);
    window->show();
    host().frame();
  }
  HeadlessHost& host() { return static_cast<HeadlessHost&>(window->host()); }
  // One 35 ms period of the window's thread: the tick, then painting what it made dirty.
  void period() {
    window->form().postMessage(TplugEditForm::kMsgDisplayTick);
    window->idle();
    benchmark::DoNotOptimize(host().frame().pixels().data());
  }
};

void BM_EditorIdlePeriod(benchmark::State& state) {
  OpenEditor e;
  for (auto _ : state) e.period();
  // Share of one core at one period every 35 ms, in percent: time per period / 35 ms x 100.
  state.counters["core_percent"] =
      benchmark::Counter(35e-5, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EditorIdlePeriod);

// A timed message over the page for the whole run: the LCD redraws its row every period.
void BM_EditorPeriodWithMessage(benchmark::State& state) {
  OpenEditor e;
  int n = 0;
  for (auto _ : state) {
    if (e.window->form().Controller()->MessageActive() == 0)
      e.window->form().ShowStatusMessage(++n % 2 ? "** Program written **" : "** Write aborted **");
    e.period();
  }
}
BENCHMARK(BM_EditorPeriodWithMessage);

// A knob dragged by one step, the field written and drawn, and the repaint of the window.
void BM_EditorKnobTurnToPixels(benchmark::State& state) {
  OpenEditor e;
  TplugEditForm& f = e.window->form();
  f.Controller()->SelectPage(8);  // the filter page
  const Point c = f.knobs[0]->toWindow({20, 20});
  e.host().press(c);
  int y = 0, dir = 1;
  for (auto _ : state) {
    y += dir;
    if (y > 60 || y < -60) dir = -dir;
    e.host().move({c.x, c.y + y});
    benchmark::DoNotOptimize(e.host().frame().pixels().data());
  }
  e.host().release(c);
}
BENCHMARK(BM_EditorKnobTurnToPixels);

// The whole window repainted at a scale (range(0) percent): what a first show, an expose of
// everything or a page change costs at that size.
void BM_EditorFullRepaintAtScale(benchmark::State& state) {
  OpenEditor e;
  e.window->setScale(static_cast<int>(state.range(0)));
  e.host().frame();
  for (auto _ : state) {
    e.host().invalidate(e.window->form().clientRect());
    benchmark::DoNotOptimize(e.host().frame().pixels().data());
  }
}
BENCHMARK(BM_EditorFullRepaintAtScale)->Arg(100)->Arg(200)->Arg(300)->Unit(benchmark::kMillisecond);

// One display period at a scale, as BM_EditorIdlePeriod.
void BM_EditorIdlePeriodAtScale(benchmark::State& state) {
  OpenEditor e;
  e.window->setScale(static_cast<int>(state.range(0)));
  e.host().frame();
  for (auto _ : state) e.period();
}
BENCHMARK(BM_EditorIdlePeriodAtScale)->Arg(100)->Arg(200)->Arg(300);

// Changing the scale and showing the first picture: the artwork, the LCD glyphs and the fonts
// drawn anew for the size (from 100 % to range(0) and back each iteration, both counted).
void BM_EditorScaleChange(benchmark::State& state) {
  OpenEditor e;
  const int to = static_cast<int>(state.range(0));
  for (auto _ : state) {
    e.window->setScale(to);
    benchmark::DoNotOptimize(e.host().frame().pixels().data());
    e.window->setScale(100);
    benchmark::DoNotOptimize(e.host().frame().pixels().data());
  }
}
BENCHMARK(BM_EditorScaleChange)->Arg(200)->Arg(300)->Unit(benchmark::kMillisecond);

// One knob frame drawn for a scale: what each knob position first shown at that size costs.
void BM_KnobFrameAtScale(benchmark::State& state) {
  int frame = 0;
  for (auto _ : state) {
    Image img = artwork::drawPicture("knob2.gif", frame, static_cast<int>(state.range(0)));
    frame = (frame + 1) % artwork::kKnobFrames;
    benchmark::DoNotOptimize(img.pixels().data());
  }
}
BENCHMARK(BM_KnobFrameAtScale)->Arg(100)->Arg(200)->Arg(300)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvo
