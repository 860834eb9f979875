// Shared set-up of the LCD tests: a display configured as the editor window's, and a recorder
// of the controller's events.
#pragma once

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "lcdControl.h"
#include "lcdFont.h"
#include "lcdSetup.h"
#include "segLCD2.h"

namespace korvo::test {

// The window's stored LCD properties (the page set-up adds size, gaps and font).
inline void applyEditorLook(TsegLCD2& lcd) { ApplyEditorLcdLook(lcd); }

// A 44 x 2 display with the segment font, for controller tests that parse their own pages.
inline void makeEditorLcd(TsegLCD2& lcd) {
  applyEditorLook(lcd);
  lcd.SetCharTable(lcdCharTable, lcdCharCount, lcdCharWidth);
  lcd.SetSegmentMap(lcdSegmentMap, lcdSegmentCount, lcdFirstAttrSegment, lcdCellHeight, lcdCellWidth);
  lcd.setWidthChar(44);
  lcd.setHeightChar(2);
  lcd.setCharGapX(1);
  lcd.setCharGapY(5);
}

// The characters of one LCD row (a cell holding code 0 reads as a blank).
inline std::string lcdRow(const TsegLCD2& lcd, int row) {
  std::string s;
  for (int c = 0; c < lcd.widthChar(); ++c) {
    const auto ch = lcd.cell(c, row).ch;
    s += ch == 0 ? ' ' : static_cast<char>(ch);
  }
  return s;
}

struct EventLog {
  std::vector<std::tuple<int, int, int>> ranges;  // slot, min, max
  std::vector<std::pair<int, int>> values;        // slot, value
  std::vector<std::pair<MouseButton, int>> presses;
  std::vector<int> moves;
  int afterDraws = 0;

  void attach(ClcdCtr& c) {
    c.onKnobRange = [this](ClcdCtr&, int s, int lo, int hi) { ranges.emplace_back(s, lo, hi); };
    c.onKnobValue = [this](ClcdCtr&, int s, int v) { values.emplace_back(s, v); };
    c.onAfterDraw = [this](ClcdCtr&) { ++afterDraws; };
    c.onFieldMouseDown = [this](ClcdCtr&, MouseButton b, int o) { presses.emplace_back(b, o); };
    c.onFieldMouseMove = [this](ClcdCtr&, int o) { moves.push_back(o); };
  }
  void clear() { *this = EventLog{}; }
};

}  // namespace korvo::test
