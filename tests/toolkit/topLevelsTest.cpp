// The policy the X11 and Win32 hosts share for their top-level windows, against a backend that
// only records what it is asked to do.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "headlessHost.h"
#include "topLevels.h"

namespace korvo {
namespace {

struct RecordingBackend : TopLevels<int>::Backend {
  std::vector<std::string> log;
  int next = 1;
  Rect area{0, 0, 800, 600};
  bool fail = false;
  int createDialogWindow(Control&, Point at, Size size) override {
    log.push_back("dialog " + std::to_string(at.x) + "," + std::to_string(at.y) + " " + std::to_string(size.width));
    return fail ? 0 : next++;
  }
  int createMenuWindow(Point at, Size) override {
    log.push_back("menu " + std::to_string(at.x) + "," + std::to_string(at.y));
    return fail ? 0 : next++;
  }
  void showWindow(int w, bool) override { log.push_back("show " + std::to_string(w)); }
  void destroyWindow(int w) override { log.push_back("destroy " + std::to_string(w)); }
  void raiseDialog(int w) override { log.push_back("raise " + std::to_string(w)); }
  Rect menuArea(Point) override { return area; }
  void grabForMenu(int w) override { log.push_back("grab " + std::to_string(w)); }
  void releaseMenuGrab(int w) override { log.push_back("release " + std::to_string(w)); }
};

TEST(TopLevels, DialogsOpenOverTheEditorAtItsScaleAndHoldPressesWhileOpen) {
  HeadlessHost editor(562, 346);
  editor.setWindowOrigin({100, 50});
  editor.setScale(200);
  RecordingBackend backend;
  TopLevels<int> tops(editor, backend);
  Control first, second;
  first.setBounds(Rect::xywh(10, 20, 30, 40));
  second.setBounds(Rect::xywh(0, 0, 5, 5));
  ASSERT_NE(tops.openDialog(first), nullptr);
  ASSERT_NE(tops.openDialog(second), nullptr);
  EXPECT_EQ(backend.log, (std::vector<std::string>{"dialog 120,90 60", "show 1", "dialog 100,50 10", "show 2"}));

  // A press beside the topmost dialog raises it; its release goes nowhere, once.
  backend.log.clear();
  EXPECT_TRUE(tops.holdPress(0));
  EXPECT_EQ(backend.log, (std::vector<std::string>{"raise 2"}));
  EXPECT_TRUE(tops.releaseHeld(0));
  EXPECT_FALSE(tops.releaseHeld(0));
  // A release that never came is forgotten at that button's next press that goes on.
  EXPECT_TRUE(tops.holdPress(1));
  tops.pressWentOn(1);
  EXPECT_FALSE(tops.releaseHeld(1));

  tops.closeDialog(second);
  tops.closeDialog(second);  // a second close finds nothing
  tops.closeDialog(first);
  EXPECT_EQ(backend.log.back(), "destroy 1");
  EXPECT_TRUE(tops.dialogs.empty());
  EXPECT_FALSE(tops.holdPress(0)) << "no dialog: the press goes on";

  backend.fail = true;
  EXPECT_EQ(tops.openDialog(first), nullptr);
  EXPECT_TRUE(tops.dialogs.empty());
}

TEST(TopLevels, MenuLevelsStayInTheAreaGrabOnceAndReleaseBeforeTheyGo) {
  HeadlessHost editor(562, 346);
  RecordingBackend backend;
  TopLevels<int> tops(editor, backend);
  PopupMenu menu;
  menu.addItem("One");
  menu.addItem("Two");
  tops.openLevel(menu, {790, 10});  // too far right: moved left until it fits
  ASSERT_EQ(tops.popups.size(), 1u);
  const Size size = tops.popups[0].host->deviceSize();
  EXPECT_EQ(tops.popups[0].host->windowOrigin(), (Point{800 - size.width, 10}));
  tops.openLevel(menu, {5, 590});  // too low: moved up
  EXPECT_EQ(tops.popups[1].host->windowOrigin(), (Point{5, 600 - size.height}));
  EXPECT_EQ(tops.levelAt({5, 599}), &tops.popups[1]);
  EXPECT_EQ(tops.levelAt({400, 300}), nullptr);

  backend.log.clear();
  tops.closePopups();
  EXPECT_EQ(backend.log, (std::vector<std::string>{"release 1", "destroy 2", "destroy 1"}));
  backend.log.clear();
  tops.closePopups();
  EXPECT_TRUE(backend.log.empty()) << "nothing open, nothing to release";
}

}  // namespace
}  // namespace korvo
