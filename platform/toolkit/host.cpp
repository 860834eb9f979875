#include "host.h"

#include <vector>

namespace korvo {

namespace {
ShiftState buttonBit(MouseButton b) {
  switch (b) {
    case MouseButton::Left: return kLeftButton;
    case MouseButton::Right: return kRightButton;
    case MouseButton::Middle: return kMiddleButton;
  }
  return 0;
}

bool isAncestorOrSelf(const Control* a, const Control* c) {
  for (; c; c = c->parent())
    if (c == a) return true;
  return false;
}

void collectTabStops(Control& c, std::vector<Control*>& out) {
  if (!c.visible() || !c.enabled()) return;
  if (c.tabStop) out.push_back(&c);
  for (const auto& child : c.children()) collectTabStops(*child, out);
}
// The default root: the window's client area in its colour.
class RootControl : public Control {
 public:
  void paint(Canvas& canvas) override { canvas.fillRect(clientRect(), colour); }
};
}  // namespace

WindowHost::WindowHost(int width, int height) {
  auto r = std::make_unique<RootControl>();
  r->setBounds(0, 0, width, height);
  setRoot(std::move(r));
}

WindowHost::~WindowHost() {
  // The tree may call forget() while it is torn down.
  std::unique_ptr<Control> r = std::move(root_);
  focus_ = capture_ = hover_ = nullptr;
  if (r) r->host_ = nullptr;
}

void WindowHost::setRoot(std::unique_ptr<Control> root) {
  if (root_) {
    root_->host_ = nullptr;
    focus_ = capture_ = hover_ = nullptr;
  }
  root_ = std::move(root);
  root_->host_ = this;
  invalidate(root_->clientRect());
}

Control* WindowHost::target(Point p) {
  if (capture_) return capture_;
  return root_->controlAt(p);
}

void WindowHost::mouseDown(MouseButton button, ShiftState shift, Point p) {
  Control* t = target(p);
  buttonsDown_ |= buttonBit(button);
  capture_ = t;
  const Point local = t->fromWindow(p);
  t->mouseDown({button, shift | buttonBit(button), local.x, local.y});
}

void WindowHost::mouseUp(MouseButton button, ShiftState shift, Point p) {
  Control* t = target(p);
  buttonsDown_ &= ~buttonBit(button);
  if (buttonsDown_ == 0) capture_ = nullptr;
  const Point local = t->fromWindow(p);
  t->mouseUp({button, shift, local.x, local.y});
}

void WindowHost::mouseMove(ShiftState shift, Point p) {
  Control* t = target(p);
  hover_ = capture_ ? root_->controlAt(p) : t;
  const Point local = t->fromWindow(p);
  t->mouseMove({MouseButton::Left, shift | buttonsDown_, local.x, local.y});
}

void WindowHost::doubleClick(MouseButton button, ShiftState shift, Point p) {
  Control* t = target(p);
  const Point local = t->fromWindow(p);
  const MouseEvent e{button, shift | buttonBit(button) | kDouble, local.x, local.y};
  t->doubleClick(e);
  // The handler may have removed or hidden the control; look it up again.
  mouseDown(button, shift | kDouble, p);
}

void WindowHost::mouseWheel(int delta, ShiftState shift, Point p) {
  // The focused control first, then the one under the pointer and its parents.
  if (focus_ && focus_->mouseWheel(delta, shift, focus_->fromWindow(p))) return;
  for (Control* c = root_->controlAt(p); c; c = c->parent())
    if (c != focus_ && c->mouseWheel(delta, shift, c->fromWindow(p))) return;
}

void WindowHost::keyDown(int key, ShiftState shift) {
  Control* t = focus_ ? focus_ : root_.get();
  if (key == keys::Tab && !t->wantsNavigationKeys()) {
    std::vector<Control*> stops;
    collectTabStops(*root_, stops);
    if (!stops.empty()) {
      std::size_t i = 0;
      while (i < stops.size() && stops[i] != focus_) ++i;
      const bool back = (shift & kShift) != 0;
      if (i == stops.size())
        i = back ? stops.size() - 1 : 0;
      else
        i = back ? (i + stops.size() - 1) % stops.size() : (i + 1) % stops.size();
      setFocus(stops[i]);
      return;
    }
  }
  t->keyDown(key, shift);
}

void WindowHost::keyUp(int key, ShiftState shift) { (focus_ ? focus_ : root_.get())->keyUp(key, shift); }

void WindowHost::keyChar(char32_t ch) { (focus_ ? focus_ : root_.get())->keyPress(ch); }

void WindowHost::setFocus(Control* c) {
  if (c == focus_) return;
  Control* old = focus_;
  focus_ = c;
  if (old) old->focusChanged(false);
  if (c && focus_ == c) c->focusChanged(true);
}

Cursor WindowHost::cursor() const {
  for (const Control* c = capture_ ? capture_ : hover_; c; c = c->parent())
    if (c->cursor != Cursor::Default) return c->cursor;
  return Cursor::Arrow;
}

void WindowHost::forget(const Control* c) {
  if (focus_ && isAncestorOrSelf(c, focus_)) focus_ = nullptr;
  if (capture_ && isAncestorOrSelf(c, capture_)) {
    capture_ = nullptr;
    buttonsDown_ = 0;
  }
  if (hover_ && isAncestorOrSelf(c, hover_)) hover_ = nullptr;
}

void WindowHost::invalidate(const Rect& windowArea) {
  dirty_ = dirty_.unite(windowArea.intersect(root_->clientRect()));
}

void WindowHost::paintTree(Control& c, Canvas& canvas) {
  c.paint(canvas);
  for (const auto& child : c.children()) {
    if (!child->visible()) continue;
    Canvas sub = canvas.child(child->bounds());
    if (sub.clipRect().empty()) continue;
    paintTree(*child, sub);
  }
}

void WindowHost::render(Image& image) {
  image.reset(root_->width(), root_->height());
  Canvas canvas(image);
  paintTree(*root_, canvas);
  dirty_ = {};
}

void WindowHost::renderDirty(Image& image) {
  if (image.width() != root_->width() || image.height() != root_->height()) {
    render(image);
    return;
  }
  if (dirty_.empty()) return;
  Canvas canvas(image);
  Canvas area = canvas.clipped(dirty_);
  paintTree(*root_, area);
  dirty_ = {};
}

MessageResult messageBox(Control& from, const std::string& caption, const std::string& text,
                         MessageButtons buttons) {
  WindowHost* h = from.host();
  return h ? h->messageBox(caption, text, buttons) : MessageResult::None;
}

}  // namespace korvo
