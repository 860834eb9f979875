#include <benchmark/benchmark.h>

#include <memory>

#include "lcdSetup.h"
#include "segLCD2.h"
#include "soundMan.h"

namespace korvo {
namespace {

struct Display {
  TsegLCD2 lcd;
  Ckv_soundMan soundMan;
  std::unique_ptr<ClcdCtr> ctr = SetupLcdPages(lcd, &soundMan, nullptr);
  Display() { ctr->refreshEnabled = 1; }
};

void BM_SelectPageAndTick(benchmark::State& state) {
  Display d;
  int page = 0;
  for (auto _ : state) {
    d.ctr->SelectPage(page);
    d.ctr->Tick();
    page = (page + 1) % kLcdPageCount;
  }
}
BENCHMARK(BM_SelectPageAndTick);

void BM_KnobTurnAndTick(benchmark::State& state) {
  Display d;
  d.ctr->SelectPage(14);
  int v = 0;
  for (auto _ : state) {
    d.ctr->KnobChanged(3, v);
    d.ctr->Tick();
    v = (v + 1) & 127;
  }
}
BENCHMARK(BM_KnobTurnAndTick);

void BM_SourceValueMenu(benchmark::State& state) {
  Display d;
  d.ctr->SelectPage(18);
  ClcdCtr_param& f = *d.ctr->Page()->FieldByName("MOD1.SEL");
  for (auto _ : state) {
    d.ctr->OpenValueMenu(f, f.column);  // no window: the menu is built, not shown
    benchmark::DoNotOptimize(d.ctr->ValueMenu().size());
  }
}
BENCHMARK(BM_SourceValueMenu);

}  // namespace
}  // namespace korvo
