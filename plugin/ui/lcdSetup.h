// The LCD page set: the one place that says which sound parameters the editor shows, where on
// the 44 x 2 display, under which labels, with which ranges, hints and formatters.
//
// It lives beside the controller in the user-interface layer (not beside the sound record)
// because it configures the LCD control and builds the controller; the sound layer below
// cannot reach either.
#pragma once

#include <memory>
#include <string>

#include "lcdControl.h"

namespace korvo {

class Ckv_soundMan;
class TGraphKnobB;
class TsegLCD2;

inline constexpr int kLcdPageCount = 23;
inline constexpr int kLcdKnobCount = 10;

// Description text, name and base id of page i (0..22); empty text and -1 outside.
std::string lcdPageText(int page);
std::string lcdPageName(int page);
int lcdPageBaseId(int page);

// The editor's display look: frame, the five colours, colour split, unlit-segment brightness and
// filter values, and key capture.
void ApplyEditorLcdLook(TsegLCD2& lcd);

// Configures the LCD (44 x 2 cells, gaps 1 and 5, the segment font), creates the controller with
// 23 parsed, named and bound pages on the sound manager's program editor, connects the LCD's
// character events to it and, when `knobs` is given (kLcdKnobCount entries, slot order), places
// the knobs under the display. Without a sound manager nothing is done and null is returned.
std::unique_ptr<ClcdCtr> SetupLcdPages(TsegLCD2& lcd, Ckv_soundMan* soundMan, TGraphKnobB* const* knobs);

// Knob placement: spacing = (LCD width - 5 x cell width) div 5; knob j and knob j + 5 go to
// left = LCD left + CharLeft(5) + j x spacing + knob width div 2; tops are kept.
void PlaceLcdKnobs(const TsegLCD2& lcd, TGraphKnobB* const* knobs);

}  // namespace korvo
