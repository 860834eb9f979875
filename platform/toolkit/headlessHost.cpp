#include "headlessHost.h"

#include <cstdlib>
#include <filesystem>

#include "messageBox.h"

namespace korvo {

HeadlessHost::HeadlessHost(int width, int height) : WindowHost(width, height) {}

const Image& HeadlessHost::frame() {
  renderDirty(frame_);
  return frame_;
}

Image HeadlessHost::renderControl(Control& c, int scale) {
  Image img(scaleCoord(c.width(), scale), scaleCoord(c.height(), scale));
  img.setScale(scale);
  Canvas canvas(img);
  WindowHost::paintTree(c, canvas);
  return img;
}

void HeadlessHost::press(Point p, MouseButton b, ShiftState shift) {
  pointer_ = {p.x + origin_.x, p.y + origin_.y};
  mouseDown(b, shift, p);
  afterEvent();
}

void HeadlessHost::release(Point p, MouseButton b, ShiftState shift) {
  pointer_ = {p.x + origin_.x, p.y + origin_.y};
  mouseUp(b, shift, p);
  afterEvent();
}

void HeadlessHost::move(Point p, ShiftState shift) {
  pointer_ = {p.x + origin_.x, p.y + origin_.y};
  mouseMove(shift, p);
  afterEvent();
}

void HeadlessHost::click(Point p, MouseButton b, ShiftState shift) {
  press(p, b, shift);
  release(p, b, shift);
}

void HeadlessHost::doubleClickAt(Point p, MouseButton b) {
  click(p, b);
  pointer_ = {p.x + origin_.x, p.y + origin_.y};
  doubleClick(b, 0, p);
  afterEvent();
  release(p, b);
}

void HeadlessHost::drag(Point from, Point to, int steps, ShiftState shift) {
  press(from, MouseButton::Left, shift);
  steps = std::max(1, steps);
  for (int i = 1; i <= steps; ++i)
    move({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps}, shift);
  release(to, MouseButton::Left, shift);
}

void HeadlessHost::pressKey(int key, ShiftState shift) {
  keyDown(key, shift);
  afterEvent();
  keyUp(key, shift);
  afterEvent();
}

void HeadlessHost::typeText(const std::string& ascii) {
  for (const char c : ascii) {
    keyChar(static_cast<unsigned char>(c));
    afterEvent();
  }
}

void HeadlessHost::setPointerPosition(Point screen) {
  pointer_ = screen;
  warps_.push_back(screen);
}

std::function<MenuItem*(PopupMenu&, Point)> HeadlessHost::choose(const std::string& caption) {
  return [caption](PopupMenu& m, Point) { return m.find(caption); };
}

std::function<MenuItem*(PopupMenu&, Point)> HeadlessHost::chooseTag(int tag) {
  return [tag](PopupMenu& m, Point) { return m.findTag(tag); };
}

Image HeadlessHost::frameWithMenu() {
  Image out = frame();
  if (!lastMenu) return out;
  MenuView view(*lastMenu);
  view.layout();
  Canvas canvas(out);
  const Point at = toUnits({lastMenuPoint.x - origin_.x, lastMenuPoint.y - origin_.y});
  canvas.blit(at.x, at.y, renderControl(view, scale()));
  return out;
}

MenuItem* HeadlessHost::popupMenu(PopupMenu& menu, Point screen) {
  ++menusShown;
  lastMenu = &menu;
  lastMenuPoint = screen;
  MenuItem* item = menuChooser ? menuChooser(menu, screen) : nullptr;
  if (item && (!item->selectable() || item->submenu)) item = nullptr;
  if (item && item->onClick) item->onClick(*item);
  return item;
}

void HeadlessHost::messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                              std::function<void(MessageResult)> done) {
  messages.push_back({caption, text, buttons});
  if (messageAnswers.empty()) {
    WindowHost::messageBox(caption, text, buttons, std::move(done));
    return;
  }
  const MessageResult r = messageAnswers.front();
  messageAnswers.pop_front();
  if (done) done(r);
}

bool HeadlessHost::answerMessage(MessageResult r) {
  auto* box = dynamic_cast<MessageBoxView*>(topModal());
  if (!box) return false;
  for (std::size_t i = 0; i < box->buttonControls().size(); ++i) {
    if (box->resultOf(i) != r) continue;
    box->buttonControls()[i]->click();
    afterEvent();
    return true;
  }
  return false;
}

void HeadlessHost::fileDialog(const FileDialogRequest& request, std::function<void(const std::string&)> done) {
  fileRequests.push_back(request);
  if (fileAnswers.empty()) {
    WindowHost::fileDialog(request, std::move(done));
    return;
  }
  const std::string answer = fileAnswers.front();
  fileAnswers.pop_front();
  if (done) done(answer);
}

Control& HeadlessHost::openModal(std::unique_ptr<Control> dialog, Point windowPos,
                                 std::function<void(Control&)> onClosed) {
  Control& d = WindowHost::openModal(std::move(dialog), windowPos, std::move(onClosed));
  lastModal = &d;
  const Point at = toDevice(Point{d.left(), d.top()});
  lastModalPoint = {at.x + origin_.x, at.y + origin_.y};
  lastModalImage = renderControl(d, scale());
  if (modalScript) modalScript(*this, d);
  return d;
}

bool HeadlessHost::modalClosed() const {
  for (std::size_t i = 0; i < modalCount(); ++i)
    if (modalAt(i) == lastModal) return false;
  return true;
}

}  // namespace korvo
