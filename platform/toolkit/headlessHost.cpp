#include "headlessHost.h"

#include <cstdlib>
#include <filesystem>

namespace korvo {

HeadlessHost::HeadlessHost(int width, int height) : WindowHost(width, height) {}

const Image& HeadlessHost::frame() {
  renderDirty(frame_);
  return frame_;
}

Image HeadlessHost::renderControl(Control& c) {
  Image img(c.width(), c.height());
  Canvas canvas(img);
  WindowHost::paintTree(c, canvas);
  return img;
}

void HeadlessHost::press(Point p, MouseButton b, ShiftState shift) {
  pointer_ = {p.x + origin_.x, p.y + origin_.y};
  mouseDown(b, shift, p);
}

void HeadlessHost::release(Point p, MouseButton b, ShiftState shift) {
  pointer_ = {p.x + origin_.x, p.y + origin_.y};
  mouseUp(b, shift, p);
}

void HeadlessHost::move(Point p, ShiftState shift) {
  pointer_ = {p.x + origin_.x, p.y + origin_.y};
  mouseMove(shift, p);
}

void HeadlessHost::click(Point p, MouseButton b, ShiftState shift) {
  press(p, b, shift);
  release(p, b, shift);
}

void HeadlessHost::doubleClickAt(Point p, MouseButton b) {
  click(p, b);
  pointer_ = {p.x + origin_.x, p.y + origin_.y};
  doubleClick(b, 0, p);
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
  keyUp(key, shift);
}

void HeadlessHost::typeText(const std::string& ascii) {
  for (const char c : ascii) keyChar(static_cast<unsigned char>(c));
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

MenuItem* HeadlessHost::popupMenu(PopupMenu& menu, Point screen) {
  ++menusShown;
  lastMenu = &menu;
  lastMenuPoint = screen;
  MenuItem* item = menuChooser ? menuChooser(menu, screen) : nullptr;
  if (item && (!item->selectable() || item->submenu)) item = nullptr;
  if (item && item->onClick) item->onClick(*item);
  return item;
}

MessageResult HeadlessHost::messageBox(const std::string& caption, const std::string& text, MessageButtons buttons) {
  messages.push_back({caption, text, buttons});
  if (!messageAnswers.empty()) {
    const MessageResult r = messageAnswers.front();
    messageAnswers.pop_front();
    return r;
  }
  return buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
}

void HeadlessHost::runModal(Control& dialog, Point screen) {
  lastModal = &dialog;
  lastModalPoint = screen;
  modalClosed_ = false;
  lastModalImage = renderControl(dialog);
  if (modalScript) modalScript(*this, dialog);
  modalClosed_ = true;
}

void HeadlessHost::closeModal(Control& dialog) {
  if (&dialog == lastModal) modalClosed_ = true;
}

bool matchesGolden(const Image& actual, const std::string& goldenFile, std::string* why, int tolerance,
                   int maxBadPixels) {
  const char* regen = std::getenv("KORVO_REGEN_GOLDEN");
  if (regen && std::string(regen) == "1") {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(goldenFile).parent_path(), ec);
    const bool ok = savePng(actual, goldenFile);
    if (why) *why = ok ? "regenerated" : "cannot write " + goldenFile;
    return ok;
  }
  Image golden;
  if (!loadPng(goldenFile, golden)) {
    if (why) *why = "missing golden " + goldenFile + " (run with KORVO_REGEN_GOLDEN=1)";
    return false;
  }
  if (golden.width() != actual.width() || golden.height() != actual.height()) {
    if (why)
      *why = "size " + std::to_string(actual.width()) + "x" + std::to_string(actual.height()) + " vs golden " +
             std::to_string(golden.width()) + "x" + std::to_string(golden.height());
    return false;
  }
  int bad = 0;
  for (std::size_t i = 0; i < golden.pixels().size(); ++i) {
    const Pixel a = actual.pixels()[i];
    const Pixel g = golden.pixels()[i];
    for (int s = 0; s <= 16; s += 8) {
      const int d = static_cast<int>((a >> s) & 0xFF) - static_cast<int>((g >> s) & 0xFF);
      if (std::abs(d) > tolerance) {
        ++bad;
        break;
      }
    }
  }
  if (why) *why = std::to_string(bad) + " pixels differ beyond tolerance";
  return bad <= maxBadPixels;
}

}  // namespace korvo
