// The LCD controller: turns the segment LCD into the instrument's parameter display.
//
// A page is written in a small page-description language that places fixed labels and value
// fields on the character grid:
//   outside brackets  ","       ends the row (next row, column 0)
//                     digits    advance the column by their value ("12" = 12, "1 2" = 1 + 2)
//                     others    ignored (the blanks between items)
//   "[" label "]"                                  a fixed label
//   "[" label "{" number "," NAME "," width "," min "," max "}" "]"
//                                                  a label and a value of `width` cells
// A field takes label length + width + 1 columns, so one blank cell separates neighbours.
// `number` is the knob slot (0..4 above the display, 5..9 below) and the key of the page's
// slot map; NAME lets the page set-up find the field; min and max are the value range.
//
// Parsing runs twice: a first pass validates brackets and braces and finds the highest slot
// number, so that malformed text leaves the page as it was; the second pass lays the fields out.
//
// Every value field reads and writes one parameter word through a parameter editor; its id is
// an explicit id or the page's base id + the field's value index (the running count of fields
// with a complete spec). The controller reports what the window mirrors (knob ranges and
// values, repaints, field presses and hovers) through five events.
//
// Everything here runs on the window's thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "control.h"
#include "menu.h"

namespace korvo {

class CparamEditorBase;
class TsegLCD2;
class ClcdCtr;
class ClcdCtr_page;

// Turns a value into a field's text: (page index or -1, field ordinal, text out, value).
// Whatever data a formatter needs travels in its closure.
using LcdFormatter = std::function<void(int pageIndex, int ordinal, std::string& text, int value)>;

// Wraps a plain value-to-text function as a field formatter.
LcdFormatter lcdFormatter(std::string (*format)(int value));

// Column advances, widths and slot numbers of hostile page text are capped so that the layout
// arithmetic cannot overflow and a slot map cannot grow without bound.
inline constexpr int kLcdMaxColumn = 1 << 16;
inline constexpr int kLcdMaxWidth = 4096;
inline constexpr int kLcdMaxSlot = 255;
// A value menu lists at most this many values (the widest range of the pages has 145), so a
// field with a 32-bit range cannot make the menu unbounded.
inline constexpr int kLcdMaxMenuValues = 1024;

// One field of a page: a label and, when its spec is complete, a value.
class ClcdCtr_param {
 public:
  ClcdCtr_param(ClcdCtr_page* page, int ordinal);
  ClcdCtr_param(const ClcdCtr_param&) = delete;
  ClcdCtr_param& operator=(const ClcdCtr_param&) = delete;

  // Back to the blank state a field has before it is parsed (showIndexInMenu is kept).
  void Reset();

  int Ordinal() const { return ordinal_; }
  ClcdCtr_page* Page() const { return page_; }

  int FieldNumber() const { return fieldNumber_; }
  // Takes n unless another field of the page holds it (then -1); keeps the slot map in step.
  void SetFieldNumber(int n);
  int ValueIndex() const { return valueIndex_; }

  int Width() const { return width_; }
  // Values <= 0 become 0; a longer value text is cut to the new width.
  void SetWidth(int w);
  int Min() const { return min_; }
  int Max() const { return max_; }
  // Keep min <= max and re-choose the default formatter unless a custom one is installed.
  void SetMin(int v);
  void SetMax(int v);
  int Clamp(int v) const { return v < min_ ? min_ : (v > max_ ? max_ : v); }

  int Value() const { return value_; }
  // Formats v (when a formatter is installed) into valueText, then stores it.
  void SetValue(int v);
  // An empty formatter restores the default one and clears customFormatter.
  void SetFormatter(LcdFormatter formatter);
  bool HasFormatter() const { return static_cast<bool>(formatter_); }
  bool CustomFormatter() const { return customFormatter_; }
  // The installed formatter's text for v; empty without a formatter.
  std::string Format(int v) const;

  // explicitId when >= 0, else page base id + valueIndex when valueIndex >= 0, else -1.
  int ParamId() const;
  // The field's own editor, else its page's.
  CparamEditorBase* Editor() const;

  // Cells the field covers when drawn: label and value.
  int Length() const { return static_cast<int>(label.size()) + width_; }

  std::string name;
  std::string hint;
  std::string label;
  std::string valueText;
  int column = 0;
  int row = 0;
  bool showIndexInMenu = true;
  int menuRows = 0;  // entries per value-menu column; <= 0 means 16
  CparamEditorBase* editor = nullptr;
  int explicitId = -1;
  bool highlighted = false;

 private:
  friend class ClcdCtr_page;
  void chooseDefaultFormatter();

  ClcdCtr_page* page_;
  int ordinal_;
  int fieldNumber_ = -1;
  int valueIndex_ = -1;
  int width_ = 0;
  int min_ = 0;
  int max_ = 0;
  int value_ = 0;
  LcdFormatter formatter_;
  bool customFormatter_ = false;
};

// One page: its fields in text order and the map from knob slots to fields.
class ClcdCtr_page {
 public:
  ClcdCtr_page(ClcdCtr* controller, int index);
  ClcdCtr_page(const ClcdCtr_page&) = delete;
  ClcdCtr_page& operator=(const ClcdCtr_page&) = delete;

  int Index() const { return index_; }
  ClcdCtr* Controller() const { return controller_; }
  TsegLCD2* Lcd() const;

  // Lays the page out from its description; false (page unchanged) when the text is malformed
  // or has no field. Clears name, editor and baseId, which the caller sets afterwards.
  bool Parse(std::string_view text);

