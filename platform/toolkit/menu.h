// Popup menus: the model (items with captions, tags, marks, separators, column breaks and
// submenus) and MenuView, the control that draws one level of a menu and navigates it with
// the mouse and the keyboard. Hosts show a MenuView in a top-level window; the headless
// host lets the test choose (host.h).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control.h"

namespace korvo {

class PopupMenu;

struct MenuItem {
  std::string caption;  // "-" makes a separator
  int tag = 0;
  bool checked = false;
  bool radio = false;  // a checked radio item shows a dot instead of a tick
  bool enabled = true;
  // Starts a new column; the column is separated from the previous one by a vertical bar.
  bool breakColumn = false;
  std::unique_ptr<PopupMenu> submenu;
  std::function<void(MenuItem&)> onClick;

  bool separator() const { return caption == "-"; }
  // Can be highlighted and chosen: not a separator, enabled.
  bool selectable() const { return !separator() && enabled; }
};

class PopupMenu {
 public:
  PopupMenu() = default;
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;

  MenuItem& addItem(std::string caption, int tag = 0, std::function<void(MenuItem&)> onClick = {});
  MenuItem& addSeparator();
  PopupMenu& addSubmenu(std::string caption);
  void clear() { items_.clear(); }
  std::size_t size() const { return items_.size(); }
  MenuItem& item(std::size_t i) { return *items_[i]; }
  const MenuItem& item(std::size_t i) const { return *items_[i]; }
  // The first item (depth first through submenus) whose caption or tag matches; null if none.
  MenuItem* find(const std::string& caption);
  MenuItem* findTag(int tag);

  // Whether the menu opens by itself on a right click (the window's context menus do not).
  bool autoPopup = true;

 private:
  std::vector<std::unique_ptr<MenuItem>> items_;
};

// Draws one menu level and tracks its highlight. Positions in this control's coordinates.
class MenuView : public Control {
 public:
  explicit MenuView(PopupMenu& menu, Font font = Font{"MS Sans Serif", -11});

  PopupMenu& menu() { return *menu_; }
  // Sizes the control to the menu's layout.
  void layout();
  // Rectangle of item i (empty for an out-of-range index).
  Rect itemRect(std::size_t i) const;
  // Item under a point, or -1 (separators and the gaps between columns give -1).
  int itemAt(Point p) const;
  int highlighted() const { return highlight_; }
  void setHighlighted(int i);

  // Keyboard navigation: Up/Down move to the previous/next selectable item (wrapping),
  // Left/Right move to the neighbouring column at the same row, Home/End to the first/last.
  // Returns true when the key was a navigation key.
  bool navigate(int key);

  // Set by the showing host: an item was chosen (Enter, click) or the menu was cancelled
  // (Escape, click outside). A chosen item with a submenu opens it instead (onOpenSubmenu).
  std::function<void(MenuItem&)> onChoose;
  std::function<void()> onCancel;
  std::function<void(MenuItem&, Rect itemRectOnScreen)> onOpenSubmenu;
  // The pointer came to rest on an item without a submenu: a submenu open beside this level closes.
  std::function<void()> onCloseSubmenu;

  void paint(Canvas& canvas) override;
  void mouseMove(const MouseEvent& e) override;
  void mouseUp(const MouseEvent& e) override;
  void keyDown(int key, ShiftState shift) override;
  bool wantsNavigationKeys() const override { return true; }

  Pixel colMenu = rgb(240, 240, 240);
  Pixel colText = 0;
  Pixel colDisabled = rgb(160, 160, 160);
  Pixel colHighlight = rgb(0, 120, 215);
  Pixel colHighlightText = rgb(255, 255, 255);

 private:
  void activate(int i);
  PopupMenu* menu_;
  std::vector<Rect> rects_;
  std::vector<int> columnStarts_;  // x of each column after the first (for the bars)
  int highlight_ = -1;
};

}  // namespace korvo
