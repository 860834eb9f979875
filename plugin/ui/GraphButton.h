// TGraphButton: a push button drawn from frames of an image strip (TAniGIF), with an optional
// caption beside, above, below or on the image, a pressed look (the next frame and/or a pixel
// offset) and click-on-release semantics: onClick fires only when the button is released while
// still pressed, so dragging out cancels the click.
#pragma once

#include <string>

#include "AniGIF.h"
#include "control.h"

namespace korvo {

enum TGraphButton_capPlace { KswCapCenter = 0, KswCapAbove = 1, KswCapRight = 2, KswCapBelow = 3, KswCapLeft = 4 };

class TGraphButton : public Control {
 public:
  TGraphButton();

  // Borrowed strip; null draws a 20 x 20 black square.
  void setAniGIF(const TAniGIF* strip);
  const TAniGIF* AniGIF() const { return strip_; }
  void setAniIdx(int i);
  int AniIdx() const { return aniIdx_; }
  void setHasTwoFrames(bool b);
  bool HasTwoFrames() const { return twoFrames_; }
  void setColFont(TColor c);
  TColor ColFont() const { return colFont_; }
  void setCaption(std::string c);
  const std::string& Caption() const { return caption_; }
  void setCaptionPlace(TGraphButton_capPlace p);
  TGraphButton_capPlace CaptionPlace() const { return place_; }
  void setPressDisplacement(int d);
  int PressDisplacement() const { return displacement_; }

  bool pressed() const { return pressed_; }
  // The frame painted in the current state, or -1 for the black square.
  int currentFrame() const;
  Point captionPos() const { return captionPos_; }
  Point imagePos() const { return imagePos_; }
  // Recomputes caption and image positions and resizes the control (also done at each paint).
  void layout();

  void paint(Canvas& canvas) override;
  void mouseDown(const MouseEvent& e) override;
  void mouseMove(const MouseEvent& e) override;
  void mouseUp(const MouseEvent& e) override;

 private:
  const TAniGIF* strip_ = nullptr;
  int aniIdx_ = 0;
  bool twoFrames_ = false;
  TColor colFont_ = 0xFFFFFF;
  std::string caption_;
  TGraphButton_capPlace place_ = KswCapCenter;
  int displacement_ = 1;
  bool pressed_ = false;
  Point captionPos_{};
  Point imagePos_{};
};

}  // namespace korvo
