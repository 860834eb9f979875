// WindowHost: what stands between a control tree and a platform window. The base class does
// the platform-independent part (mouse capture, hover, focus, key routing, invalidation,
// painting into an image); a platform host feeds it input, shows the image and implements the
// services (pointer position, popup menus, message boxes, modal dialogs). HeadlessHost
// (headlessHost.h) is the one used by tests.
#pragma once

#include <memory>
#include <string>

#include "control.h"
#include "menu.h"

namespace korvo {

enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageResult { None, Ok, Cancel, Yes, No };

class WindowHost {
 public:
  // The host owns a root control of the given client size that fills itself with its colour.
  WindowHost(int width, int height);
  virtual ~WindowHost();
  WindowHost(const WindowHost&) = delete;
  WindowHost& operator=(const WindowHost&) = delete;

  Control& root() { return *root_; }
  // Replaces the root control (the window's own control class).
  void setRoot(std::unique_ptr<Control> root);

  // Input in window coordinates --------------------------------------------------------------
  void mouseDown(MouseButton button, ShiftState shift, Point p);
  void mouseUp(MouseButton button, ShiftState shift, Point p);
  void mouseMove(ShiftState shift, Point p);
  // A second press in quick succession: the control gets doubleClick, then mouseDown with
  // kDouble in the shift state (as the Windows toolkit does).
  void doubleClick(MouseButton button, ShiftState shift, Point p);
  void mouseWheel(int delta, ShiftState shift, Point p);
  void keyDown(int key, ShiftState shift);
  void keyUp(int key, ShiftState shift);
  void keyChar(char32_t ch);

  // Focus, capture, hover ---------------------------------------------------------------------
  Control* focus() const { return focus_; }
  void setFocus(Control* c);
  Control* capture() const { return capture_; }
  Control* hover() const { return hover_; }
  Cursor cursor() const;
  // Called by Control before it leaves the tree.
  void forget(const Control* c);

  // Painting ----------------------------------------------------------------------------------
  void invalidate(const Rect& windowArea);
  Rect dirty() const { return dirty_; }
  bool needsPaint() const { return !dirty_.empty(); }
  // Paints the whole tree into `image` (resized to the root's size) and clears the dirty area.
  void render(Image& image);
  // Paints only the dirty area into an image of the root's size kept from before.
  void renderDirty(Image& image);
  static void paintTree(Control& c, Canvas& canvas);

  // Services ----------------------------------------------------------------------------------
  // The window's top-left corner on the screen.
  virtual Point windowOrigin() const { return {}; }
  virtual Point pointerPosition() const = 0;  // screen
  // Moves the system pointer; hosts that cannot, ignore it.
  virtual void setPointerPosition(Point screen) = 0;
  // Shows the menu at a screen point and blocks until it is closed; runs the chosen item's
  // onClick and returns it (null when cancelled).
  virtual MenuItem* popupMenu(PopupMenu& menu, Point screen) = 0;
  virtual MessageResult messageBox(const std::string& caption, const std::string& text,
                                    MessageButtons buttons) = 0;
  // Shows a control tree as a modal window whose client area has the dialog's size, at a
  // screen position; returns when closeModal() is called (from a handler of the dialog).
  virtual void runModal(Control& dialog, Point screen) = 0;
  virtual void closeModal(Control& dialog) = 0;

 private:
  Control* target(Point p);
  std::unique_ptr<Control> root_;
  Control* focus_ = nullptr;
  Control* capture_ = nullptr;
  Control* hover_ = nullptr;
  unsigned buttonsDown_ = 0;
  Rect dirty_{};
};

// Shows a message box through the control's host; MessageResult::None without a host.
MessageResult messageBox(Control& from, const std::string& caption, const std::string& text,
                         MessageButtons buttons = MessageButtons::Ok);

}  // namespace korvo
