#include "controls.h"

#include <algorithm>
#include <cctype>

#include "host.h"

namespace korvo {

// Label -------------------------------------------------------------------------------------

void Label::setText(std::string t) {
  text = std::move(t);
  if (autoSize) setSize(textWidth(text, font), textHeight(font));
  invalidate();
}

void Label::paint(Canvas& canvas) {
  if (!transparent) canvas.fillRect(clientRect(), colour);
  const int w = textWidth(text, font);
  int x = 0;
  if (alignment == Align::Center) x = (width() - w) / 2;
  if (alignment == Align::Right) x = width() - w;
  canvas.text(x, 0, text, font, fontColour);
}

// Panel, Shape, ImageBox ----------------------------------------------------------------------

void Panel::paint(Canvas& canvas) {
  canvas.fillRect(clientRect(), colour);
  if (border == Border::Single) canvas.frameRect(clientRect(), borderColour);
}

void Shape::paint(Canvas& canvas) {
  canvas.fillRect(clientRect(), brush);
  for (int i = 0; i < penWidth; ++i) canvas.frameRect({i, i, width() - i, height() - i}, pen);
}

void ImageBox::setPicture(Image img) {
  picture = std::move(img);
  scaled_ = {};
  if (autoSize) setSize(picture.logicalWidth(), picture.logicalHeight());
  invalidate();
}

void ImageBox::paint(Canvas& canvas) {
  if (picture.empty()) return;
  int x = 0;
  int y = 0;
  if (center) {
    x = (width() - picture.logicalWidth()) / 2;
    y = (height() - picture.logicalHeight()) / 2;
  }
  if (canvas.scale() != picture.scale() && drawAtScale) {
    if (scaled_.empty() || scaled_.scale() != canvas.scale()) {
      scaled_ = drawAtScale(canvas.scale());
      scaled_.setScale(canvas.scale());
    }
    canvas.blit(x, y, scaled_);
    return;
  }
  canvas.blit(x, y, picture);
}

// PushButton --------------------------------------------------------------------------------

PushButton::PushButton() {
  tabStop = true;
  setSize(75, 25);
}

void PushButton::paint(Canvas& canvas) {
  const Rect r = clientRect();
  canvas.fillRect(r, colour);
  canvas.frameRect(r, focused() ? rgb(0, 120, 215) : rgb(100, 100, 100));
  const int d = pressed_ ? 1 : 0;
  const int w = textWidth(caption, font);
  canvas.text((width() - w) / 2 + d, (height() - textHeight(font)) / 2 + d, caption, font, fontColour);
}

void PushButton::mouseDown(const MouseEvent& e) {
  Control::mouseDown(e);
  if (e.button != MouseButton::Left) return;
  setFocus();
  pressed_ = true;
  invalidate();
}

void PushButton::mouseMove(const MouseEvent& e) {
  Control::mouseMove(e);
  if (pressed_ && !clientRect().contains({e.x, e.y})) {
    pressed_ = false;
    invalidate();
  }
}

void PushButton::mouseUp(const MouseEvent& e) {
  Control::mouseUp(e);
  const bool wasPressed = pressed_ && clientRect().contains({e.x, e.y});
  pressed_ = false;
  invalidate();
  if (wasPressed) click();
}

void PushButton::keyDown(int key, ShiftState shift) {
  Control::keyDown(key, shift);
  if (key == keys::Space || key == keys::Return) click();
}

// ListBox -----------------------------------------------------------------------------------

ListBox::ListBox() {
  tabStop = true;
  colour = rgb(255, 255, 255);
}

int ListBox::itemHeight() const { return textHeight(font) + 2; }

int ListBox::visibleRows() const { return std::max(1, (height() - 2) / std::max(1, itemHeight())); }

int ListBox::itemAt(Point p) const {
  if (p.x < 0 || p.x >= width() || p.y < 1) return -1;
  const int i = topIndex_ + (p.y - 1) / itemHeight();
  return i < static_cast<int>(items.size()) ? i : -1;
}

void ListBox::setItems(std::vector<std::string> list) {
  items = std::move(list);
  itemIndex_ = -1;
  topIndex_ = 0;
  invalidate();
}

void ListBox::setItemIndex(int i) {
  if (i < -1 || i >= static_cast<int>(items.size())) return;
  select(i, false);
}

void ListBox::select(int i, bool byUser) {
  if (items.empty()) return;
  i = std::clamp(i, 0, static_cast<int>(items.size()) - 1);
  const bool changed = i != itemIndex_;
  itemIndex_ = i;
  scrollIntoView();
  invalidate();
  if (changed && byUser && onChange) onChange(*this);
}

void ListBox::scrollIntoView() {
  if (itemIndex_ < 0) return;
  const int rows = visibleRows();
  if (itemIndex_ < topIndex_) topIndex_ = itemIndex_;
  if (itemIndex_ >= topIndex_ + rows) topIndex_ = itemIndex_ - rows + 1;
}

void ListBox::paint(Canvas& canvas) {
  canvas.fillRect(clientRect(), colour);
  canvas.frameRect(clientRect(), focused() ? rgb(0, 120, 215) : rgb(100, 100, 100));
  Canvas inner = canvas.clipped({1, 1, width() - 1, height() - 1});
  const int h = itemHeight();
  for (int row = 0; row <= visibleRows(); ++row) {
    const int i = topIndex_ + row;
    if (i >= static_cast<int>(items.size())) break;
    const int y = 1 + row * h;
    Pixel text = fontColour;
    if (i == itemIndex_) {
      inner.fillRect({1, y, width() - 1, y + h}, colSelected);
      text = colSelectedText;
    }
    inner.text(3, y + 1, items[static_cast<std::size_t>(i)], font, text);
  }
}

void ListBox::mouseDown(const MouseEvent& e) {
  Control::mouseDown(e);
  setFocus();
  const int i = itemAt({e.x, e.y});
  if (i >= 0) select(i, true);
}

void ListBox::doubleClick(const MouseEvent& e) { Control::doubleClick(e); }

bool ListBox::mouseWheel(int delta, ShiftState shift, Point p) {
  if (Control::mouseWheel(delta, shift, p)) return true;
  const int maxTop = std::max(0, static_cast<int>(items.size()) - visibleRows());
  topIndex_ = std::clamp(topIndex_ - delta * 3, 0, maxTop);
  invalidate();
  return true;
}

void ListBox::keyDown(int key, ShiftState shift) {
  Control::keyDown(key, shift);
  const int n = static_cast<int>(items.size());
  if (n == 0) return;
  const int page = std::max(1, visibleRows() - 1);
  const int cur = itemIndex_;
  switch (key) {
    case keys::Up: select(cur < 0 ? 0 : cur - 1, true); break;
    case keys::Down: select(cur + 1, true); break;
    case keys::PageUp: select(cur - page, true); break;
    case keys::PageDown: select(cur < 0 ? page : cur + page, true); break;
    case keys::Home: select(0, true); break;
    case keys::End: select(n - 1, true); break;
    default: break;
  }
}

// TextBox -----------------------------------------------------------------------------------

TextBox::TextBox() {
  tabStop = true;
  cursor = Cursor::IBeam;
  colour = rgb(255, 255, 255);
  setSize(120, 21);
}

void TextBox::setText(std::string t) {
  if (upperCase)
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (maxLength > 0 && static_cast<int>(t.size()) > maxLength) t.resize(static_cast<std::size_t>(maxLength));
  text_ = std::move(t);
  caret_ = anchor_ = static_cast<int>(text_.size());
  scroll_ = 0;
  invalidate();
}

int TextBox::selStart() const { return std::min(caret_, anchor_); }
int TextBox::selLength() const { return std::abs(caret_ - anchor_); }

void TextBox::select(int start, int length) {
  const int n = static_cast<int>(text_.size());
  start = std::clamp(start, 0, n);
  anchor_ = start;
  caret_ = std::clamp(start + std::max(0, length), 0, n);
  invalidate();
}

std::string TextBox::selectedText() const {
  return text_.substr(static_cast<std::size_t>(selStart()), static_cast<std::size_t>(selLength()));
}

int TextBox::positionAt(int x) const {
  const int local = x - textLeft() + scroll_;
  int best = 0;
  int bestDist = std::abs(local);
  for (int i = 1; i <= static_cast<int>(text_.size()); ++i) {
    const int w = textWidth(std::string_view(text_).substr(0, static_cast<std::size_t>(i)), font);
    const int d = std::abs(local - w);
    if (d < bestDist) {
      best = i;
      bestDist = d;
    }
  }
  return best;
}

void TextBox::paint(Canvas& canvas) {
  canvas.fillRect(clientRect(), colour);
  if (border) canvas.frameRect(clientRect(), focused() ? rgb(0, 120, 215) : rgb(100, 100, 100));
  const int inner = width() - 2 * textLeft();
  const auto widthTo = [&](int pos) {
    return textWidth(std::string_view(text_).substr(0, static_cast<std::size_t>(pos)), font);
  };
  // Keep the caret visible.
  const int cx = widthTo(caret_);
  if (cx - scroll_ > inner) scroll_ = cx - inner;
  if (cx < scroll_) scroll_ = cx;
  const int y = (height() - textHeight(font)) / 2;
  Canvas area = canvas.clipped({textLeft() - 1, 0, width() - textLeft() + 1, height()});
  const int x0 = textLeft() - scroll_;
  area.text(x0, y, text_, font, fontColour);
  if (focused() && selLength() > 0) {
    const int sx = x0 + widthTo(selStart());
    const int ex = x0 + widthTo(selStart() + selLength());
    area.fillRect({sx, y, ex, y + textHeight(font)}, colSelected);
    area.text(sx, y, selectedText(), font, colSelectedText);
  }
  if (focused() && !readOnly) area.fillRect({x0 + cx, y, x0 + cx + 1, y + textHeight(font)}, fontColour);
}

void TextBox::moveCaret(int to, bool extend) {
  caret_ = std::clamp(to, 0, static_cast<int>(text_.size()));
  if (!extend) anchor_ = caret_;
  invalidate();
}

void TextBox::replaceSelection(const std::string& with) {
  std::string s = with;
  if (upperCase)
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const auto start = static_cast<std::size_t>(selStart());
  std::string next = text_;
  next.erase(start, static_cast<std::size_t>(selLength()));
  if (maxLength > 0) {
    const int room = maxLength - static_cast<int>(next.size());
    if (room <= 0)
      s.clear();
    else if (static_cast<int>(s.size()) > room)
      s.resize(static_cast<std::size_t>(room));
  }
  if (s.empty() && selLength() == 0) return;
  next.insert(start, s);
  text_ = std::move(next);
  caret_ = anchor_ = static_cast<int>(start + s.size());
  invalidate();
  if (onChange) onChange(*this);
}

void TextBox::mouseDown(const MouseEvent& e) {
  Control::mouseDown(e);
  const bool hadFocus = focused();
  setFocus();
  if (e.button != MouseButton::Left) return;
  if (hadFocus || !autoSelect) moveCaret(positionAt(e.x), (e.shift & kShift) != 0);
  dragging_ = true;
}

void TextBox::mouseMove(const MouseEvent& e) {
  Control::mouseMove(e);
  if (dragging_ && (e.shift & kLeftButton))
    moveCaret(positionAt(e.x), true);
  else
    dragging_ = false;
}

void TextBox::doubleClick(const MouseEvent& e) {
  Control::doubleClick(e);
  selectAll();
}

void TextBox::keyDown(int key, ShiftState shift) {
  Control::keyDown(key, shift);
  const bool ext = (shift & kShift) != 0;
  switch (key) {
    case keys::Left: moveCaret(ext || selLength() == 0 ? caret_ - 1 : selStart(), ext); break;
    case keys::Right: moveCaret(ext || selLength() == 0 ? caret_ + 1 : selStart() + selLength(), ext); break;
    case keys::Home: moveCaret(0, ext); break;
    case keys::End: moveCaret(static_cast<int>(text_.size()), ext); break;
    case keys::Delete:
      if (readOnly) break;
      if (selLength() == 0 && caret_ < static_cast<int>(text_.size())) anchor_ = caret_ + 1;
      replaceSelection("");
      break;
    case keys::Back:
      if (readOnly) break;
      if (selLength() == 0 && caret_ > 0) anchor_ = caret_ - 1;
      replaceSelection("");
      break;
    case keys::Return:
      if (onEnter) onEnter(*this);
      break;
    case keys::Insert:
      if (shift & kCtrl) copy();
      if (shift & kShift) paste();
      break;
    default:
      if (!(shift & kCtrl) || (shift & kAlt)) break;  // Ctrl+Alt is AltGr on many keyboards
      if (key == 'A') selectAll();
      if (key == 'C') copy();
      if (key == 'X') cut();
      if (key == 'V') paste();
      break;
  }
}

void TextBox::copy() {
  WindowHost* h = host();
  if (h && selLength() > 0) h->setClipboardText(selectedText());
}

void TextBox::cut() {
  if (readOnly || selLength() == 0) return;
  copy();
  replaceSelection("");
}

void TextBox::paste() {
  if (WindowHost* h = host(); h && !readOnly) h->requestClipboardText(*this);
}

void TextBox::pasteText(const std::string& text) {
  std::string line;
  for (const char c : text) {
    if (c == '\n' || c == '\r') break;
    if (static_cast<unsigned char>(c) >= 32 && c != 127) line.push_back(c);
  }
  if (!line.empty()) replaceSelection(line);
}

void TextBox::keyPress(char32_t ch) {
  Control::keyPress(ch);
  if (readOnly || ch < 32 || ch == 127) return;  // control characters come as keyDown
  std::string s;
  if (ch < 0x80) {
    s.push_back(static_cast<char>(ch));
  } else if (ch < 0x800) {
    s.push_back(static_cast<char>(0xC0 | (ch >> 6)));
    s.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
  } else {
    return;  // the editor's texts are plain ASCII
  }
  replaceSelection(s);
}

void TextBox::focusChanged(bool gained) {
  Control::focusChanged(gained);
  if (gained && autoSelect) selectAll();
  if (!gained) dragging_ = false;
}

}  // namespace korvo
