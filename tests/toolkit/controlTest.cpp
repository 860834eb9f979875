// The control tree and the host's routing of mouse, keys, focus and painting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headlessHost.h"
#include "messageBox.h"

namespace korvo {
namespace {

// Records every handler call with its coordinates.
class Probe : public Control {
 public:
  explicit Probe(std::vector<std::string>* log) : log_(log) {}
  void mouseDown(const MouseEvent& e) override {
    Control::mouseDown(e);
    log_->push_back(name + " down " + std::to_string(e.x) + "," + std::to_string(e.y) +
                    ((e.shift & kDouble) ? " double" : ""));
  }
  void mouseUp(const MouseEvent& e) override {
    Control::mouseUp(e);
    log_->push_back(name + " up " + std::to_string(e.x) + "," + std::to_string(e.y));
  }
  void mouseMove(const MouseEvent& e) override {
    Control::mouseMove(e);
    log_->push_back(name + " move " + std::to_string(e.x) + "," + std::to_string(e.y));
  }
  void doubleClick(const MouseEvent& e) override {
    Control::doubleClick(e);
    log_->push_back(name + " dbl");
  }
  void keyDown(int key, ShiftState s) override {
    Control::keyDown(key, s);
    log_->push_back(name + " key " + std::to_string(key));
  }
  void keyPress(char32_t c) override {
    Control::keyPress(c);
    log_->push_back(name + " char " + std::string(1, static_cast<char>(c)));
  }
  void paint(Canvas& c) override { c.fillRect(clientRect(), colour); }

