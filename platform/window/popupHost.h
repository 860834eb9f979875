// What the platform hosts' top-level windows over the editor share: a menu level shown in a
// window of its own (its controls ask it for the screen, and it asks the editor's host), and
// the title a dialog's window carries for the window manager and the task list.
#pragma once

#include <string>

#include "dialog.h"
#include "host.h"
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

inline std::string dialogTitle(const Control& dialog) {
  if (const auto* f = dynamic_cast<const DialogFrame*>(&dialog); f && !f->title.empty()) return f->title;
  if (const auto* b = dynamic_cast<const MessageBoxView*>(&dialog); b && !b->caption().empty()) return b->caption();
  return "Korvo";
}

}  // namespace korvo
