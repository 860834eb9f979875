// The top-level windows a platform host opens over the editor: the levels of an open menu and
// the dialogs, each in a window of its own, the topmost last. What they do is the same on every
// system and is decided here: which windows exist and in what order, where a menu level opens,
// when the pointer is grabbed for a menu, and which presses go no further while a dialog is
// open. The backend (X11, Win32) makes, shows, raises and destroys the windows and translates
// their events.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "popupHost.h"

namespace korvo {

template <class Native>
class TopLevels {
 public:
  // The system's side. Positions and sizes are on the screen, in device pixels.
  class Backend {
   public:
    // A window for the dialog, not shown yet; a null handle when none can be made.
    virtual Native createDialogWindow(Control& dialog, Point at, Size size) = 0;
    // A window for a menu level, not shown yet; a null handle when none can be made.
    virtual Native createMenuWindow(Point at, Size size) = 0;
    // Shows a window once its record is in the lists (its first events may look for it there).
    virtual void showWindow(Native w, bool dialog) = 0;
    virtual void destroyWindow(Native w) = 0;
    // Brings the dialog to the front and gives it the keys.
    virtual void raiseDialog(Native w) = 0;
    // The part of the screen a menu level opening at `where` must stay inside.
    virtual Rect menuArea(Point where) = 0;
    // The first level takes the pointer (and keys) while a menu is open, and lets them go before
    // the levels are destroyed.
    virtual void grabForMenu(Native firstLevel) = 0;
    virtual void releaseMenuGrab(Native firstLevel) = 0;

   protected:
    ~Backend() = default;
  };

  struct Popup {
    Native w{};
    std::unique_ptr<ScreenPopupHost> host;
    MenuView* view = nullptr;
    Image frame;
    Rect exposed{};
  };
  struct Dialog {
    Control* dialog = nullptr;
    Native w{};
    Image frame;
    Rect exposed{};
    bool mapped = false;
    WindowDrag drag;  // by its caption bar
  };

  TopLevels(WindowHost& editor, Backend& backend) : editor_(editor), backend_(backend) {}

  std::vector<Popup> popups;
  std::vector<Dialog> dialogs;
  MenuRequests menus;

  // Dialogs -------------------------------------------------------------------------------------
  // A window for a dialog of the editor, where the dialog stands over it; null when none could
  // be made (the dialog is then drawn nowhere, and the editor waits for it all the same).
  Dialog* openDialog(Control& d) {
    const Point o = editor_.windowOrigin();
    const int s = editor_.scale();
    const Point at{o.x + scaleCoord(d.left(), s), o.y + scaleCoord(d.top(), s)};
    const Size size{std::max(1, scaleCoord(d.width(), s)), std::max(1, scaleCoord(d.height(), s))};
    const Native w = backend_.createDialogWindow(d, at, size);
    if (!w) return nullptr;
    Dialog record;
    record.dialog = &d;
    record.w = w;
    dialogs.push_back(std::move(record));
    backend_.showWindow(w, true);
    return &dialogs.back();
  }

  void closeDialog(const Control& d) {
    auto it = std::find_if(dialogs.begin(), dialogs.end(), [&](const Dialog& x) { return x.dialog == &d; });
    if (it == dialogs.end()) return;
    const Native w = it->w;
    dialogs.erase(it);
    if (w) backend_.destroyWindow(w);
  }

  Dialog* dialogOf(Native w) {
    for (Dialog& d : dialogs)
      if (d.w == w) return &d;
    return nullptr;
  }

  // Presses while a dialog is open --------------------------------------------------------------
  // A press of `button` (0..31) in a window that waits for a dialog (the editor, a dialog under
  // the topmost): true when a dialog is open; the press and its release then go no further and
  // the topmost dialog comes to the front.
  bool holdPress(unsigned button) {
    if (dialogs.empty()) return false;
    held_ |= bit(button);
    backend_.raiseDialog(dialogs.back().w);
    return true;
  }
  // A press that went on: a release still held for that button from before is forgotten.
  void pressWentOn(unsigned button) { held_ &= ~bit(button); }
  // The release of a held press: true, and it is forgotten.
  bool releaseHeld(unsigned button) {
    if ((held_ & bit(button)) == 0) return false;
    held_ &= ~bit(button);
    return true;
  }

  // Menus ---------------------------------------------------------------------------------------
  // A level of a menu at a screen point, moved left or up as far as needed to stay in the area
  // the backend gives; the first level grabs the pointer.
  void openLevel(PopupMenu& menu, Point where) {
    auto view = std::make_unique<MenuView>(menu);
    view->layout();
    const int s = editor_.scale();
    const Size size{std::max(1, scaleCoord(view->width(), s)), std::max(1, scaleCoord(view->height(), s))};
    const Rect area = backend_.menuArea(where);
    Point at = where;
    if (at.x + size.width > area.right) at.x = std::max(area.left, area.right - size.width);
    if (at.y + size.height > area.bottom) at.y = std::max(area.top, area.bottom - size.height);
    Popup p;
    p.host = std::make_unique<ScreenPopupHost>(editor_, view->width(), view->height(), at);
    p.host->setScale(s);
    p.view = view.get();
    menus.watch(*view, popups.size());
    p.host->setRoot(std::move(view));
    p.w = backend_.createMenuWindow(at, size);
    if (!p.w) return;
    popups.push_back(std::move(p));
    backend_.showWindow(popups.back().w, false);
    backend_.grabForMenu(popups.front().w);
  }

  void destroyPopup() {
    const Native w = popups.back().w;
    popups.pop_back();
    if (w) backend_.destroyWindow(w);
  }

  void closePopups() {
    if (popups.empty()) return;
    backend_.releaseMenuGrab(popups.front().w);
    while (!popups.empty()) destroyPopup();
  }

  // The topmost level whose window holds a screen point, or null.
  Popup* levelAt(Point screen) { return korvo::levelAt(popups, screen); }

 private:
  static unsigned bit(unsigned button) { return 1u << (button & 31u); }

  WindowHost& editor_;
  Backend& backend_;
  unsigned held_ = 0;  // buttons whose release goes nowhere: pressed while a dialog waited
};

}  // namespace korvo
