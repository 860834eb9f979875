// What the platform hosts' top-level windows over the editor share: a menu level shown in a
// window of its own (its controls ask it for the screen, and it asks the editor's host), and
// the title a dialog's window carries for the window manager and the task list.
#pragma once

#include <string>
#include <vector>

#include "dialog.h"
#include "host.h"
#include "menu.h"
#include "messageBox.h"

namespace korvo {

class ScreenPopupHost : public WindowHost {
 public:
  ScreenPopupHost(WindowHost& owner, int w, int h, Point origin) : WindowHost(w, h), owner_(owner), origin_(origin) {}
  Point windowOrigin() const override { return origin_; }
  Point pointerPosition() const override { return owner_.pointerPosition(); }
  void setPointerPosition(Point screen) override { owner_.setPointerPosition(screen); }
  MenuItem* popupMenu(PopupMenu&, Point) override { return nullptr; }

 private:
  WindowHost& owner_;
  Point origin_;
};

// What the levels of an open menu ask for while an event is handled; done after it, since the
// level that asked may be destroyed by the doing.
class MenuRequests {
 public:
  void watch(MenuView& view, std::size_t level) {
    view.onChoose = [this](MenuItem& item) { chosen_ = &item; };
    view.onCancel = [this] { cancelled_ = true; };
    view.onOpenSubmenu = [this, level](MenuItem& item, Rect r) { submenu_ = {level, &item, {r.right, r.top}}; };
    view.onCloseSubmenu = [this, level] { collapseTo_ = level + 1; };
  }
  void cancel() { cancelled_ = true; }
  // Does what was asked (a choice before a cancel before a submenu) with a platform host's
  // menu windows: `Levels` has popups, closePopups(), destroyPopup() and openLevel(menu, at).
  // `run` gets the chosen item once the menu is closed.
  template <class Levels, class Run>
  void settle(Levels& levels, Run run) {
    if (chosen_) {
      MenuItem* item = chosen_;
      chosen_ = nullptr;
      levels.closePopups();
      run(*item);
    } else if (cancelled_) {
      levels.closePopups();
    } else if (submenu_.item) {
      const Submenu r = submenu_;
      submenu_ = {};
      // The level asked for may be open already (the pointer rested on its item, then clicked it).
      MenuView* shown =
          levels.popups.size() == r.level + 2 ? dynamic_cast<MenuView*>(&levels.popups.back().host->root()) : nullptr;
      const bool open = shown && &shown->menu() == r.item->submenu.get();
      if (!open) {
        while (levels.popups.size() > r.level + 1) levels.destroyPopup();
        if (r.item->submenu) levels.openLevel(*r.item->submenu, r.at);
      }
    } else if (collapseTo_ > 0) {
      while (levels.popups.size() > collapseTo_) levels.destroyPopup();
    }
    // What the doing asked for in turn is not done.
    *this = {};
  }

 private:
  struct Submenu {
    std::size_t level = 0;
    MenuItem* item = nullptr;
    Point at{};  // where its level opens, on the screen
  };
  MenuItem* chosen_ = nullptr;
  bool cancelled_ = false;
  Submenu submenu_;
  std::size_t collapseTo_ = 0;  // levels kept open when a submenu closes; 0: none closes
};

// The topmost menu level whose window holds a screen point, or null.
template <class Popup>
Popup* levelAt(std::vector<Popup>& popups, Point screen) {
  for (auto it = popups.rbegin(); it != popups.rend(); ++it) {
    const Point o = it->host->windowOrigin();
    const Size size = it->host->deviceSize();
    if (Rect::xywh(o.x, o.y, size.width, size.height).contains(screen)) return &*it;
  }
  return nullptr;
}

// A dialog window dragged by its caption bar: the window follows the pointer's moves on the
// screen from where the press was.
struct WindowDrag {
  bool active = false;
  Point pointerStart{}, windowStart{};

  void start(Point pointer, Point window) {
    active = true;
    pointerStart = pointer;
    windowStart = window;
  }
  Point windowAt(Point pointer) const {
    return {windowStart.x + pointer.x - pointerStart.x, windowStart.y + pointer.y - pointerStart.y};
  }
};

// Whether a press at `p` (in the units of the editor's tree, as the dialog's position is) lands
// on the dialog's caption bar.
inline bool onDragArea(const Control& dialog, Point p) {
  return dialog.dragArea().contains({p.x - dialog.left(), p.y - dialog.top()});
}

inline std::string dialogTitle(const Control& dialog) {
  if (const auto* f = dynamic_cast<const DialogFrame*>(&dialog); f && !f->title.empty()) return f->title;
  if (const auto* b = dynamic_cast<const MessageBoxView*>(&dialog); b && !b->caption().empty()) return b->caption();
  return "Korvo";
}

}  // namespace korvo
