// Shared parts of the LCD tests: the rows of a display (set up as the editor window's by
// lcdSetup's ApplyEditorLcdLook and ApplyEditorLcdLayout), and a recorder of the controller's
// events.
#pragma once

#include <string>
#include <tuple>
#include <vector>

#include "lcdControl.h"
#include "lcdSetup.h"
#include "segLCD2.h"

namespace korvo::test {

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
