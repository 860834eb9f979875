#include "menu.h"

#include <algorithm>

namespace korvo {

namespace {
constexpr int kCheckWidth = 18;  // room for the tick or the radio dot
constexpr int kArrowWidth = 16;  // room for the submenu arrow
constexpr int kPadRight = 8;
constexpr int kSeparatorHeight = 7;
constexpr int kBarWidth = 5;  // column break: gap with a vertical bar
}  // namespace

MenuItem& PopupMenu::addItem(std::string caption, int tag, std::function<void(MenuItem&)> onClick) {
  auto item = std::make_unique<MenuItem>();
  item->caption = std::move(caption);
  item->tag = tag;
  item->onClick = std::move(onClick);
  items_.push_back(std::move(item));
  return *items_.back();
}

MenuItem& PopupMenu::addSeparator() { return addItem("-"); }

PopupMenu& PopupMenu::addSubmenu(std::string caption) {
  MenuItem& item = addItem(std::move(caption));
  item.submenu = std::make_unique<PopupMenu>();
  return *item.submenu;
}

MenuItem* PopupMenu::find(const std::string& caption) {
  for (auto& item : items_) {
    if (item->caption == caption) return item.get();
    if (item->submenu)
      if (MenuItem* m = item->submenu->find(caption)) return m;
  }
  return nullptr;
}

MenuItem* PopupMenu::findTag(int tag) {
  for (auto& item : items_) {
    if (!item->separator() && !item->submenu && item->tag == tag) return item.get();
    if (item->submenu)
      if (MenuItem* m = item->submenu->findTag(tag)) return m;
  }
  return nullptr;
}

MenuView::MenuView(PopupMenu& menu, Font f) : menu_(&menu) {
  font = std::move(f);
  colour = colMenu;
  layout();
}

void MenuView::layout() {
  rects_.clear();
  columnStarts_.clear();
  const int rowHeight = textHeight(font) + 6;
  // First pass: the widest caption of each column decides the column's width.
  std::vector<std::vector<std::size_t>> columns(1);
  for (std::size_t i = 0; i < menu_->size(); ++i) {
    if (menu_->item(i).breakColumn && !columns.back().empty()) columns.emplace_back();
    columns.back().push_back(i);
  }
  rects_.assign(menu_->size(), Rect{});
  int x = 2;
  int bottom = 0;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (c > 0) {
      columnStarts_.push_back(x);
      x += kBarWidth;
    }
    int w = 40;
    for (const std::size_t i : columns[c]) {
      const MenuItem& item = menu_->item(i);
      if (item.separator()) continue;
      w = std::max(w, kCheckWidth + textWidth(item.caption, font) + kPadRight + (item.submenu ? kArrowWidth : 0));
    }
    int y = 2;
    for (const std::size_t i : columns[c]) {
      const int h = menu_->item(i).separator() ? kSeparatorHeight : rowHeight;
      rects_[i] = Rect::xywh(x, y, w, h);
      y += h;
    }
    bottom = std::max(bottom, y);
    x += w;
  }
  setSize(x + 2, bottom + 2);
}

Rect MenuView::itemRect(std::size_t i) const { return i < rects_.size() ? rects_[i] : Rect{}; }

int MenuView::itemAt(Point p) const {
  for (std::size_t i = 0; i < rects_.size(); ++i)
    if (rects_[i].contains(p)) return menu_->item(i).separator() ? -1 : static_cast<int>(i);
  return -1;
}

void MenuView::setHighlighted(int i) {
  if (i < -1 || i >= static_cast<int>(rects_.size())) i = -1;
  if (i == highlight_) return;
  highlight_ = i;
  invalidate();
}

bool MenuView::navigate(int key) {
  const int n = static_cast<int>(rects_.size());
  if (n == 0) return false;
  auto selectable = [&](int i) { return menu_->item(static_cast<std::size_t>(i)).selectable(); };
  auto step = [&](int from, int dir) {
    int i = from;
    for (int k = 0; k < n; ++k) {
      i = ((i + dir) % n + n) % n;
      if (selectable(i)) return i;
    }
    return highlight_;
  };
  switch (key) {
    case keys::Up: setHighlighted(step(highlight_ < 0 ? 0 : highlight_, -1)); return true;
    case keys::Down: setHighlighted(step(highlight_ < 0 ? n - 1 : highlight_, +1)); return true;
    case keys::Home: setHighlighted(step(n - 1, +1)); return true;
    case keys::End: setHighlighted(step(0, -1)); return true;
    case keys::Left:
    case keys::Right: {
      if (highlight_ < 0 || columnStarts_.empty()) return key == keys::Left || key == keys::Right;
      const Rect cur = rects_[static_cast<std::size_t>(highlight_)];
      // The selectable item of the neighbouring column whose row is nearest.
      int best = -1;
      int bestScore = 1 << 30;
      for (int i = 0; i < n; ++i) {
        const Rect r = rects_[static_cast<std::size_t>(i)];
        const bool rightSide = key == keys::Right ? r.left > cur.left : r.left < cur.left;
        if (!rightSide || !selectable(i)) continue;
        const int score = std::abs(r.left - cur.left) * 1000 + std::abs(r.top - cur.top);
        if (score < bestScore) {
          bestScore = score;
          best = i;
        }
      }
      if (best >= 0) setHighlighted(best);
      return true;
    }
    default: return false;
  }
}

