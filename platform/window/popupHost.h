// A menu level shown in a top-level window of its own (a platform host's popup). Its controls
// ask it for the screen, and it asks the editor's host.
#pragma once

#include "host.h"

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

}  // namespace korvo
