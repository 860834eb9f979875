// The LCD page set: the one place that says which sound parameters the editor shows, where on
// the 44 x 2 display, under which labels, with which ranges, hints and formatters, and which
// word of the sound record each field edits. The sound's text form takes its parameter table
// from here, so a parameter is described once.
//
// The pages are plain data in the page-description language of the LCD controller (see
// plugin/ui/lcdControl.h); the controller parses them for their layout, and plugin/ui/lcdSetup
// binds them to the program editor.
#pragma once

#include <string>
#include <vector>

namespace korvo {

inline constexpr int kLcdPageCount = 23;

using LcdFormat = std::string (*)(int value);

// One value field of a page description ("{slot,NAME,width,min,max}") and how the page set
// binds it.
struct LcdPageField {
  std::string name;  // as the description names it ("MOD1.SEL")
  int slot = -1;     // its number: the knob that turns it (0..4 above the display, 5..9 below)
  int lo = 0;        // the range the description gives
  int hi = 0;
  int word = -1;  // the word it edits: its explicit id, else the page's base id + its value index
  bool explicitWord = false;
  LcdFormat format = nullptr;  // null: the value as a number
  int menuRows = 0;            // value-menu rows, 0 = default
  bool numbered = true;        // value-menu captions carry the value number
  const char* hint = "";
};

struct LcdPage {
  std::string name;                  // "OSC1 Pitch"
  std::string label;                 // the first label ("OSC1", "FILT"): the block its fields belong to
  std::string text;                  // the description
  int baseId = -1;                   // -1 when every field has an explicit word
  bool overview = false;             // gathers fields that other pages own (the two OSC overviews)
  std::vector<LcdPageField> fields;  // the value fields in text order
};

// The 23 pages in display order.
const std::vector<LcdPage>& lcdPages();

// Description text, name and base id of page i (0..22); empty text and -1 outside.
std::string lcdPageText(int page);
std::string lcdPageName(int page);
int lcdPageBaseId(int page);

}  // namespace korvo
