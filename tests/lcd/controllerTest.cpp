// The controller: page selection, knob events, drawing, messages and ticks, mouse handling and
// the value menu, on pages of its own over a real display inside a headless window.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "headlessHost.h"
#include "lcdControl.h"
#include "lcdTestUtil.h"
#include "progEdit.h"
#include "segLCD2.h"

namespace korvo {
namespace {

using test::EventLog;
using test::lcdRow;

// A headless window holding the display at (5, 7), a program editor on its own record and a
// controller with one parsed page.
struct Rig {
  HeadlessHost host{600, 100};
  TsegLCD2* lcd = nullptr;
  ProgramRecord record = makeInitRecord();
  Ckv_progEdit editor;
  std::unique_ptr<ClcdCtr> ctr;
  EventLog log;

  explicit Rig(const char* pageText, int baseId = 10) {
    lcd = host.root().add<TsegLCD2>();
    ApplyEditorLcdLook(*lcd);
    ApplyEditorLcdLayout(*lcd);
    lcd->setPosition(5, 7);
    host.setWindowOrigin({100, 200});
    for (auto& w : record.words) w = 0;
    editor.Attach(&record);
    ctr = std::make_unique<ClcdCtr>(lcd);
    ctr->knobCount = 10;
    ctr->SetPageCount(1);
    ClcdCtr_page& p = *ctr->GetPage(0);
    EXPECT_TRUE(p.Parse(pageText));
    p.editor = &editor;
    p.baseId = baseId;
    ctr->ConnectLcdEvents();
    log.attach(*ctr);
  }
  ClcdCtr_page& page() { return *ctr->GetPage(0); }
  ClcdCtr_param& field(const char* name) { return *page().FieldByName(name); }
  // A point inside cell (column, row), in window coordinates.
  Point cell(int column, int row) const {
    return {lcd->left() + lcd->CharLeft(column) + 3, lcd->top() + lcd->CharTop(row) + 3};
  }
  void doubleClick(int column, int row) {
    host.move(cell(column, row));  // the display reports the cell of the last move
    host.doubleClickAt(cell(column, row));
  }
};

const char* const kPage = "[A={0,A,3,-63,+63}] [B={2,B,2,0,63}] [T={4,T,3,0,1}],[LBL] [W={3,W,6,-1,144}]";

TEST(LcdController, SelectPageIgnoresIndexesWithoutPage) {
  Rig r(kPage);
  for (int i : {-1, 1, 5}) {
    r.ctr->SelectPage(i);
    EXPECT_EQ(r.ctr->PageIndex(), -1);
    EXPECT_EQ(r.ctr->Page(), nullptr);
  }
  EXPECT_TRUE(r.log.ranges.empty());
  EXPECT_TRUE(r.log.values.empty());
  EXPECT_EQ(r.log.afterDraws, 0);
}

TEST(LcdController, SelectPageReportsRangesValuesAndDraws) {
  Rig r(kPage);
  r.record.words[10] = -5;   // A
  r.record.words[11] = 7;    // B
  r.record.words[12] = 1;    // T
  r.record.words[13] = 200;  // W: shown as read, not clamped
  r.ctr->SelectPage(0);
  EXPECT_EQ(r.ctr->PageIndex(), 0);
  const std::vector<std::tuple<int, int, int>> ranges = {{0, -63, 63}, {1, 0, 0}, {2, 0, 63}, {3, -1, 144}, {4, 0, 1},
                                                         {5, 0, 0},    {6, 0, 0}, {7, 0, 0},  {8, 0, 0},    {9, 0, 0}};
  EXPECT_EQ(r.log.ranges, ranges);
  const std::vector<std::pair<int, int>> values = {{0, -5}, {2, 7}, {3, 200}, {4, 1}};
  EXPECT_EQ(r.log.values, values);
  EXPECT_EQ(lcdRow(*r.lcd, 0), "A=-05 B=07 T= ON                            ");
  EXPECT_EQ(lcdRow(*r.lcd, 1), "LBL W=+00200                                ");
  EXPECT_EQ(r.log.afterDraws, 1);
  EXPECT_FALSE(r.editor.Modified());  // reading changes nothing
}

TEST(LcdController, PageCountGrowsAndShrinks) {
  Rig r(kPage);
  r.ctr->SetPageCount(4);
  EXPECT_EQ(r.ctr->PageCount(), 4);
  EXPECT_EQ(r.ctr->GetPage(3)->Index(), 3);
  EXPECT_EQ(r.ctr->GetPage(0)->FieldCount(), 5);  // existing pages are kept
  r.ctr->SelectPage(3);
  r.ctr->SetPageCount(2);  // the selected page goes away
  EXPECT_EQ(r.ctr->Page(), nullptr);
  EXPECT_EQ(r.ctr->PageIndex(), -1);
  r.ctr->SetPageCount(-1);
  EXPECT_EQ(r.ctr->PageCount(), 0);
  EXPECT_EQ(r.ctr->GetPage(0), nullptr);
}

TEST(LcdController, KnobChangeClampsWritesAndDraws) {
  Rig r(kPage);
  r.ctr->SelectPage(0);
  r.log.clear();
  struct Case {
    int slot, turnedTo, stored;
    const char* row0;
  };
  const Case cases[] = {
      {0, 100, 63, "A=+63 B=00 T=OFF"}, {0, -64, -63, "A=-63 B=00 T=OFF"}, {2, 12, 12, "A=-63 B=12 T=OFF"},
      {2, -1, 0, "A=-63 B=00 T=OFF"},   {4, 5, 1, "A=-63 B=00 T= ON"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row0);
    r.ctr->KnobChanged(c.slot, c.turnedTo);
    ClcdCtr_param* f = r.page().FieldOfSlot(c.slot);
    EXPECT_EQ(r.record.words[r.page().baseId + f->ValueIndex()], c.stored);
    EXPECT_EQ(f->Value(), c.stored);
    EXPECT_EQ(lcdRow(*r.lcd, 0).substr(0, 16), c.row0);
  }
  EXPECT_TRUE(r.editor.Modified());
  EXPECT_TRUE(r.log.values.empty());  // the knob already shows its own value
  // A free slot or one beyond the map changes nothing.
  const ProgramRecord before = r.record;
  r.ctr->KnobChanged(1, 9);
  r.ctr->KnobChanged(9, 9);
  r.ctr->KnobChanged(-1, 9);
  EXPECT_TRUE(recordsEqual(before, r.record));
}

TEST(LcdController, FieldEditorAndExplicitIdOverrideThePage) {
  Rig r(kPage);
  ProgramRecord other{};
  Ckv_progEdit otherEditor;
  otherEditor.Attach(&other);
  r.field("B").editor = &otherEditor;
  r.field("B").explicitId = 200;
  other.words[200] = 42;
  r.ctr->SelectPage(0);
  EXPECT_EQ(r.ctr->GetFieldValue(r.field("B").Ordinal()), 42);
  EXPECT_EQ(lcdRow(*r.lcd, 0).substr(6, 4), "B=42");
  r.ctr->KnobChanged(2, 50);
  EXPECT_EQ(other.words[200], 50);
  EXPECT_EQ(r.record.words[11], 0);
  EXPECT_FALSE(r.editor.Modified());
  EXPECT_TRUE(otherEditor.Modified());
}

TEST(LcdController, FieldAtFindsTheCoveringField) {
  Rig r(kPage);
  r.ctr->SelectPage(0);
  struct Case {
    int column, row;
    const char* name;  // null: no field
  };
  const Case cases[] = {{0, 0, "A"},      {4, 0, "A"},      {5, 0, nullptr}, {6, 0, "B"},
                        {9, 0, "B"},      {10, 0, nullptr}, {11, 0, "T"},    {15, 0, "T"},
                        {16, 0, nullptr}, {0, 1, ""},       {3, 1, nullptr}, {4, 1, "W"},
                        {11, 1, "W"},     {12, 1, nullptr}, {0, 2, nullptr}, {-1, 0, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.column) + "," + std::to_string(c.row));
    const ClcdCtr_param* f = r.ctr->FieldAt(c.column, c.row);
    if (c.name == nullptr) {
      EXPECT_EQ(f, nullptr);
    } else {
      ASSERT_NE(f, nullptr);
      EXPECT_EQ(f->name, c.name);
    }
  }
  ClcdCtr empty(nullptr);
  EXPECT_EQ(empty.FieldAt(0, 0), nullptr);
  EXPECT_EQ(empty.GetFieldValue(0), 0);
  empty.SetFieldValue(0, 1);  // no page: ignored
}

TEST(LcdController, DuplicateNumberedFieldShowsItsValueButFollowsNoKnob) {
  Rig r("[A={3,A,2,0,9}] [B={3,B,2,0,9}]", 20);
  r.record.words[20] = 4;
  r.record.words[21] = 6;
  r.ctr->SelectPage(0);
  EXPECT_EQ(lcdRow(*r.lcd, 0).substr(0, 10), "A=04 B=06 ");
  const std::vector<std::pair<int, int>> values = {{3, 4}};
  EXPECT_EQ(r.log.values, values);
  r.doubleClick(6, 0);  // on B: no number, so nothing happens
  EXPECT_EQ(r.host.menusShown, 0);
  EXPECT_EQ(r.record.words[21], 6);
}

TEST(LcdController, MessagesCoverThePageForTheirTicks) {
  Rig r(kPage);
  r.ctr->refreshEnabled = 1;
  r.ctr->SelectPage(0);
  r.ctr->ShowMessage(-1, -1, "** Program written **", "", 22);
  EXPECT_EQ(r.ctr->MessageLock(), 1);
  EXPECT_EQ(lcdRow(*r.lcd, 0), "            ** Program written **           ");
  EXPECT_EQ(lcdRow(*r.lcd, 1), std::string(44, ' '));
  EXPECT_FALSE(r.lcd->cellsChangedPending());  // repainted at once
  // A second message replaces the first without stacking.
  r.ctr->ShowMessage(2, -1, "AB", "CDEF", 22);
  EXPECT_EQ(r.ctr->MessageLock(), 1);
  EXPECT_EQ(lcdRow(*r.lcd, 0).substr(0, 5), "  AB ");
  EXPECT_EQ(lcdRow(*r.lcd, 1).substr(18, 8), "  CDEF  ");
  // Page paints and field paints are suppressed; values still reach the editor.
  r.ctr->SetFieldValue(r.field("B").Ordinal(), 9);
  r.ctr->DrawPage();
  EXPECT_EQ(r.record.words[11], 9);
  EXPECT_EQ(lcdRow(*r.lcd, 0).substr(0, 5), "  AB ");
  for (int t = 1; t <= 22; ++t) {
    r.ctr->Tick();
    ASSERT_EQ(r.ctr->MessageActive(), 1) << "tick " << t;
  }
  r.ctr->Tick();  // the 23rd tick ends it
  EXPECT_EQ(r.ctr->MessageActive(), 0);
  EXPECT_EQ(r.ctr->MessageLock(), 0);
  EXPECT_EQ(lcdRow(*r.lcd, 0).substr(0, 16), "A=+00 B=09 T=OFF");
}

TEST(LcdController, KnobTurnEndsMessageBeforeWriting) {
  Rig r(kPage);
  r.ctr->SelectPage(0);
  r.ctr->ShowMessage(-1, -1, "** SysEx dump sent **", "", 22);
  r.log.clear();
  r.ctr->KnobChanged(2, 33);
  EXPECT_EQ(r.ctr->MessageActive(), 0);
  EXPECT_EQ(r.ctr->MessageLock(), 0);
  EXPECT_EQ(lcdRow(*r.lcd, 0).substr(0, 16), "A=+00 B=33 T=OFF");
  EXPECT_EQ(lcdRow(*r.lcd, 1).substr(0, 12), "LBL W=+00000");
  EXPECT_EQ(r.log.afterDraws, 2);  // the whole page, then the field
}

TEST(LcdController, UntimedMessageStaysAndTickRefreshesOnlyWhenEnabled) {
  Rig r(kPage);
  r.ctr->SelectPage(0);
  r.ctr->ShowMessage(-1, -1, "HELLO", "", 0);
  EXPECT_EQ(r.ctr->MessageActive(), 0);
  for (int t = 0; t < 50; ++t) r.ctr->Tick();
  EXPECT_EQ(r.ctr->MessageLock(), 1);
  EXPECT_EQ(lcdRow(*r.lcd, 0).substr(20, 5), "HELLO");
  r.ctr->EndMessage();
  EXPECT_TRUE(r.lcd->cellsChangedPending());
  r.ctr->Tick();  // refreshEnabled is 0
  EXPECT_TRUE(r.lcd->cellsChangedPending());
  r.ctr->refreshEnabled = 1;
  r.ctr->Tick();
  EXPECT_FALSE(r.lcd->cellsChangedPending());
}

TEST(LcdController, MouseOnTheDisplay) {
  Rig r(kPage);
  r.ctr->SelectPage(0);
  r.ctr->ShowMessage(-1, -1, "MSG", "", 22);
  r.host.press(r.cell(7, 0), MouseButton::Right);
  EXPECT_EQ(r.ctr->MessageActive(), 0);  // a press ends the message
  EXPECT_TRUE(r.ctr->MouseIsDown());
  EXPECT_EQ(r.ctr->MouseColumn(), 7);
  EXPECT_EQ(r.ctr->MouseRow(), 0);
  ASSERT_EQ(r.log.presses.size(), 1u);
  EXPECT_EQ(r.log.presses[0].first, MouseButton::Right);
  EXPECT_EQ(r.log.presses[0].second, r.field("B").Ordinal());
  EXPECT_EQ(r.ctr->MouseField(), &r.field("B"));
  r.host.release(r.cell(7, 0), MouseButton::Right);
  EXPECT_FALSE(r.ctr->MouseIsDown());
  EXPECT_EQ(r.ctr->MouseField(), nullptr);
  r.host.press(r.cell(40, 1));  // no field there
  EXPECT_EQ(r.log.presses.size(), 1u);
  EXPECT_TRUE(r.ctr->MouseIsDown());
  r.host.release(r.cell(40, 1));
  r.host.move(r.cell(1, 1));
  r.host.move(r.cell(30, 1));
  r.host.move(r.cell(5, 1));
  const std::vector<int> moves = {3, 4};
  EXPECT_EQ(r.log.moves, moves);
}

TEST(LcdController, DoubleClickTogglesOnOffFields) {
  Rig r(kPage);
  r.record.words[12] = 2;
  r.ctr->SelectPage(0);
  r.log.clear();
  r.doubleClick(13, 0);
  EXPECT_EQ(r.record.words[12], 1);  // (2 + 1) and 1
  r.doubleClick(11, 0);
  EXPECT_EQ(r.record.words[12], 0);
  const std::vector<std::pair<int, int>> values = {{4, 1}, {4, 0}};
  EXPECT_EQ(r.log.values, values);
  EXPECT_EQ(r.host.menusShown, 0);
  EXPECT_EQ(lcdRow(*r.lcd, 0).substr(11, 5), "T=OFF");
  r.doubleClick(1, 1);   // a free label
  r.doubleClick(30, 0);  // nothing there
  EXPECT_EQ(r.host.menusShown, 0);
  EXPECT_EQ(r.log.values.size(), 2u);
}

// Entry i of the value menu as "name|caption|tag|flags" (b = starts a column, d = disabled).
std::string entry(ClcdCtr& c, std::size_t i) {
  const MenuItem& it = c.ValueMenu().item(i);
  std::string flags = it.breakColumn ? "b" : "";
  if (!it.enabled) flags += "d";
  return c.ValueMenuNames()[i] + "|" + it.caption + "|" + std::to_string(it.tag) + "|" + flags;
}

TEST(LcdValueMenu, SourceRangeWithDefaultEntryAndColumns) {
  Rig r(kPage);
  r.field("W").SetFormatter(lcdFormatter([](int v) { return "S" + std::to_string(v); }));
  r.ctr->SelectPage(0);
  r.ctr->OpenValueMenu(r.field("W"), 6);
  ClcdCtr& c = *r.ctr;
  // Default entry for -1, a separator, then 0..144 in ten columns of at most 16 values, every
  // later column opening with a disabled blank and a separator.
  ASSERT_EQ(c.ValueMenu().size(), 2u + 145u + 9u * 2u);
  ASSERT_EQ(c.ValueMenuNames().size(), c.ValueMenu().size());
  EXPECT_EQ(entry(c, 0), "ItemDef|S-1|-1|");
  EXPECT_TRUE(c.ValueMenu().item(1).separator());
  EXPECT_EQ(entry(c, 2), "Item0|000   S0|0|");
  EXPECT_EQ(entry(c, 17), "Item15|015   S15|15|");
  EXPECT_EQ(entry(c, 18), "Empty16||0|bd");
  EXPECT_TRUE(c.ValueMenu().item(19).separator());
  EXPECT_EQ(entry(c, 20), "Item16|016   S16|16|");
  EXPECT_EQ(entry(c, c.ValueMenu().size() - 1), "Item144|144   S144|144|");
  int columns = 1, values = 0, inColumn = 0, most = 0;
  for (std::size_t i = 2; i < c.ValueMenu().size(); ++i) {
    const MenuItem& it = c.ValueMenu().item(i);
    if (it.breakColumn) {
      ++columns;
      inColumn = 0;
      EXPECT_FALSE(it.enabled);
      EXPECT_TRUE(c.ValueMenu().item(i + 1).separator());
    } else if (!it.separator()) {
      ++values;
      most = std::max(most, ++inColumn);
    }
  }
  EXPECT_EQ(columns, 10);
  EXPECT_EQ(values, 145);
  EXPECT_EQ(most, 16);
}

TEST(LcdValueMenu, DefaultEntryAndNumbering) {
  struct Case {
    const char* page;
    bool custom, numbered;
    int rows;
    std::vector<std::string> head;  // first entries
    std::size_t size;
    std::vector<std::size_t> breaks;  // indexes of the column starts
  };
  const Case cases[] = {
      // Signed range: a default entry for 0 (shown +00) above the whole list, no numbers.
      {"[A={0,A,3,-63,+63}]",
       false,
       true,
       0,
       {"ItemDef|+00|0|", "||0|", "Item0|-63|-63|", "Item1|-62|-62|"},
       2 + 127 + 7 * 2,
       {18, 36, 54, 72, 90, 108, 126}},
      // -3..5: 0 is offered twice, as the default and in the list.
      {"[O={0,O,2,-3,+5}]",
       false,
       true,
       0,
       {"ItemDef|+0|0|", "||0|", "Item0|-3|-3|", "Item1|-2|-2|", "Item2|-1|-1|", "Item3|+0|0|"},
       2 + 9,
       {}},
      // 0..74 with 25 rows and numbers: no default entry, three columns split by bars.
      {"[{0,W,6,0,74}]", true, true, 25, {"Item0|00   <0>|0|", "Item1|01   <1>|1|"}, 75, {25, 50}},
      // The same without numbers.
      {"[{0,W,6,0,74}]", true, false, 25, {"Item0|<0>|0|"}, 75, {25, 50}},
      // 0..127, 16 rows, no numbers: eight columns.
      {"[{0,LV,3,0,127}]", true, false, 0, {"Item0|<0>|0|"}, 128, {16, 32, 48, 64, 80, 96, 112}},
      // 1..9 has its default 0 below the range.
      {"[{0,X,1,1,9}]", false, true, 4, {"ItemDef|0|0|", "||0|", "Item0|1|1|"}, 2 + 9 + 2 * 2, {6, 12}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    Rig r(c.page);
    ClcdCtr_param& f = *r.page().Field(0);
    if (c.custom) f.SetFormatter(lcdFormatter([](int v) { return "<" + std::to_string(v) + ">"; }));
    f.showIndexInMenu = c.numbered;
    f.menuRows = c.rows;
    r.ctr->SelectPage(0);
    r.ctr->OpenValueMenu(f, 0);
    ClcdCtr& m = *r.ctr;
    ASSERT_EQ(m.ValueMenu().size(), c.size);
    for (std::size_t i = 0; i < c.head.size(); ++i) {
      std::string e = entry(m, i);
      if (m.ValueMenu().item(i).separator()) e = "||0|";
      EXPECT_EQ(e, c.head[i]) << "entry " << i;
    }
    std::vector<std::size_t> breaks;
    for (std::size_t i = 0; i < m.ValueMenu().size(); ++i)
      if (m.ValueMenu().item(i).breakColumn) breaks.push_back(i);
    EXPECT_EQ(breaks, c.breaks);
  }
}

TEST(LcdValueMenu, OpensUnderTheClickedCellAndChoosing) {
  Rig r(kPage);
  r.field("W").SetFormatter(lcdFormatter([](int v) { return "S" + std::to_string(v); }));
  r.ctr->SelectPage(0);
  r.log.clear();
  Point shownAt{};
  r.host.menuChooser = [&](PopupMenu& m, Point at) {
    shownAt = at;
    r.host.setPointerPosition({1, 1});  // the pointer wanders while the menu is open
    return m.findTag(77);
  };
  r.doubleClick(8, 1);
  ASSERT_EQ(r.host.menusShown, 1);
  EXPECT_EQ(r.host.lastMenu, &r.ctr->ValueMenu());
  EXPECT_FALSE(r.ctr->ValueMenu().autoPopup);
  // Under the clicked cell's row, at the clicked column, on the screen.
  EXPECT_EQ(shownAt, (Point{100 + 5 + r.lcd->CharLeft(8), 200 + 7 + r.lcd->CharTop(1) + 15}));
  EXPECT_EQ(r.record.words[13], 77);
  EXPECT_EQ(lcdRow(*r.lcd, 1).substr(4, 8), "W=S77   ");  // padded to the width
  const std::vector<std::pair<int, int>> values = {{3, 77}};
  EXPECT_EQ(r.log.values, values);
  const Point clicked = {100 + r.cell(8, 1).x, 200 + r.cell(8, 1).y};
  EXPECT_EQ(r.ctr->SavedCursor(), clicked);
  EXPECT_EQ(r.host.pointerWarps().back(), clicked);  // put back where the menu opened
  // Without restoreCursor the pointer stays; a cancelled menu changes nothing.
  r.ctr->restoreCursor = false;
  const std::size_t warps = r.host.pointerWarps().size();
  r.host.menuChooser = HeadlessHost::chooseTag(-1);
  r.doubleClick(6, 1);
  EXPECT_EQ(r.record.words[13], -1);
  EXPECT_EQ(r.host.pointerWarps().size(), warps);
  r.host.menuChooser = nullptr;
  r.doubleClick(6, 1);
  EXPECT_EQ(r.record.words[13], -1);
  EXPECT_EQ(r.host.menusShown, 3);
}

TEST(LcdValueMenu, FieldsWithoutFormatterGetNoMenu) {
  Rig r("[X={0,X,3,0,9,}] [Y={1,Y,3}]");  // X: max does not read; Y: no range, no formatter
  r.ctr->SelectPage(0);
  r.doubleClick(1, 0);
  EXPECT_EQ(r.host.menusShown, 1);  // X has the default formatter (range 0..0)
  r.doubleClick(6, 0);
  EXPECT_EQ(r.host.menusShown, 1);
  EXPECT_EQ(r.ctr->ValueMenuField(), r.page().Field(0));
  r.ctr->SetPageCount(0);  // the field the menu was opened for is gone
  EXPECT_EQ(r.ctr->ValueMenuField(), nullptr);
  r.ctr->ValueMenuChoose(3);  // ignored
}

TEST(LcdController, DestructionDisconnectsTheDisplay) {
  HeadlessHost host(600, 100);
  auto* lcd = host.root().add<TsegLCD2>();
  ApplyEditorLcdLook(*lcd);
  ApplyEditorLcdLayout(*lcd);
  {
    ClcdCtr c(lcd);
    c.ConnectLcdEvents();
    EXPECT_TRUE(static_cast<bool>(lcd->onDblClickChar));
  }
  EXPECT_FALSE(static_cast<bool>(lcd->onMouseDownChar));
  EXPECT_FALSE(static_cast<bool>(lcd->onMouseUpChar));
  EXPECT_FALSE(static_cast<bool>(lcd->onMouseMoveChar));
  EXPECT_FALSE(static_cast<bool>(lcd->onDblClickChar));
  host.doubleClickAt({20, 20});  // nothing left to call
}

}  // namespace
}  // namespace korvo
