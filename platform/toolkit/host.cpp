#include "host.h"

#include <algorithm>
#include <vector>

#include "fileDialog.h"
#include "messageBox.h"

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
  // The trees may call forget() while they are torn down; dialogs go first, without their
  // callbacks (whoever opened them is going away with the window).
  std::vector<Modal> modals = std::move(modals_);
  for (Modal& m : modals) m.dialog->host_ = nullptr;
  modals.clear();
  closed_.clear();
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

Control& WindowHost::inputRoot() const { return modals_.empty() ? *root_ : *modals_.back().dialog; }

Control* WindowHost::target(Point p) {
  if (capture_) return capture_;
  Control& r = inputRoot();
  return r.controlAt({p.x - r.left(), p.y - r.top()});
}

Control& WindowHost::openModal(std::unique_ptr<Control> dialog, Point windowPos,
                               std::function<void(Control&)> onClosed) {
  Control& d = *dialog;
  const int x = std::max(0, std::min(windowPos.x, root_->width() - d.width()));
  const int y = std::max(0, std::min(windowPos.y, root_->height() - d.height()));
  d.setPosition(x, y);
  d.host_ = this;
  // A press that opened the dialog must not keep sending the drag to the window below, and its
  // release must not reach the dialog as a click.
  capture_ = nullptr;
  hover_ = nullptr;
  swallowRelease_ |= buttonsDown_;
  modals_.push_back({std::move(dialog), std::move(onClosed), focus_});
  std::vector<Control*> stops;
  collectTabStops(d, stops);
  Control* first = d.initialFocus();
  setFocus(first ? first : stops.empty() ? &d : stops.front());
  if (modalsApart_) {
    modals_.back().dirty = d.clientRect();
    modalOpened(d);
  } else {
    invalidate(d.bounds());
  }
  return d;
}

void WindowHost::closeModal(Control& dialog) {
  auto it = std::find_if(modals_.begin(), modals_.end(), [&](const Modal& m) { return m.dialog.get() == &dialog; });
  if (it == modals_.end()) return;
  Modal m = std::move(*it);
  modals_.erase(it);
  forget(&dialog);
  if (modalsApart_)
    modalClosing(dialog);
  else
    invalidate(dialog.bounds());
  Control* back = m.focusBefore;
  // The control that had the focus may have been inside a dialog closed meanwhile.
  bool alive = back && back->host() == this;
  if (alive) {
    const Control* top = back;
    while (top->parent()) top = top->parent();
    alive = top == root_.get() ||
            std::any_of(modals_.begin(), modals_.end(), [&](const Modal& o) { return o.dialog.get() == top; });
  }
  setFocus(alive ? back : nullptr);
  closed_.push_back(std::move(m.dialog));
  if (m.onClosed) m.onClosed(dialog);
}

void WindowHost::messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                            std::function<void(MessageResult)> done) {
  auto view = std::make_unique<MessageBoxView>(caption, text, buttons);
  MessageBoxView& v = *view;
  auto result = std::make_shared<MessageResult>(MessageResult::None);
  v.onClose = [this, result](MessageBoxView& box, MessageResult r) {
    *result = r;
    closeModal(box);
  };
  openModal(std::move(view), {(root_->width() - v.width()) / 2, (root_->height() - v.height()) / 2},
            [result, done = std::move(done)](Control&) {
              if (done) done(*result);
            });
}

void WindowHost::fileDialog(const FileDialogRequest& request, std::function<void(const std::string&)> done) {
  auto view = std::make_unique<FileDialogView>(request);
  FileDialogView& v = *view;
  v.onClose = [this](FileDialogView& d) { closeModal(d); };
  openModal(std::move(view), {(root_->width() - v.width()) / 2, (root_->height() - v.height()) / 2},
            [done = std::move(done)](Control& d) {
              if (done) done(static_cast<FileDialogView&>(d).result());
            });
}

