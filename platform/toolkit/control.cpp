#include "control.h"

#include <algorithm>

#include "host.h"

namespace korvo {

Control::Control() = default;

Control::~Control() {
  // Children go first so that each can leave the host's focus/capture/hover slots.
  while (!children_.empty()) children_.pop_back();
  if (WindowHost* h = host()) h->forget(this);
}

Control* Control::adopt(std::unique_ptr<Control> child) {
  if (!child) return nullptr;
  child->parent_ = this;
  children_.push_back(std::move(child));
  children_.back()->invalidate();
  return children_.back().get();
}

std::unique_ptr<Control> Control::release(Control* child) {
  auto it = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return c.get() == child; });
  if (it == children_.end()) return nullptr;
  invalidate(child->bounds());
  if (WindowHost* h = host()) h->forget(child);
  std::unique_ptr<Control> out = std::move(*it);
  children_.erase(it);
  out->parent_ = nullptr;
  return out;
}

WindowHost* Control::host() const {
  const Control* c = this;
  while (c->parent_) c = c->parent_;
  return c->host_;
}

void Control::setBounds(const Rect& r) {
  if (r == bounds_) return;
  const bool sized = r.width() != bounds_.width() || r.height() != bounds_.height();
  if (parent_) parent_->invalidate(bounds_);
  bounds_ = r;
  invalidate();
  if (sized) resized();
}

Point Control::toWindow(Point p) const {
  // A tree's root counts only when a host shows it: a modal dialog's root sits at its place in
  // the window, the window's own root at 0, 0.
  for (const Control* c = this; c && (c->parent_ || c->host_); c = c->parent_) {
    p.x += c->bounds_.left;
    p.y += c->bounds_.top;
  }
  return p;
}

Point Control::fromWindow(Point p) const {
  const Point o = toWindow({0, 0});
  return {p.x - o.x, p.y - o.y};
}

Point Control::toScreen(Point p) const {
  const Point w = toWindow(p);
  const WindowHost* h = host();
  if (!h) return w;
  const Point o = h->windowOrigin();
  const Point d = h->toDevice(w);
  return {d.x + o.x, d.y + o.y};
}

Control* Control::controlAt(Point p) {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    Control& c = **it;
    if (!c.visible_ || !c.enabled_ || !c.bounds_.contains(p)) continue;
    return c.controlAt({p.x - c.bounds_.left, p.y - c.bounds_.top});
  }
  return this;
}

void Control::setVisible(bool v) {
  if (v == visible_) return;
  if (!v) {
    if (WindowHost* h = host()) {
      // Hidden controls keep neither the focus nor the mouse.
      h->forget(this);
      for (const auto& c : children_) h->forget(c.get());
    }
  }
  visible_ = v;
  if (parent_) parent_->invalidate(bounds_);
}

bool Control::showing() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void Control::setEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  invalidate();
}

bool Control::focused() const {
  const WindowHost* h = host();
  return h && h->focus() == this;
}

void Control::setFocus() {
  if (WindowHost* h = host()) h->setFocus(this);
}

void Control::invalidate() { invalidate(clientRect()); }

void Control::invalidate(const Rect& area) {
  const Control* tree = this;
  while (tree->parent_) tree = tree->parent_;
  WindowHost* h = tree->host_;
  if (!h) return;
  const Point o = toWindow({0, 0});
  h->invalidate(*tree, area.intersect(clientRect()).offset(o.x, o.y));
}

void Control::paint(Canvas&) {}

void Control::mouseDown(const MouseEvent& e) {
  if (onMouseDown) onMouseDown(*this, e);
}
void Control::mouseUp(const MouseEvent& e) {
  if (onMouseUp) onMouseUp(*this, e);
}
void Control::mouseMove(const MouseEvent& e) {
  if (onMouseMove) onMouseMove(*this, e);
}
void Control::doubleClick(const MouseEvent&) {
  if (onDblClick) onDblClick(*this);
}
bool Control::mouseWheel(int delta, ShiftState shift, Point p) {
  return onMouseWheel && onMouseWheel(*this, delta, shift, p);
}
void Control::keyDown(int key, ShiftState shift) {
  if (onKeyDown) onKeyDown(*this, key, shift);
}
void Control::keyUp(int key, ShiftState shift) {
  if (onKeyUp) onKeyUp(*this, key, shift);
}
void Control::keyPress(char32_t ch) {
  if (onKeyPress) onKeyPress(*this, ch);
}
void Control::focusChanged(bool gained) {
  invalidate();
  if (onFocusChange) onFocusChange(*this, gained);
}
void Control::click() {
  if (onClick) onClick(*this);
}

}  // namespace korvo
