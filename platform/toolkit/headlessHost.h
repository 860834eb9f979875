// HeadlessHost: a window with no display. It renders the control tree into an image, takes
// scripted mouse and key input, answers popup menus, message boxes and modal dialogs from
// the test's script, and keeps a pointer position that controls may move. Used by the tests
// and to make screenshots (PNG) of any control.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "host.h"

namespace korvo {

class HeadlessHost : public WindowHost {
 public:
  HeadlessHost(int width, int height);

  // The picture of the window after painting what is dirty.
  const Image& frame();
  bool saveScreenshot(const std::string& pngFile) { return savePng(frame(), pngFile); }
  // Paints any control (and its children) alone into an image of its size (at a scale).
  static Image renderControl(Control& c, int scale = 100);

  // Scripted input in window coordinates; each also moves the pointer there.
  void press(Point p, MouseButton b = MouseButton::Left, ShiftState shift = 0);
  void release(Point p, MouseButton b = MouseButton::Left, ShiftState shift = 0);
  void move(Point p, ShiftState shift = 0);
  void click(Point p, MouseButton b = MouseButton::Left, ShiftState shift = 0);
  // Press, then release, then a double click and its release: what a system sends.
  void doubleClickAt(Point p, MouseButton b = MouseButton::Left);
  // Press at `from`, `steps` moves on the straight line to `to`, release there.
  void drag(Point from, Point to, int steps = 8, ShiftState shift = 0);
  void pressKey(int key, ShiftState shift = 0);  // down then up
  void typeText(const std::string& ascii);       // a character message per byte

  // Pointer -----------------------------------------------------------------------------------
  Point windowOrigin() const override { return origin_; }
  void setWindowOrigin(Point p) { origin_ = p; }
  Point pointerPosition() const override { return pointer_; }
  void setPointerPosition(Point screen) override;
  // Every position controls moved the pointer to, in order.
  const std::vector<Point>& pointerWarps() const { return warps_; }

  // Popup menus: the chooser picks an item of the shown menu (or null to cancel); by default
  // the menu is cancelled. Each shown menu is remembered for inspection.
  std::function<MenuItem*(PopupMenu&, Point screen)> menuChooser;
  static std::function<MenuItem*(PopupMenu&, Point)> choose(const std::string& caption);
  static std::function<MenuItem*(PopupMenu&, Point)> chooseTag(int tag);
  int menusShown = 0;
  PopupMenu* lastMenu = nullptr;
  Point lastMenuPoint{};
  // The frame with the last shown menu drawn where it opened (a picture of the open menu).
  Image frameWithMenu();
  MenuItem* popupMenu(PopupMenu& menu, Point screen) override;

  // Message boxes: an answer waiting in the queue is given at once (the box is only recorded);
  // with an empty queue the box is drawn over the window and waits for clicks or answerMessage.
  struct MessageRecord {
    std::string caption;
    std::string text;
    MessageButtons buttons;
  };
  std::deque<MessageResult> messageAnswers;
  std::vector<MessageRecord> messages;
  void messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                  std::function<void(MessageResult)> done) override;
  // Clicks the button of the topmost drawn message box that gives `r`; false when there is none.
  bool answerMessage(MessageResult r);

  // File dialogs: likewise, a queued answer (a path, or "" to cancel) is given at once;
  // otherwise the drawn dialog opens. Every request is recorded.
  std::deque<std::string> fileAnswers;
  std::vector<FileDialogRequest> fileRequests;
  void fileDialog(const FileDialogRequest& request, std::function<void(const std::string&)> done) override;

  // Modal dialogs: the script, when set, runs with each dialog right after it opened.
  std::function<void(HeadlessHost&, Control& dialog)> modalScript;
  const Control* lastModal = nullptr;
  Point lastModalPoint{};  // screen
  Image lastModalImage;    // the dialog as it looked when opened
  Control& openModal(std::unique_ptr<Control> dialog, Point windowPos,
                     std::function<void(Control&)> onClosed = {}) override;
  // Whether the dialog opened last is closed.
  bool modalClosed() const;

 private:
  // What a system host does after each event.
  void afterEvent() { collectClosed(); }
  Image frame_;
  Point origin_{};
  Point pointer_{};
  std::vector<Point> warps_;
};

}  // namespace korvo