void WindowHost::mouseDown(MouseButton button, ShiftState shift, Point p) {
  forgetLostRelease(buttonBit(button));
  Control* t = target(p);
  // A press beside the window's text box ends its editing, as a click outside an edit field
  // does elsewhere; a control that takes the focus itself gets it below.
  if (modals_.empty() && dynamic_cast<TextBox*>(focus_) && !isAncestorOrSelf(focus_, t)) setFocus(root_.get());
  buttonsDown_ |= buttonBit(button);
  capture_ = t;
  const Point local = t->fromWindow(p);
  t->mouseDown({button, shift | buttonBit(button), local.x, local.y});
}

void WindowHost::forgetLostRelease(ShiftState bit) {
  swallowRelease_ &= ~bit;
  if (!(buttonsDown_ & bit)) return;
  buttonsDown_ &= ~bit;
  if (buttonsDown_ == 0) capture_ = nullptr;
}

void WindowHost::mouseUp(MouseButton button, ShiftState shift, Point p) {
  const ShiftState bit = buttonBit(button);
  if (swallowRelease_ & bit) {
    swallowRelease_ &= ~bit;
    buttonsDown_ &= ~bit;
    if (buttonsDown_ == 0) capture_ = nullptr;
    return;
  }
  Control* t = target(p);
  buttonsDown_ &= ~bit;
  if (buttonsDown_ == 0) capture_ = nullptr;
  const Point local = t->fromWindow(p);
  t->mouseUp({button, shift, local.x, local.y});
}

void WindowHost::mouseMove(ShiftState shift, Point p) {
  Control* t = target(p);
  if (capture_) {
    Control& r = inputRoot();
    hover_ = r.controlAt({p.x - r.left(), p.y - r.top()});
  } else {
    hover_ = t;
  }
  const Point local = t->fromWindow(p);
  t->mouseMove({MouseButton::Left, shift | buttonsDown_, local.x, local.y});
}

void WindowHost::doubleClick(MouseButton button, ShiftState shift, Point p) {
  forgetLostRelease(buttonBit(button));
  Control* t = target(p);
  const Point local = t->fromWindow(p);
  const MouseEvent e{button, shift | buttonBit(button) | kDouble, local.x, local.y};
  const Control* before = &inputRoot();
  const std::size_t dialogs = modals_.size();
  t->doubleClick(e);
  if (&inputRoot() != before || modals_.size() != dialogs) {
    // The double click opened or closed a dialog: the press ends there. It reaches nothing in
    // the dialog now on top, and its release (when it comes at all) belongs to no control.
    buttonsDown_ |= buttonBit(button);
    swallowRelease_ |= buttonBit(button);
    capture_ = nullptr;
    return;
  }
  // The handler may have removed or hidden the control; look it up again.
  mouseDown(button, shift | kDouble, p);
}

void WindowHost::mouseWheel(int delta, ShiftState shift, Point p) {
  constexpr int kNotch = 120;
  wheelRest_ += delta;
  const int notches = wheelRest_ / kNotch;
  wheelRest_ -= notches * kNotch;
  if (notches == 0) return;
  // The control under the pointer and its parents first (a knob turns where the pointer rests),
  // then the focused control.
  Control& r = inputRoot();
  for (Control* c = r.controlAt({p.x - r.left(), p.y - r.top()}); c; c = c->parent())
    if (c->mouseWheel(notches, shift, c->fromWindow(p))) return;
  if (focus_ && focus_->mouseWheel(notches, shift, focus_->fromWindow(p))) return;
}

void WindowHost::requestClipboardText(Control& requester) {
  pasteTarget_ = &requester;
  fetchClipboardText();
}

void WindowHost::deliverClipboardText(const std::string& text) {
  Control* c = pasteTarget_;
  pasteTarget_ = nullptr;
  if (c && c == focus_) c->pasteText(text);
}

