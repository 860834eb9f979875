// Generic controls: text box, list box, push button, popup menus, message boxes, goldens.
#include <gtest/gtest.h>

#include <string>

#include "goldenImage.h"
#include "controls.h"
#include "goldenFiles.h"
#include "headlessHost.h"
#include "messageBox.h"

namespace korvo {
namespace {

using test::goldenPath;

TEST(TextBox, UpperCaseAndMaximumLength) {
  HeadlessHost host(200, 40);
  auto* box = host.root().add<TextBox>();
  box->upperCase = true;
  box->maxLength = 5;
  box->setFocus();  // selects all (empty)
  host.typeText("abcdefg");
  EXPECT_EQ(box->text(), "ABCDE");
  box->setText("korvo-synth");
  EXPECT_EQ(box->text(), "KORVO");
  EXPECT_EQ(box->caret(), 5);
}

TEST(TextBox, CaretSelectionAndEditing) {
  HeadlessHost host(200, 40);
  auto* box = host.root().add<TextBox>();
  int changes = 0;
  box->onChange = [&](TextBox&) { ++changes; };
  box->setText("HELLO");
  box->setFocus();
  EXPECT_EQ(box->selLength(), 5);  // auto-select on focus
  host.pressKey(keys::Home);
  EXPECT_EQ(box->caret(), 0);
  EXPECT_EQ(box->selLength(), 0);
  host.pressKey(keys::Right, kShift);
  host.pressKey(keys::Right, kShift);
  EXPECT_EQ(box->selectedText(), "HE");
  host.typeText("J");
  EXPECT_EQ(box->text(), "JLLO");
  host.pressKey(keys::End);
  host.pressKey(keys::Back);
  host.pressKey(keys::Home);
  host.pressKey(keys::Delete);
  EXPECT_EQ(box->text(), "LL");
  EXPECT_EQ(changes, 3);
  host.pressKey(keys::Left);  // at 0 already: stays
  EXPECT_EQ(box->caret(), 0);
  host.pressKey(keys::Back);  // nothing to delete: no change event
  EXPECT_EQ(changes, 3);
  int enters = 0;
  box->onEnter = [&](TextBox&) { ++enters; };
  host.pressKey(keys::Return);
  EXPECT_EQ(enters, 1);
}

TEST(TextBox, ClickPlacesTheCaretNearThePointer) {
  HeadlessHost host(200, 40);
  auto* box = host.root().add<TextBox>();
  box->setBounds(0, 0, 150, 22);
  box->setText("WWWW");
  box->setFocus();
  const int w2 = textWidth("WW", box->font);
  host.click({3 + w2 + 1, 10});
  EXPECT_EQ(box->caret(), 2);
  EXPECT_EQ(box->selLength(), 0);
}

TEST(ListBox, KeyboardNavigationClampsAndReportsChanges) {
  HeadlessHost host(200, 200);
  auto* list = host.root().add<ListBox>();
  list->setBounds(0, 0, 100, 2 + 4 * list->itemHeight());
  list->setItems({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"});
  int changes = 0;
  list->onChange = [&](ListBox&) { ++changes; };
  list->setFocus();
  struct Step {
    int key;
    int index;
    int top;
  };
  const Step steps[] = {{keys::Down, 0, 0}, {keys::Down, 1, 0},   {keys::PageDown, 4, 1}, {keys::End, 9, 6},
                        {keys::Down, 9, 6}, {keys::PageUp, 6, 6}, {keys::Home, 0, 0},     {keys::Up, 0, 0}};
  for (const Step& s : steps) {
    host.pressKey(s.key);
    EXPECT_EQ(list->itemIndex(), s.index) << s.key;
    EXPECT_EQ(list->topIndex(), s.top) << s.key;
  }
  EXPECT_EQ(changes, 6);  // End at the end and Up at the top change nothing
  host.click({10, 1 + list->itemHeight() + 2});
  EXPECT_EQ(list->itemIndex(), 1);
  list->setItemIndex(42);  // out of range: ignored
  EXPECT_EQ(list->itemIndex(), 1);
}

TEST(PushButton, ClicksOnlyOnReleaseInside) {
  HeadlessHost host(200, 100);
  auto* b = host.root().add<PushButton>();
  b->setBounds(10, 10, 75, 25);
  int clicks = 0;
  b->onClick = [&](Control&) { ++clicks; };
  host.click({20, 20});
  EXPECT_EQ(clicks, 1);
  host.press({20, 20});
  host.move({150, 80});
  host.move({20, 20});
  host.release({20, 20});
  EXPECT_EQ(clicks, 1);
  host.pressKey(keys::Space);
  EXPECT_EQ(clicks, 2);
}

PopupMenu& sampleMenu(PopupMenu& m) {
  m.addItem("Load Library...", 1);
  m.addItem("Save Library...", 2).enabled = false;
  m.addSeparator();
  MenuItem& radio = m.addItem("Radio choice", 3);
  radio.radio = true;
  radio.checked = true;
  m.addItem("Checked", 4).checked = true;
  PopupMenu& sub = m.addSubmenu("Mouse position is restored after...");
  sub.addItem("Popup menus", 10).checked = true;
  sub.addItem("Knob turning", 11);
  m.addItem("Second column", 5).breakColumn = true;
  m.addItem("More", 6);
  return m;
}

// Ctrl with a letter is a command, never text; the clipboard goes through the host.
TEST(TextBox, ClipboardKeysAndAPressBesideTheBox) {
  HeadlessHost host(200, 60);
  auto* box = host.root().add<TextBox>();
  auto* other = host.root().add<TextBox>();
  other->setBounds(0, 30, 100, 21);
  box->upperCase = true;
  box->maxLength = 8;
  box->setText("LEAD");
  box->setFocus();
  host.pressKey('C', kCtrl);
  host.pressKey(keys::End);
  host.pressKey('V', kCtrl);
  EXPECT_EQ(box->text(), "LEADLEAD");
  host.pressKey('A', kCtrl);
  host.pressKey('X', kCtrl);
  EXPECT_EQ(box->text(), "");
  host.setClipboardText("pad 2\tx\nsecond line");
  host.pressKey(keys::Insert, kShift);
  EXPECT_EQ(box->text(), "PAD 2X") << "the first line, without control characters";
  host.pressKey('V', kCtrl | kAlt);  // AltGr+V types, it does not paste
  EXPECT_EQ(box->text(), "PAD 2X");
  // A press beside the box ends its editing; one in another text box moves the editing there.
  host.click({150, 5});
  EXPECT_EQ(host.focus(), &host.root());
  box->setFocus();
  host.click({10, 40});
  EXPECT_EQ(host.focus(), other);
}

TEST(MenuView, ThePointerOnAnItemOpensItsSubmenuAndOnAnotherClosesIt) {
  PopupMenu m;
  sampleMenu(m);
  MenuView view(m);
  std::vector<std::string> log;
  view.onOpenSubmenu = [&](MenuItem& item, Rect) { log.push_back("open " + item.caption); };
  view.onCloseSubmenu = [&] { log.push_back("close"); };
  auto over = [&](std::size_t i) {
    const Rect r = view.itemRect(i);
    view.mouseMove({MouseButton::Left, 0, r.left + 3, r.top + 2});
  };
  over(5);
  over(5);  // resting there opens it once
  over(0);
  EXPECT_EQ(log, (std::vector<std::string>{"open Mouse position is restored after...", "close"}));
}

TEST(MenuView, ColumnsSeparatorsAndNavigation) {
  PopupMenu m;
  sampleMenu(m);
  MenuView view(m);
  // Column break: item 6 starts right of the first column, at the top.
  EXPECT_GT(view.itemRect(6).left, view.itemRect(0).right);
  EXPECT_EQ(view.itemRect(6).top, view.itemRect(0).top);
  EXPECT_EQ(view.itemAt({view.itemRect(2).left + 3, view.itemRect(2).top + 2}), -1);  // separator
  // Down skips the disabled item and the separator.
  view.navigate(keys::Down);
  EXPECT_EQ(view.highlighted(), 0);
  view.navigate(keys::Down);
  EXPECT_EQ(view.highlighted(), 3);
  view.navigate(keys::Right);  // the nearest row of the next column
  EXPECT_EQ(view.highlighted(), 7);
  view.navigate(keys::Left);
  EXPECT_EQ(view.highlighted(), 0);
  view.navigate(keys::Up);  // wraps
  EXPECT_EQ(view.highlighted(), 7);
  int chosen = -1;
  view.onChoose = [&](MenuItem& item) { chosen = item.tag; };
  view.keyDown(keys::Return, 0);
  EXPECT_EQ(chosen, 6);
  // An item with a submenu opens it (Right or Enter) instead of being chosen.
  std::string opened;
  view.onOpenSubmenu = [&](MenuItem& item, Rect) { opened = item.caption; };
  view.setHighlighted(5);
  view.keyDown(keys::Right, 0);
  EXPECT_EQ(opened, "Mouse position is restored after...");
  EXPECT_EQ(chosen, 6);
  view.setHighlighted(1);  // disabled: Enter does nothing
  view.keyDown(keys::Return, 0);
  EXPECT_EQ(chosen, 6);
  view.setHighlighted(7);
  std::string why;
  EXPECT_TRUE(matchesGolden(HeadlessHost::renderControl(view), goldenPath("toolkit_menu"), &why)) << why;
}

TEST(HeadlessHost, ScriptedMenusRunTheChosenItem) {
  HeadlessHost host(100, 100);
  PopupMenu m;
  sampleMenu(m);
  int ran = 0;
  m.find("Knob turning")->onClick = [&](MenuItem& i) {
    i.checked = !i.checked;
    ++ran;
  };
  host.menuChooser = HeadlessHost::choose("Knob turning");
  EXPECT_EQ(host.popupMenu(m, {5, 6}), m.find("Knob turning"));
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(m.find("Knob turning")->checked);
  host.menuChooser = HeadlessHost::choose("Save Library...");  // disabled: cancelled
  EXPECT_EQ(host.popupMenu(m, {5, 6}), nullptr);
  EXPECT_EQ(host.menusShown, 2);
  EXPECT_EQ(host.lastMenuPoint, (Point{5, 6}));
}

TEST(MessageBox, ButtonsAndResults) {
  struct Case {
    MessageButtons buttons;
    std::size_t count;
    MessageResult first, last;
  };
  const Case cases[] = {{MessageButtons::Ok, 1, MessageResult::Ok, MessageResult::Ok},
                        {MessageButtons::OkCancel, 2, MessageResult::Ok, MessageResult::Cancel},
                        {MessageButtons::YesNo, 2, MessageResult::Yes, MessageResult::No}};
  for (const Case& c : cases) {
    HeadlessHost host(400, 300);
    auto* box = host.root().add<MessageBoxView>("Warning", "Overwrite the library?", c.buttons);
    ASSERT_EQ(box->buttonControls().size(), c.count);
    MessageResult got = MessageResult::None;
    box->onClose = [&](MessageBoxView&, MessageResult r) { got = r; };
    const Rect r = box->buttonControls().back()->bounds();
    host.click({r.left + 5, r.top + 5});
    EXPECT_EQ(got, c.last);
    box->setFocus();
    host.pressKey(keys::Return);
    EXPECT_EQ(got, c.first);
  }
  // Through the host: a queued answer at once; otherwise the box is drawn over the window,
  // takes the input and gives its answer when a button is clicked.
  HeadlessHost host(400, 300);
  MessageResult got = MessageResult::None;
  auto keep = [&](MessageResult r) { got = r; };
  host.messageAnswers.push_back(MessageResult::No);
  messageBox(host.root(), "Error", "x", MessageButtons::YesNo, keep);
  EXPECT_EQ(got, MessageResult::No);
  int rootClicks = 0;
  host.root().onMouseDown = [&](Control&, const MouseEvent&) { ++rootClicks; };
  messageBox(host.root(), "Error", "x", MessageButtons::OkCancel, keep);
  ASSERT_EQ(host.modalCount(), 1u);
  host.click({2, 2});  // outside the box: the window below gets nothing
  EXPECT_EQ(rootClicks, 0);
  EXPECT_TRUE(host.answerMessage(MessageResult::Cancel));
  EXPECT_EQ(got, MessageResult::Cancel);
  EXPECT_EQ(host.modalCount(), 0u);
  host.click({2, 2});
  EXPECT_EQ(rootClicks, 1);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].caption, "Error");
}

TEST(Golden, DialogWithGenericControls) {
  HeadlessHost host(260, 150);
  host.root().colour = fromTColor(3089186);
  auto* panel = host.root().add<Panel>();
  panel->setBounds(8, 8, 244, 134);
  panel->colour = fromTColor(5653829);
  auto* label = panel->add<Label>();
  label->setBounds(8, 6, 200, 16);
  label->font = Font{"Arial", -16, true};
  label->fontColour = fromTColor(11969957);
  label->text = "042 Program";
  auto* edit = panel->add<TextBox>();
  edit->setBounds(8, 28, 161, 22);
  edit->upperCase = true;
  edit->maxLength = 15;
  edit->colour = fromTColor(3089186);
  edit->fontColour = fromTColor(11969957);
  edit->font = Font{"Arial", -11, false, true};
  edit->setText("Glass Pad");
  auto* list = panel->add<ListBox>();
  list->setBounds(8, 56, 120, 70);
  list->setItems({"MIDI In 1", "MIDI In 2", "Loopback", "Virtual port"});
  list->setItemIndex(1);
  auto* button = panel->add<PushButton>();
  button->setBounds(150, 100, 80, 24);
  button->caption = "OK";
  auto* shape = panel->add<Shape>();
  shape->setBounds(150, 60, 80, 10);
  shape->brush = fromTColor(2359417);
  shape->pen = shape->brush;
  auto* mono = panel->add<Label>();
  mono->setBounds(140, 78, 100, 14);
  mono->font = Font{"Terminal", -12};
  mono->fontColour = rgb(0, 255, 255);
  mono->text = "C#3 G8";
  std::string why;
  EXPECT_TRUE(matchesGolden(host.frame(), goldenPath("toolkit_dialog"), &why)) << why;
  MessageBoxView box("Message", "Library saved.\nSecond line.", MessageButtons::OkCancel);
  EXPECT_TRUE(matchesGolden(HeadlessHost::renderControl(box), goldenPath("toolkit_messagebox"), &why)) << why;
}

}  // namespace
}  // namespace korvo
