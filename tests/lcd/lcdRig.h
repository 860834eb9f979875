// The editor's display panel as the page-set tests need it: a headless window with the panel at
// (8, 78), the LCD at (19, 64) in it, ten 40 x 40 knobs at tops 16 and 128, a sound manager and
// the controller built by the page set-up.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "graphKnobB.h"
#include "headlessHost.h"
#include "lcdSetup.h"
#include "lcdTestUtil.h"
#include "segLCD2.h"
#include "soundMan.h"
#include "soundText.h"

namespace korvo::test {

struct PageSetRig {
  HeadlessHost host{562, 350};
  Control* panel = nullptr;
  TsegLCD2* lcd = nullptr;
  std::array<TGraphKnobB*, kLcdKnobCount> knobs{};
  Ckv_soundMan soundMan;
  std::unique_ptr<ClcdCtr> ctr;
  EventLog log;

  PageSetRig() {
    panel = host.root().add<Control>();
    panel->setBounds(8, 78, 543, 185);
    lcd = panel->add<TsegLCD2>();
    ApplyEditorLcdLook(*lcd);
    lcd->setPosition(19, 64);
    for (int k = 0; k < kLcdKnobCount; ++k) {
      knobs[static_cast<std::size_t>(k)] = panel->add<TGraphKnobB>();
      knobs[static_cast<std::size_t>(k)]->setBounds(0, k < 5 ? 16 : 128, 40, 40);
      knobs[static_cast<std::size_t>(k)]->tag = k;
    }
    ctr = SetupLcdPages(*lcd, &soundMan, knobs.data());
    if (ctr) log.attach(*ctr);
  }

  ProgramRecord& sound() { return *soundMan.EditRecord(); }
  Ckv_progEdit& editor() { return soundMan.Editor(); }
  ClcdCtr_page& page(int i) { return *ctr->GetPage(i); }
  ClcdCtr_param& field(int page, const char* name) {
    ClcdCtr_param* f = ctr->GetPage(page)->FieldByName(name);
    EXPECT_NE(f, nullptr) << "page " << page << " field " << name;
    return *f;
  }
  // A point inside LCD cell (column, row), in window coordinates.
  Point cell(int column, int row) const {
    const Point p = lcd->toWindow({lcd->CharLeft(column) + 3, lcd->CharTop(row) + 3});
    return p;
  }
  void doubleClick(int column, int row) {
    host.move(cell(column, row));
    host.doubleClickAt(cell(column, row));
  }
};

// A finished sound (a swelling brass pad) that moves every page away from its fresh values.
inline const char* const kRealSoundText = R"(SOUND
NAME = "BRASS SWELL"
OSC1.OCT = 0
OSC1.SEMI = 0
OSC1.FINE = -4
OSC1.WAVE = BRASS
OSC1.MOD1.SEL = LFO1
OSC1.MOD1.AMT = 3
OSC1.MOD2.SEL = ENV3
OSC1.MOD2.AMT = -12
OSC2.OCT = 1
OSC2.SEMI = 7
OSC2.FINE = 5
OSC2.WAVE = SAW  2
OSC2.MOD1.SEL = LFO1
OSC2.MOD1.AMT = 3
OSC2.MOD2.SEL = WHEEL
OSC2.MOD2.AMT = 24
OSC3.OCT = -1
OSC3.SEMI = -12
OSC3.FINE = 31
OSC3.WAVE = STRING
OSC3.MOD1.SEL = KEYB
OSC3.MOD1.AMT = 63
DCA1.LEVEL = 58
DCA1.ENABLE = 1
DCA1.MOD1.SEL = VEL
DCA1.MOD1.AMT = 20
DCA2.LEVEL = 44
DCA2.ENABLE = 1
DCA2.MOD1.SEL = LFO2
DCA2.MOD1.AMT = -9
DCA3.LEVEL = 31
DCA3.ENABLE = 1
DCA3.MOD2.SEL = PRESS
DCA3.MOD2.AMT = 40
FILT.FREQ = 72
FILT.RES = 9
FILT.KEYBD = 32
FILT.MOD1.SEL = ENV2
FILT.MOD1.AMT = 45
FILT.MOD2.SEL = MAT1
FILT.MOD2.AMT = -17
DCA4.ENV4.AMT = 60
DCA4.PAN = -8
DCA4.AMOD.SEL = EXPRES
DCA4.AMOD.AMT = 30
DCA4.PMOD.SEL = LFO3
DCA4.PMOD.AMT = 25
LFO1.FREQ = 38
LFO1.RESET = 0
LFO1.HUMAN = 1
LFO1.WAVE = TRI
LFO1.L1 = 0
LFO1.DELAY = 40
LFO1.L2 = 63
LFO1.MOD.SEL = WHEEL
LFO1.MOD.AMT = 50
LFO2.FREQ = 12
LFO2.RESET = 33
LFO2.WAVE = SQR
LFO3.FREQ = 5
LFO3.WAVE = SAW
LFO4.FREQ = 60
LFO4.WAVE = NSE
ENV1.L1 = 63
ENV1.L2 = 48
ENV1.L3 = 40
ENV1.LV = 70
ENV1.T1V = 12
ENV1.T1 = 20
ENV1.T2 = 30
ENV1.T3 = 35
ENV1.T4 = 90
ENV1.TK = 8
ENV2.L1 = 55
ENV2.L2 = -20
ENV2.L3 = 10
ENV2.LV = 5
ENV2.T1 = 28
ENV2.T2 = 40
ENV2.T4 = 30
ENV3.L1 = -63
ENV3.L3 = 0
ENV3.T1 = 2
ENV4.L1 = 63
ENV4.L2 = 63
ENV4.L3 = 63
ENV4.T1 = 25
ENV4.T4 = 36
MAT1.MOD1.SEL = ENV2
MAT1.MOD1.AMT = 40
MAT1.MOD2.SEL = VEL
MAT1.MOD2.AMT = -25
MAT1.MOD4.SEL = WHEEL
MAT1.MOD4.AMT = 63
MAT2.MOD3.SEL = BREATH
MAT2.MOD3.AMT = 12
MAT3.MOD1.SEL = CHPRES
MAT3.MOD1.AMT = -1
MODE.SYNC = 1
MODE.MONO = 0
MODE.GLIDE = 14
MODE.REST.ENV = 1
MODE.CYC = 1
EMU.BRANGE = 12
EMU.BMODE = NEWH2
EMU.AMBUG = 0
EMU.SAT = 7
END
)";

inline ProgramRecord realSound() {
  std::vector<TextSound> sounds;
  std::string error;
  EXPECT_TRUE(parseSoundText(kRealSoundText, sounds, error)) << error;
  EXPECT_EQ(sounds.size(), 1u);
  return sounds.empty() ? makeInitRecord() : sounds[0].record;
}

}  // namespace korvo::test