void WindowHost::keyDown(int key, ShiftState shift) {
  Control* t = focus_ ? focus_ : &inputRoot();
  if (key == keys::Tab && !t->wantsNavigationKeys()) {
    std::vector<Control*> stops;
    collectTabStops(inputRoot(), stops);
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

void WindowHost::keyUp(int key, ShiftState shift) { (focus_ ? focus_ : &inputRoot())->keyUp(key, shift); }

void WindowHost::keyChar(char32_t ch) { (focus_ ? focus_ : &inputRoot())->keyPress(ch); }

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
  if (pasteTarget_ && isAncestorOrSelf(c, pasteTarget_)) pasteTarget_ = nullptr;
  for (Modal& m : modals_)
    if (m.focusBefore && isAncestorOrSelf(c, m.focusBefore)) m.focusBefore = nullptr;
}

void WindowHost::invalidate(const Rect& windowArea) {
  dirty_ = dirty_.unite(windowArea.intersect(root_->clientRect()));
}

void WindowHost::invalidate(const Control& tree, const Rect& windowArea) {
  Modal* m = modalsApart_ && &tree != root_.get() ? modalOf(tree) : nullptr;
  if (!m) {
    invalidate(windowArea);
    return;
  }
  m->dirty = m->dirty.unite(windowArea.offset(-tree.left(), -tree.top()).intersect(tree.clientRect()));
}

WindowHost::Modal* WindowHost::modalOf(const Control& dialog) {
  for (Modal& m : modals_)
    if (m.dialog.get() == &dialog) return &m;
  return nullptr;
}

Rect WindowHost::renderModal(const Control& dialog, Image& image) {
  Modal* m = modalOf(dialog);
  if (!m) return {};
  Control& d = *m->dialog;
  Rect area = m->dirty;
  m->dirty = {};
  const int w = scaleCoord(d.width(), scale_), h = scaleCoord(d.height(), scale_);
  if (image.width() != w || image.height() != h || image.scale() != scale_) {
    image.reset(w, h);
    image.setScale(scale_);
    area = d.clientRect();
  }
  if (area.empty()) return {};
  Canvas canvas(image);
  Canvas sub = canvas.clipped(area);
  paintTree(d, sub);
  return scaleRect(area, scale_);
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

void WindowHost::setScale(int percent) {
  percent = std::clamp(percent, 25, 800);
  if (percent == scale_) return;
  scale_ = percent;
  invalidate(root_->clientRect());
}

Size WindowHost::deviceSize() const {
  return {scaleCoord(root_->width(), scale_), scaleCoord(root_->height(), scale_)};
}

void WindowHost::render(Image& image) {
  const Size d = deviceSize();
  image.reset(d.width, d.height);
  image.setScale(scale_);
  Canvas canvas(image);
  paintTree(*root_, canvas);
  if (!modalsApart_) paintModals(canvas);
  dirty_ = {};
}

void WindowHost::renderDirty(Image& image) {
  const Size d = deviceSize();
  if (image.width() != d.width || image.height() != d.height || image.scale() != scale_) {
    render(image);
    return;
  }
  if (dirty_.empty()) return;
  Canvas canvas(image);
  Canvas area = canvas.clipped(dirty_);
  paintTree(*root_, area);
  if (!modalsApart_) paintModals(area);
  dirty_ = {};
}

void WindowHost::paintModals(Canvas& canvas) {
  for (const Modal& m : modals_) {
    Canvas sub = canvas.child(m.dialog->bounds());
    if (!sub.clipRect().empty()) paintTree(*m.dialog, sub);
  }
}

void messageBox(Control& from, const std::string& caption, const std::string& text, MessageButtons buttons,
                std::function<void(MessageResult)> done) {
  if (WindowHost* h = from.host())
    h->messageBox(caption, text, buttons, std::move(done));
  else if (done)
    done(MessageResult::None);
}

}  // namespace korvo