  ClcdCtr_param* FieldByName(std::string_view fieldName) const;
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  ClcdCtr_param* Field(int ordinal) const;
  int SlotCount() const { return static_cast<int>(slots_.size()); }
  // Field ordinal of a slot, -1 when free or out of range.
  int SlotOrdinal(int slot) const;
  ClcdCtr_param* FieldOfSlot(int slot) const;

  std::string name;
  CparamEditorBase* editor = nullptr;
  int baseId = -1;

 private:
  friend class ClcdCtr_param;
  void fill(ClcdCtr_param& f, std::string_view content, int& column, int row, int& valueCounter);

  ClcdCtr* controller_;
  int index_;
  std::vector<std::unique_ptr<ClcdCtr_param>> fields_;
  std::vector<int> slots_;
};

class ClcdCtr {
 public:
  // The LCD is not owned and must outlive the controller.
  explicit ClcdCtr(TsegLCD2* lcd);
  ~ClcdCtr();
  ClcdCtr(const ClcdCtr&) = delete;
  ClcdCtr& operator=(const ClcdCtr&) = delete;

  TsegLCD2* Lcd() const { return lcd_; }

  // Pages --------------------------------------------------------------------------------------
  // Grows with empty pages or frees pages from the end; n <= 0 frees all.
  void SetPageCount(int n);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  ClcdCtr_page* GetPage(int i) const;
  // Ignores an index without a page.
  void SelectPage(int i);
  int PageIndex() const { return pageIndex_; }
  ClcdCtr_page* Page() const { return page_; }

  // Display ------------------------------------------------------------------------------------
  void SetKnobRanges();
  void ReadValues(bool draw);
  void DrawPage();
  void DrawField(ClcdCtr_param& field);
  // First field of the page covering the cell, or null.
  ClcdCtr_param* FieldAt(int column, int row) const;
  int GetFieldValue(int ordinal) const;
  // Clamps, writes through the editor, formats and draws.
  void SetFieldValue(int ordinal, int v);
  // A knob of the window was turned.
  void KnobChanged(int slot, int v);

  // Timed messages over the page -----------------------------------------------------------------
  // A negative column centres its line.
  void ShowMessage(int column0, int column1, std::string_view line0, std::string_view line1, int ticks);
  void EndMessage();
  // The 35 ms display tick.
  void Tick();
  int MessageLock() const { return messageLock_; }
  int MessageTicks() const { return messageTicks_; }
  int MessageActive() const { return messageActive_; }

  // Mouse on the LCD, in cells --------------------------------------------------------------------
  // Connects the LCD's character events to the four handlers below.
  void ConnectLcdEvents();
  void MouseDownChar(MouseButton button, ShiftState shift, int column, int row);
  void MouseUpChar(MouseButton button, ShiftState shift, int column, int row);
  void MouseMoveChar(ShiftState shift, int column, int row);
  void DblClickChar(int column, int row);
  // A wheel turned over a cell: the value field there moves by a step a notch (ten with Shift),
  // as its knob would. True when a field took it.
  bool WheelChar(int delta, ShiftState shift, int column, int row);
  bool MouseIsDown() const { return mouseDown_; }
  ClcdCtr_param* MouseField() const;
  int MouseColumn() const { return mouseColumn_; }
  int MouseRow() const { return mouseRow_; }

  // Value menu ------------------------------------------------------------------------------------
  // Fills the value menu for a field and pops it up under the clicked cell (through the LCD's
  // window; without one the menu is only built).
  void OpenValueMenu(ClcdCtr_param& field, int column);
  // What choosing an entry with this tag does.
  void ValueMenuChoose(int tag);
  PopupMenu& ValueMenu() { return valueMenu_; }
  // The field the value menu was last filled for (null when gone).
  ClcdCtr_param* ValueMenuField() const;
  // Internal entry names ("ItemDef", "Item<n>", "Empty<n>", "" for separators), one per entry.
  const std::vector<std::string>& ValueMenuNames() const { return valueMenuNames_; }
  Point SavedCursor() const { return savedCursor_; }

  int refreshEnabled = 0;
  int knobCount = 0;
  bool restoreCursor = true;

  // Events; each receives the controller as sender --------------------------------------------------
  std::function<void(ClcdCtr&, int slot, int min, int max)> onKnobRange;
  std::function<void(ClcdCtr&, int slot, int value)> onKnobValue;
  std::function<void(ClcdCtr&)> onAfterDraw;
  std::function<void(ClcdCtr&, MouseButton, int ordinal)> onFieldMouseDown;
  std::function<void(ClcdCtr&, int ordinal)> onFieldMouseMove;

 private:
  void readField(ClcdCtr_param& f, bool draw);

  TsegLCD2* lcd_;
  std::vector<std::unique_ptr<ClcdCtr_page>> pages_;
  int pageIndex_ = -1;
  ClcdCtr_page* page_ = nullptr;
  int messageLock_ = 0;
  int messageTicks_ = 0;
  int messageActive_ = 0;
  bool mouseDown_ = false;
  int mouseOrdinal_ = -1;
  int mouseColumn_ = 0;
  int mouseRow_ = 0;
  bool lcdConnected_ = false;
  PopupMenu valueMenu_;
  std::vector<std::string> valueMenuNames_;
  // The value menu's tag: the field it was opened for, kept as page and ordinal so that a page
  // parsed or freed meanwhile cannot leave it dangling.
  int valueMenuPage_ = -1;
  int valueMenuOrdinal_ = -1;
  Point savedCursor_{};
};

}  // namespace korvo
