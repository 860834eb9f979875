#include "graphKnobB.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host.h"

namespace korvo {

TGraphKnobB::TGraphKnobB() {
  cursor = Cursor::HandPoint;
  tabStop = true;
  valueBox_ = add<TextBox>();
  valueBox_->border = false;
  valueBox_->autoSelect = true;
  valueBox_->onEnter = [this](TextBox& box) {
    char* end = nullptr;
    const std::string t = box.text();
    float v = std::strtof(t.c_str(), &end);
    if (end == t.c_str()) v = 0;  // not a number
    applyValue(v, false);
    setFocus();
    if (OnChange) OnChange(*this);
  };
  setSize(34, 54);
  recomputeRange(true);
  applyValue(0, true);
  placeValueBox();
}

void TGraphKnobB::placeValueBox() {
  const int w = textWidth(valueText_, fontValue_) + 4;
  valueBox_->setBounds((width() - w) / 2, height() - valueHeight() + 1, w, valueHeight());
  valueBox_->setVisible(showValue_);
}

// Properties ------------------------------------------------------------------------------------

void TGraphKnobB::setColour(int index, TColor c) {
  switch (index) {
    case 1: colOutline_ = c; break;
    case 2: colFill_ = c; break;
    case 3: colInd_ = c; break;
    case 4: colLabelBack_ = c; break;
    case 5: colLabelFont_ = c; break;
    default: return;
  }
  invalidate();
}

TColor TGraphKnobB::getColour(int index) const {
  switch (index) {
    case 1: return colOutline_;
    case 2: return colFill_;
    case 3: return colInd_;
    case 4: return colLabelBack_;
    case 5: return colLabelFont_;
    default: return 0;
  }
}

bool TGraphKnobB::stripLoaded() const {
  if (imageList_) return !imageList_->empty();
  return strip_ && strip_->IsLoaded() && strip_->FrameCount() > 0;
}

Size TGraphKnobB::frameSize() const {
  if (imageList_ && !imageList_->empty()) return {(*imageList_)[0].width(), (*imageList_)[0].height()};
  if (strip_) return {strip_->Width(), strip_->Height()};
  return {};
}

int TGraphKnobB::frameCount() const {
  if (imageList_) return static_cast<int>(imageList_->size());
  return strip_ ? strip_->FrameCount() : 0;
}

void TGraphKnobB::setImageList(const std::vector<Image>* frames) {
  imageList_ = frames;
  strip_ = nullptr;
  if (stripLoaded()) setRadius(radius_);
  invalidate();
}

void TGraphKnobB::setAniGIF(const TAniGIF* strip) {
  strip_ = strip;
  imageList_ = nullptr;
  if (stripLoaded()) setRadius(radius_);
  invalidate();
}

void TGraphKnobB::recomputeRange(bool halfPixDist) {
  const float r = range();
  deadZone_ = r * 0.04f;
  if (halfPixDist)
    dragScale_ = maxPixDist_ <= 0 ? 0.0f : r / (static_cast<float>(maxPixDist_) * 0.5f);
  else
    dragScale_ = r / static_cast<float>(maxPixDist_);
  angleScale_ = r == 0 ? 0.0f : 288.0f / r;
}

void TGraphKnobB::setMinValue(float x) {
  min_ = std::min(x, max_);
  recomputeRange(true);
  applyValue(value_, true);
}

void TGraphKnobB::setMaxValue(float x) {
  max_ = std::max(x, min_);
  recomputeRange(true);
  applyValue(value_, true);
}

void TGraphKnobB::setMaxPixDist(int v) {
  v = std::abs(v);
  if (v > 16384) v = 16384;
  if (v <= 0) v = 1;
  maxPixDist_ = v;
  recomputeRange(false);
}

void TGraphKnobB::setValueStep(float v) {
  step_ = v < 0 ? 0 : v;
  if (step_ > 0 && std::floor(step_) == step_) numDecimals_ = 0;
  recomputeRange(true);
  applyValue(value_, true);
}

void TGraphKnobB::setNumDecimals(int n) {
  numDecimals_ = std::clamp(n, 0, 8);
  applyValue(value_, true);
}

int TGraphKnobB::xWidth() const { return std::max(1, textWidth("X", fontValue_)); }
int TGraphKnobB::captionHeight() const { return showCaption_ ? textHeight(fontCaption_) + 1 : 0; }
int TGraphKnobB::valueHeight() const { return showValue_ ? textHeight(fontValue_) + 1 : 0; }

void TGraphKnobB::setNumChars(int n) {
  if (n <= 0) n = 1;
  const int w = n * xWidth();
  if (w == width()) return;
  const int captionW = textWidth(caption_, fontCaption_);
  if (w < captionW || w < 2 * radius_) {
    setSize(w < captionW ? captionW : 2 * radius_, height());
    numChars_ = width() / xWidth();
  } else {
    setSize(w, height());
    numChars_ = n;
  }
  valueBox_->maxLength = numChars_;
  invalidate();
}

void TGraphKnobB::setRadius(int r) {
  radius_ = r;
  applyRadius();
}

void TGraphKnobB::applyRadius() {
  if (stripLoaded()) {
    const Size s = frameSize();
    radius_ = std::max(s.width, s.height) / 2;
  }
  const int h = captionHeight() + 2 * radius_ + valueHeight();
  setSize(std::max(width(), 2 * radius_), h);
  numChars_ = width() / xWidth();
  valueBox_->maxLength = numChars_;
  placeValueBox();
  invalidate();
}

void TGraphKnobB::setFontCaption(const Font& f) {
  fontCaption_ = f;
  applyRadius();
}

void TGraphKnobB::setFontValue(const Font& f) {
  fontValue_ = f;
  valueBox_->font = f;
  applyRadius();
  applyValue(value_, true);
}

void TGraphKnobB::setCaption(std::string c) {
  caption_ = std::move(c);
  invalidate();
}

void TGraphKnobB::setShowCaption(bool b) {
  showCaption_ = b;
  applyRadius();
}

void TGraphKnobB::setShowValue(bool b) {
  showValue_ = b;
  valueBox_->setVisible(b);
  applyRadius();
}

void TGraphKnobB::applyValue(float requested, bool force) {
  float v = requested;
  if (step_ > 0) v = static_cast<float>(std::nearbyint(static_cast<double>(v) / step_) * step_);
  v = std::clamp(v, min_, max_);
  const float old = value_;
  bool changed = false;
  if (v != value_ || force) {
    value_ = v;
    angle_ = (value_ - min_) * angleScale_ - 144.0f;
    changed = true;
  }
  if (requested != old || force || !formatted_) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%*.*f", std::clamp(numChars_, 0, 40), numDecimals_, static_cast<double>(value_));
    std::string t(buf);
    t.erase(0, t.find_first_not_of(' '));
    if (t != valueText_) changed = true;
    valueText_ = std::move(t);
    formatted_ = true;
  }
  if (changed) invalidate();
}

