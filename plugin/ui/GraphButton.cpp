#include "GraphButton.h"

#include <algorithm>

namespace korvo {

TGraphButton::TGraphButton() { setSize(20, 20); }

void TGraphButton::setAniGIF(const TAniGIF* strip) {
  strip_ = strip;
  layout();
  invalidate();
}
void TGraphButton::setAniIdx(int i) {
  aniIdx_ = std::max(0, i);
  invalidate();
}
void TGraphButton::setHasTwoFrames(bool b) {
  twoFrames_ = b;
  invalidate();
}
void TGraphButton::setColFont(TColor c) {
  colFont_ = c;
  invalidate();
}
void TGraphButton::setCaption(std::string c) {
  caption_ = std::move(c);
  layout();
  invalidate();
}
void TGraphButton::setCaptionPlace(TGraphButton_capPlace p) {
  place_ = p;
  layout();
  invalidate();
}
void TGraphButton::setPressDisplacement(int d) {
  displacement_ = d;
  layout();
  invalidate();
}

int TGraphButton::currentFrame() const {
  if (!strip_) return -1;
  return (twoFrames_ && pressed_) ? aniIdx_ + 1 : aniIdx_;
}

void TGraphButton::layout() {
  const int tw = caption_.empty() ? 0 : textWidth(caption_, font);
  const int th = caption_.empty() ? 0 : textHeight(font);
  int iw = 20;
  int ih = 20;
  if (strip_ && strip_->IsLoaded()) {
    iw = strip_->Width();
    ih = strip_->Height();
  }
  const int d = displacement_;
  int w = 0;
  int h = 0;
  switch (place_) {
    case KswCapCenter:
      w = iw + d;
      h = ih + d;
      captionPos_ = {w / 2 - tw / 2, h / 2 - th / 2 - 2};
      imagePos_ = {0, 0};
      break;
    case KswCapAbove:
      w = std::max(tw, iw) + d;
      h = th + ih + d + 2;
      captionPos_ = {w / 2 - tw / 2, 0};
      imagePos_ = {w / 2 - iw / 2, th + 2};
      break;
    case KswCapRight:
      w = tw + iw + d + 2;
      h = std::max(th, ih) + d;
      captionPos_ = {iw + 2, h / 2 - th / 2};
      imagePos_ = {0, h / 2 - ih / 2};
      break;
    case KswCapBelow:
      w = std::max(tw, iw) + d;
      h = th + ih + d + 2;
      captionPos_ = {w / 2 - tw / 2, ih + 2};
      imagePos_ = {w / 2 - iw / 2, 0};
      break;
    case KswCapLeft:
      w = tw + iw + d + 2;
      h = std::max(th, ih) + d;
      captionPos_ = {0, h / 2 - th / 2};
      imagePos_ = {tw + 2, h / 2 - ih / 2};
      break;
  }
  setSize(w, h);
}

void TGraphButton::paint(Canvas& canvas) {
  layout();
  const int off = pressed_ ? displacement_ : 0;
  if (strip_) {
    if (const Image* frame = strip_->Frame(currentFrame(), canvas.scale()))
      canvas.blit(imagePos_.x + off, imagePos_.y + off, *frame);
  } else {
    canvas.fillRect(Rect::xywh(imagePos_.x + off, imagePos_.y + off, 20, 20), 0);
  }
  if (!caption_.empty()) canvas.text(captionPos_.x + off, captionPos_.y + off, caption_, font, fromTColor(colFont_));
}

void TGraphButton::mouseDown(const MouseEvent& e) {
  Control::mouseDown(e);
  setFocus();
  pressed_ = true;
  invalidate();
}

void TGraphButton::mouseMove(const MouseEvent& e) {
  Control::mouseMove(e);
  if (pressed_ && (e.x < 0 || e.x > width() || e.y < 0 || e.y > height())) {
    pressed_ = false;
    invalidate();
  }
}

void TGraphButton::mouseUp(const MouseEvent& e) {
  Control::mouseUp(e);
  if (pressed_) click();
  pressed_ = false;
  invalidate();
}

}  // namespace korvo