void MenuView::activate(int i) {
  if (i < 0) return;
  MenuItem& item = menu_->item(static_cast<std::size_t>(i));
  if (!item.selectable()) return;
  if (item.submenu) {
    if (onOpenSubmenu) {
      const Rect r = itemRect(static_cast<std::size_t>(i));
      const Point tl = toScreen({r.left, r.top});
      onOpenSubmenu(item, Rect::xywh(tl.x, tl.y, r.width(), r.height()));
    }
    return;
  }
  if (onChoose) onChoose(item);
}

void MenuView::paint(Canvas& canvas) {
  canvas.fillRect(clientRect(), colMenu);
  canvas.frameRect(clientRect(), rgb(120, 120, 120));
  for (const int x : columnStarts_) canvas.fillRect({x + 2, 2, x + 3, height() - 2}, rgb(160, 160, 160));
  const int th = textHeight(font);
  for (std::size_t i = 0; i < rects_.size(); ++i) {
    const MenuItem& item = menu_->item(i);
    const Rect r = rects_[i];
    if (item.separator()) {
      canvas.fillRect({r.left + 2, r.top + 3, r.right - 2, r.top + 4}, rgb(190, 190, 190));
      continue;
    }
    const bool hi = static_cast<int>(i) == highlight_;
    if (hi) canvas.fillRect(r, colHighlight);
    const Pixel text = !item.enabled ? colDisabled : hi ? colHighlightText : colText;
    const int ty = r.top + (r.height() - th) / 2;
    canvas.text(r.left + kCheckWidth, ty, item.caption, font, text);
    const int cy = r.top + r.height() / 2;
    if (item.checked) {
      if (item.radio) {
        canvas.ellipse(Rect::xywh(r.left + 6, cy - 3, 6, 6), text, text);
      } else {
        // A tick: short stroke down-right, long stroke up-right, two pixels thick.
        for (int t = 0; t < 2; ++t) {
          canvas.line(r.left + 5, cy - 1 + t, r.left + 8, cy + 2 + t, text);
          canvas.line(r.left + 8, cy + 2 + t, r.left + 14, cy - 4 + t, text);
        }
      }
    }
    if (item.submenu) {
      const int ax = r.right - 10;
      for (int k = 0; k < 4; ++k) canvas.fillRect({ax + k, cy - 3 + k, ax + k + 1, cy + 4 - k}, text);
    }
  }
}

void MenuView::mouseMove(const MouseEvent& e) {
  Control::mouseMove(e);
  const int i = itemAt({e.x, e.y});
  const int before = highlight_;
  setHighlighted(i >= 0 && menu_->item(static_cast<std::size_t>(i)).selectable() ? i : -1);
  // As menus do everywhere: the pointer on an item with a submenu opens it, on another item
  // closes the one that was open.
  if (highlight_ < 0 || highlight_ == before) return;
  if (menu_->item(static_cast<std::size_t>(highlight_)).submenu)
    activate(highlight_);
  else if (onCloseSubmenu)
    onCloseSubmenu();
}

void MenuView::mouseUp(const MouseEvent& e) {
  Control::mouseUp(e);
  if (!clientRect().contains({e.x, e.y})) {
    if (onCancel) onCancel();
    return;
  }
  activate(itemAt({e.x, e.y}));
}

void MenuView::keyDown(int key, ShiftState shift) {
  Control::keyDown(key, shift);
  if (key == keys::Right && highlight_ >= 0 && menu_->item(static_cast<std::size_t>(highlight_)).submenu) {
    activate(highlight_);
    return;
  }
  if (navigate(key)) return;
  if (key == keys::Return || key == keys::Space) activate(highlight_);
  if (key == keys::Escape && onCancel) onCancel();
}

}  // namespace korvo
