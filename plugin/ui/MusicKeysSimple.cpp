#include "MusicKeysSimple.h"

#include <algorithm>
#include <cmath>

#include "VSTaux.h"

namespace korvo {

namespace {
// How far black keys reach into the white key of each semitone from its left and its right,
// as fractions of the black key's width.
constexpr double kIntrudeLeft[12] = {0, 0, 0.3, 0, 0.7, 0, 0, 0.3, 0, 0.5, 0, 0.7};
constexpr double kIntrudeRight[12] = {0.7, 0, 0.3, 0, 0, 0.7, 0, 0.5, 0, 0.3, 0, 0};
constexpr bool kBlack[12] = {false, true, false, true, false, false, true, false, true, false, true, false};

int roundEven(double x) { return static_cast<int>(std::nearbyint(x)); }

// Semitone offsets of the computer keys, indexed by key code.
std::array<int, 128> keyMap(bool variant) {
  std::array<int, 128> m{};
  m.fill(-1);
  const char lower[] = "YSXDCVGBHNJM,L.";
  for (int i = 0; lower[i]; ++i) m[static_cast<unsigned char>(lower[i])] = i;
  const char upper[] = "Q2W3ER5T6Z7UI9O0P";
  for (int i = 0; upper[i]; ++i) m[static_cast<unsigned char>(upper[i])] = 12 + i;
  if (variant) std::swap(m['Y'], m['Z']);
  return m;
}
}  // namespace

TMusicKeysSimple::TMusicKeysSimple() {
  tabStop = true;
  font = Font::points("Terminal", 9);
  setFont(font);
}

void TMusicKeysSimple::setLowestKey(int k) {
  k = std::clamp(k, 0, 127);
  if (kBlack[k % 12]) --k;
  lowest_ = k;
  if (highest_ < lowest_) highest_ = lowest_;
  layout();
}

void TMusicKeysSimple::setHighestKey(int k) {
  k = std::clamp(k, 0, 127);
  if (kBlack[k % 12]) k = std::min(k + 1, 127);
  highest_ = std::max(k, lowest_);
  layout();
}

void TMusicKeysSimple::setKeyWidth(int w) {
  keyWidth_ = std::max(4, w);
  layout();
}

void TMusicKeysSimple::setBlackKeyFacWidth(double f) {
  facW_ = std::clamp(f, 0.05, 0.95);
  layout();
}

void TMusicKeysSimple::setBlackKeyFacHeight(double f) {
  facH_ = std::clamp(f, 0.05, 0.95);
  layout();
}

void TMusicKeysSimple::setFont(const Font& f) {
  font = f;
  labelHeight_ = textHeight(font) + 1;
  top_ = labelHeight_ + 1;
  layout();
}

void TMusicKeysSimple::layout() {
  if (kBlack[lowest_ % 12]) --lowest_;
  const int bw = roundEven(keyWidth_ * facW_);
  const int bh = roundEven(whiteHeight() * facH_);
  int intrudeL[12];
  int intrudeR[12];
  for (int s = 0; s < 12; ++s) {
    intrudeL[s] = roundEven(bw * kIntrudeLeft[s]);
    intrudeR[s] = roundEven(bw * kIntrudeRight[s]);
  }
  int x = left_;
  int blackStart = x;
  for (auto& k : keys_) k = Key{};
  for (int n = lowest_; n <= highest_; ++n) {
    const int s = n % 12;
    Key& k = keys_[static_cast<std::size_t>(n)];
    k.black = kBlack[s];
    if (!k.black) {
      k.upper = {x + intrudeL[s], top_, x + keyWidth_ - intrudeR[s], top_ + bh};
      k.lower = {x, top_ + bh, x + keyWidth_, top_ + whiteHeight()};
      blackStart = x + keyWidth_ - intrudeR[s];
      x += keyWidth_ + 1;
    } else {
      k.upper = {blackStart, top_, blackStart + bw, top_ + bh};
    }
  }
  const Key& lo = keys_[static_cast<std::size_t>(lowest_)];
  const Key& hi = keys_[static_cast<std::size_t>(highest_)];
  setSize(hi.upper.right - lo.upper.left, top_ + whiteHeight());
  markAll();
}

void TMusicKeysSimple::markAll() {
  fullRepaint_ = true;
  for (auto& k : keys_) k.repaint = true;
  invalidate();
}

int TMusicKeysSimple::KeyAt(int x, int y) const {
  const Key& lo = keys_[static_cast<std::size_t>(lowest_)];
  const Key& hi = keys_[static_cast<std::size_t>(highest_)];
  if (x < lo.upper.left) return lowest_;
  if (x > hi.upper.right) return highest_;
  y = std::clamp(y, top_, top_ + whiteHeight() - 1);
  auto inside = [&](const Rect& r) { return r.left <= x && x <= r.right && r.top - 1 <= y && y <= r.bottom - 1; };
  for (int n = lowest_; n <= highest_; ++n) {
    const Key& k = keys_[static_cast<std::size_t>(n)];
    if (k.black ? inside(k.upper) : (inside(k.upper) || inside(k.lower))) return n;
  }
  return kNoNote;
}

int TMusicKeysSimple::NoteOfKey(int keyCode) const {
  if (keyCode == keys::Comma) keyCode = ',';
  if (keyCode == keys::Period) keyCode = '.';
  if (keyCode < 0 || keyCode > 127) return kNoNote;
  static const std::array<int, 128> plain = keyMap(false);
  static const std::array<int, 128> variant = keyMap(true);
  const int offset = (layoutVariant ? variant : plain)[static_cast<std::size_t>(keyCode)];
  if (offset < 0) return kNoNote;
  return std::clamp(offset + 12 * baseOctave + 12, 0, 127);
}

void TMusicKeysSimple::PlayNote(int note) {
  if (note < 0 || note >= 128) return;
  Key& k = keys_[static_cast<std::size_t>(note)];
  const bool was = k.sounding;
  k.held = k.sounding = k.repaint = true;
  if (!was) {
    invalidate();
    if (OnNoteOn) OnNoteOn(*this, note);
  }
}

void TMusicKeysSimple::ReleaseNote(int note) {
  if (note < 0 || note >= 128) return;
  Key& k = keys_[static_cast<std::size_t>(note)];
  const bool was = k.sounding;
  k.held = k.sounding = false;
  k.repaint = true;
  if (was) {
    invalidate();
    if (OnNoteOff) OnNoteOff(*this, note);
  }
}

void TMusicKeysSimple::paint(Canvas& canvas) {
  const int sc = canvas.scale();
  if (keysImage_.width() != scaleCoord(width(), sc) || keysImage_.height() != scaleCoord(height(), sc) ||
      keysImage_.scale() != sc) {
    keysImage_.reset(scaleCoord(width(), sc), scaleCoord(height(), sc));
    keysImage_.setScale(sc);
    fullRepaint_ = true;
  }
  Canvas off(keysImage_);
  // Painted where KeyAt finds them: key coordinates are the control's own.
  const int ox = 0;
  if (fullRepaint_) off.fillRect(clientRect(), fromTColor(colKeyboardBG));
  for (int pass = 0; pass < 2; ++pass)
    for (int n = lowest_; n <= highest_; ++n) {
      Key& k = keys_[static_cast<std::size_t>(n)];
      if (k.black != (pass == 1) || (!k.repaint && !fullRepaint_)) continue;
      if (!k.black) {
        const Pixel c = fromTColor(k.held ? colWhiteHeldKeys : colWhiteKeys);
        off.fillRect(k.upper.offset(ox, 0), c);
        off.fillRect(k.lower.offset(ox, 0), c);
      } else {
        off.fillRect(k.upper.offset(ox, 0), fromTColor(k.held ? colBlackHeldKeys : colBlackKeys));
      }
    }
  // Black keys overlap white keys: a repainted white key may have covered a neighbour.
  for (int n = lowest_; n <= highest_; ++n) {
    Key& k = keys_[static_cast<std::size_t>(n)];
    if (k.black) off.fillRect(k.upper.offset(ox, 0), fromTColor(k.held ? colBlackHeldKeys : colBlackKeys));
    k.repaint = false;
  }
  fullRepaint_ = false;
  canvas.blit(0, 0, keysImage_);
  // Label and caption on the strip above the keys.
  canvas.fillRect({0, 0, width(), top_ - 1}, fromTColor(colLabelBG));
  canvas.text(3, 1, label_, font, fromTColor(colKeyLabel));
  if (!caption.empty()) {
    const int tw = textWidth(caption, font);
    canvas.text(width() - 3 - tw, 1, caption, font, fromTColor(colCaption));
  }
}

void TMusicKeysSimple::mouseDown(const MouseEvent& e) {
  Control::mouseDown(e);
  setFocus();
  drag_ = e.button == MouseButton::Left ? Drag::Left : Drag::Other;
  const int note = KeyAt(e.x, e.y);
  PlayNote(note);
  pressedNote_ = currentNote_ = note;
}

void TMusicKeysSimple::mouseMove(const MouseEvent& e) {
  Control::mouseMove(e);
  const int note = KeyAt(e.x, e.y);
  if (note >= 0 && note < 128) {
    label_ = noteNames()[static_cast<std::size_t>(note)];
    invalidate({0, 0, width(), top_});
  }
  if (drag_ == Drag::None) return;
  if (multiTrigger && note != currentNote_) {
    ReleaseNote(currentNote_);
    PlayNote(note);
  }
  currentNote_ = note;
}

void TMusicKeysSimple::mouseUp(const MouseEvent& e) {
  Control::mouseUp(e);
  if (drag_ == Drag::None) return;
  ReleaseNote(multiTrigger ? currentNote_ : pressedNote_);
  drag_ = Drag::None;
}

void TMusicKeysSimple::keyDown(int key, ShiftState shift) {
  Control::keyDown(key, shift);
  if (keyPlay_) PlayNote(NoteOfKey(key));
}

void TMusicKeysSimple::keyUp(int key, ShiftState shift) {
  Control::keyUp(key, shift);
  if (keyPlay_) ReleaseNote(NoteOfKey(key));
}

void TMusicKeysSimple::focusChanged(bool gained) {
  Control::focusChanged(gained);
  if (keybPlayOnFocus) keyPlay_ = gained;
}

}  // namespace korvo
