// Sets the LCD up as the editor's parameter display: the display's geometry and font, the
// controller with the 23 pages of the page set (plugin/sounds/lcdPages.h) parsed and bound to the
// program editor, and the knobs placed under the display.
//
// The page set itself is plain data in the sound layer, so that the sound's text form can take
// its parameter table from it; only what needs the controller and the LCD is here.
#pragma once

#include <memory>

#include "lcdControl.h"
#include "lcdPages.h"

namespace korvo {

class Ckv_soundMan;
class TGraphKnobB;
class TsegLCD2;

inline constexpr int kLcdKnobCount = 10;

// The editor's display look: frame, the five colours, colour split, unlit-segment brightness and
// filter values, and key capture.
void ApplyEditorLcdLook(TsegLCD2& lcd);

// The editor's display layout: 44 x 2 cells, gaps 1 and 5, and the segment font. False when the
// display refuses the font.
bool ApplyEditorLcdLayout(TsegLCD2& lcd);

// Lays the LCD out as ApplyEditorLcdLayout does, creates the controller with
// 23 parsed, named and bound pages on the sound manager's program editor, connects the LCD's
// character events to it and, when `knobs` is given (kLcdKnobCount entries, slot order), places
// the knobs under the display. Without a sound manager nothing is done and null is returned.
std::unique_ptr<ClcdCtr> SetupLcdPages(TsegLCD2& lcd, Ckv_soundMan* soundMan, TGraphKnobB* const* knobs);

// Knob placement: spacing = (LCD width - 5 x cell width) div 5; knob j and knob j + 5 go to
// left = LCD left + CharLeft(5) + j x spacing + knob width div 2; tops are kept.
void PlaceLcdKnobs(const TsegLCD2& lcd, TGraphKnobB* const* knobs);

}  // namespace korvo