 private:
  std::vector<std::string>* log_;
};

struct Tree {
  std::vector<std::string> log;
  HeadlessHost host{100, 80};
  Probe* a = nullptr;
  Probe* b = nullptr;
  Probe* inner = nullptr;
  Tree() {
    a = host.root().add<Probe>(&log);
    a->name = "a";
    a->setBounds(10, 10, 30, 30);
    a->colour = 1;
    b = host.root().add<Probe>(&log);
    b->name = "b";
    b->setBounds(50, 10, 40, 40);
    b->colour = 2;
    inner = b->add<Probe>(&log);
    inner->name = "inner";
    inner->setBounds(5, 5, 10, 10);
    inner->colour = 3;
  }
};

TEST(ControlTree, MouseGoesToTheDeepestControlInLocalCoordinates) {
  Tree t;
  t.host.click({57, 17});
  t.host.click({20, 30});
  const std::vector<std::string> want{"inner down 2,2", "inner up 2,2", "a down 10,20", "a up 10,20"};
  EXPECT_EQ(t.log, want);
}

TEST(ControlTree, PressedControlKeepsTheMouseUntilRelease) {
  Tree t;
  t.host.press({15, 15});
  t.host.move({70, 40});  // over b, but a has the capture
  t.host.release({70, 40});
  t.host.move({70, 40});
  const std::vector<std::string> want{"a down 5,5", "a move 60,30", "a up 60,30", "b move 20,30"};
  EXPECT_EQ(t.log, want);
  EXPECT_EQ(t.host.hover(), t.b);
}

TEST(ControlTree, DoubleClickThenPressWithDoubleFlag) {
  Tree t;
  t.host.doubleClickAt({20, 20});
  const std::vector<std::string> want{"a down 10,10", "a up 10,10", "a dbl", "a down 10,10 double", "a up 10,10"};
  EXPECT_EQ(t.log, want);
}

// A double click whose handler closes a dialog and opens the next one (a file chosen, then a
// question): the press ends there. Its release is dropped when it comes, and when it never comes
// (its window went), the next click still reaches what it lands on.
TEST(ControlTree, ADoubleClickThatOpensADialogLeavesNoPressBehind) {
  for (const bool releaseArrives : {true, false}) {
    Tree t;
    std::vector<MessageResult> answers;
    t.a->onDblClick = [&](Control&) {
      t.host.messageBox("Warning", "Replace?", MessageButtons::OkCancel,
                        [&](MessageResult r) { answers.push_back(r); });
    };
    t.host.mouseDown(MouseButton::Left, 0, {20, 20});
    t.host.mouseUp(MouseButton::Left, 0, {20, 20});
    t.host.doubleClick(MouseButton::Left, 0, {20, 20});
    ASSERT_EQ(t.host.modalCount(), 1u);
    if (releaseArrives) t.host.mouseUp(MouseButton::Left, 0, {20, 20});
    EXPECT_EQ(t.host.capture(), nullptr);
    auto* box = dynamic_cast<MessageBoxView*>(t.host.topModal());
    ASSERT_NE(box, nullptr);
    const PushButton& ok = *box->buttonControls()[0];
    t.host.click(ok.toWindow({ok.width() / 2, ok.height() / 2}));
    EXPECT_EQ(answers, std::vector<MessageResult>{MessageResult::Ok}) << "release arrives: " << releaseArrives;
    EXPECT_EQ(t.log, (std::vector<std::string>{"a down 10,10", "a up 10,10", "a dbl"}));
  }
}

// The wheel turns what is under the pointer, a notch per 120 units (finer steps add up).
TEST(ControlTree, WheelNotchesGoToTheControlUnderThePointer) {
  Tree t;
  std::vector<std::string> turns;
  for (Probe* p : {t.a, t.b})
    p->onMouseWheel = [&](Control& c, int delta, ShiftState, Point) {
      turns.push_back(c.name + " " + std::to_string(delta));
      return true;
    };
  t.a->tabStop = true;
  t.a->setFocus();
  t.host.mouseWheel(120, 0, {60, 40});
  t.host.mouseWheel(-60, 0, {60, 40});
  t.host.mouseWheel(-60, 0, {60, 40});
  t.host.mouseWheel(240, 0, {95, 75});  // over the root alone: the focused control
  EXPECT_EQ(turns, (std::vector<std::string>{"b 1", "b -1", "a 2"}));
}

TEST(ControlTree, HiddenAndDisabledControlsAreSkipped) {
  Tree t;
  t.inner->setVisible(false);
  t.host.click({57, 17});
  t.b->setEnabled(false);
  t.host.click({57, 17});  // goes to the root, which logs nothing
  const std::vector<std::string> want{"b down 7,7", "b up 7,7"};
  EXPECT_EQ(t.log, want);
}

TEST(ControlTree, KeysGoToTheFocusAndTabMovesIt) {
  Tree t;
  t.a->tabStop = true;
  t.inner->tabStop = true;
  t.a->setFocus();
  t.host.pressKey('X');
  t.host.typeText("y");
  t.host.pressKey(keys::Tab);
  EXPECT_EQ(t.host.focus(), t.inner);
  t.host.pressKey(keys::Tab, kShift);
  EXPECT_EQ(t.host.focus(), t.a);
  const std::vector<std::string> want{"a key 88", "a char y"};
  EXPECT_EQ(t.log, want);
}

TEST(ControlTree, RemovingAControlDropsFocusAndCapture) {
  Tree t;
  t.inner->setFocus();
  t.host.press({57, 17});
  auto gone = t.b->release(t.inner);
  ASSERT_TRUE(gone);
  EXPECT_EQ(t.host.focus(), nullptr);
  EXPECT_EQ(t.host.capture(), nullptr);
  t.host.release({57, 17});  // must not reach the removed control
  EXPECT_EQ(t.log.back(), "b up 7,7");
}

TEST(ControlTree, InvalidationAndPaintFollowTheTree) {
  Tree t;
  const Image& full = t.host.frame();
  EXPECT_EQ(full.at(10, 10), 1u);
  EXPECT_EQ(full.at(56, 16), 3u);
  EXPECT_EQ(full.at(51, 11), 2u);
  EXPECT_FALSE(t.host.needsPaint());
  t.inner->colour = 9;
  t.inner->invalidate();
  EXPECT_EQ(t.host.dirty(), Rect::xywh(55, 15, 10, 10));
  t.a->colour = 8;  // changed without invalidation: must not show yet
  const Image& next = t.host.frame();
  EXPECT_EQ(next.at(56, 16), 9u);
  EXPECT_EQ(next.at(10, 10), 1u);
}

TEST(ControlTree, CursorComesFromTheControlOrItsParents) {
  Tree t;
  t.b->cursor = Cursor::HandPoint;
  t.host.move({57, 17});
  EXPECT_EQ(t.host.cursor(), Cursor::HandPoint);
  t.host.move({2, 2});
  EXPECT_EQ(t.host.cursor(), Cursor::Arrow);
}

TEST(ControlTree, ScreenCoordinatesUseTheWindowOrigin) {
  Tree t;
  t.host.setWindowOrigin({300, 200});
  EXPECT_EQ(t.inner->toScreen({1, 1}), (Point{356, 216}));
  EXPECT_EQ(t.inner->fromWindow({56, 16}), (Point{1, 1}));
}

}  // namespace
}  // namespace korvo