bool TGraphKnobB::mouseWheel(int delta, ShiftState shift, Point p) {
  if (Control::mouseWheel(delta, shift, p)) return true;
  const float step = (step_ > 0 ? step_ : 1.0f) * ((shift & kShift) ? kCoarseSteps : 1);
  const float before = value_;
  applyValue(value_ + step * static_cast<float>(delta), false);
  if (value_ != before && OnChange) OnChange(*this);
  return true;
}

int TGraphKnobB::IntValue() const {
  return static_cast<int>(IntTruncMode ? std::trunc(value_) : std::nearbyint(value_));
}

// Painting ------------------------------------------------------------------------------------

Rect TGraphKnobB::knobBox() const {
  const int cx = width() / 2;
  return {cx - radius_, captionHeight(), cx + radius_, captionHeight() + 2 * radius_};
}

int TGraphKnobB::currentFrame() const {
  const int count = frameCount();
  if (!stripLoaded() || count <= 0) return -1;
  const float r = range();
  double f = 0;
  if (r != 0) {
    f = imageList_ ? count * static_cast<double>(value_ - min_) / r : static_cast<double>(value_ - min_) / r * count;
  }
  return std::clamp(static_cast<int>(std::nearbyint(f)), 0, count - 1);
}

void TGraphKnobB::paint(Canvas& canvas) {
  const Rect box = knobBox();
  const int frame = currentFrame();
  const Image* img = nullptr;
  if (frame >= 0)
    img = imageList_ ? &(*imageList_)[static_cast<std::size_t>(frame)] : strip_->Frame(frame, canvas.scale());
  if (img) {
    canvas.blit(box.left, box.top, *img);
  } else {
    canvas.ellipse(box, fromTColor(colOutline_), fromTColor(colFill_));
    const double a = angle_ * 3.14159265358979323846 / 180.0;
    const int cx = width() / 2;
    const int cy = radius_ + captionHeight();
    canvas.line(cx, cy, cx + static_cast<int>(std::lround(std::sin(a) * radius_)),
                cy - static_cast<int>(std::lround(std::cos(a) * radius_)), fromTColor(colInd_));
  }
  if (showCaption_) {
    const int tw = textWidth(caption_, fontCaption_);
    canvas.textOpaque((width() - tw) / 2, 0, caption_, fontCaption_, fromTColor(colLabelFont_),
                      fromTColor(colLabelBack_));
  }
  if (showValue_) {
    valueBox_->colour = fromTColor(colLabelBack_);
    valueBox_->fontColour = fromTColor(colLabelFont_);
    placeValueBox();
    if (!valueBox_->focused() && valueBox_->text() != valueText_) valueBox_->setText(valueText_);
  }
}

// Dragging ------------------------------------------------------------------------------------

void TGraphKnobB::mouseDown(const MouseEvent& e) {
  Control::mouseDown(e);
  setFocus();
  const bool inValueBox = showValue_ && e.y >= height() - valueHeight() + 1;
  if (e.button != MouseButton::Left || inValueBox) return;
  if (WindowHost* h = host()) savedPointer_ = h->pointerPosition();
  dragging_ = true;
  start_ = last_ = {e.x, e.y};
  dragValue_ = value_ >= 0 ? value_ + deadZone_ : value_ - deadZone_;
}

void TGraphKnobB::mouseMove(const MouseEvent& e) {
  Control::mouseMove(e);
  if (!dragging_) return;
  const int dx = std::min(std::abs(e.x - start_.x) + 1, maxFinePixDist_);
  float fine = 0;
  if (e.shift & kShift) {
    fine = minFineFac_;
  } else {
    fine = maxFinePixDist_ < 1 ? 0.0f : 1.0f - static_cast<float>(dx) / static_cast<float>(maxFinePixDist_);
    fine = std::max(fine, minFineFac_);
  }
  dragValue_ += static_cast<float>(last_.y - e.y) * fine * dragScale_;
  float v = 0;
  if (SnapToZero && std::fabs(dragValue_) < deadZone_)
    v = 0;
  else
    v = dragValue_ >= 0 ? dragValue_ - deadZone_ : dragValue_ + deadZone_;
  applyValue(v, false);
  if (OnChange) OnChange(*this);
  last_ = {e.x, e.y};
}

void TGraphKnobB::mouseUp(const MouseEvent& e) {
  Control::mouseUp(e);
  if (!dragging_) return;
  dragging_ = false;
  if (DoRestoreMousePos)
    if (WindowHost* h = host()) h->setPointerPosition(savedPointer_);
}

}  // namespace korvo
