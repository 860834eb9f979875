// TGraphKnobB: a rotary knob turned by vertical mouse drags. The full range corresponds to a
// fixed pixel distance (MaxPixDist), moving the pointer sideways makes the turn finer, Shift
// gives the finest turn, the value passes a small dead zone around zero (and snaps to it), and
// the pointer can be put back where the drag began. Drawn from an image strip (one frame per
// angle step) or, without one, as a circle with an indicator line; an optional caption above
// and an editable value box below.
//
// Values are 32-bit floats, as the window descriptions store them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "AniGIF.h"
#include "controls.h"

namespace korvo {

class TGraphKnobB : public Control {
 public:
  TGraphKnobB();
  static constexpr int kCoarseSteps = 10;  // a wheel notch with Shift

  // Raised after a drag step, a wheel notch or a typed value; never when the value is set from code.
  std::function<void(TGraphKnobB&)> OnChange;

  // Colours share one setter keyed 1..5: outline, fill, indicator, label back, label font.
  void setColour(int index, TColor c);
  TColor getColour(int index) const;

  // Strips (borrowed); setting one clears the other.
  void setImageList(const std::vector<Image>* frames);
  void setAniGIF(const TAniGIF* strip);

  float MinValue() const { return min_; }
  void setMinValue(float x);
  float MaxValue() const { return max_; }
  void setMaxValue(float x);
  float ValueStep() const { return step_; }
  void setValueStep(float v);
  float Value() const { return value_; }
  void setValue(float v) { applyValue(v, false); }
  // trunc(Value) with IntTruncMode, else Value rounded to nearest.
  int IntValue() const;

  bool SnapToZero = true;
  int NumChars() const { return numChars_; }
  void setNumChars(int n);
  int NumDecimals() const { return numDecimals_; }
  void setNumDecimals(int n);
  int Radius() const { return radius_; }
  void setRadius(int r);
  void setFontCaption(const Font& f);
  void setFontValue(const Font& f);
  const std::string& Caption() const { return caption_; }
  void setCaption(std::string c);
  bool ShowCaption() const { return showCaption_; }
  void setShowCaption(bool b);
  bool ShowValue() const { return showValue_; }
  void setShowValue(bool b);
  float MinFineFac() const { return minFineFac_; }
  void setMinFineFac(float f) { minFineFac_ = f < 0 ? 0 : f; }
  int MaxFinePixDist() const { return maxFinePixDist_; }
  void setMaxFinePixDist(int d) { maxFinePixDist_ = d < 0 ? 0 : d; }
  int MaxPixDist() const { return maxPixDist_; }
  void setMaxPixDist(int v);
  bool DoRestoreMousePos = true;
  bool IntTruncMode = false;

  // Derived state, for tests and the window.
  float range() const { return max_ - min_; }
  float deadZone() const { return deadZone_; }
  float dragScale() const { return dragScale_; }
  float angle() const { return angle_; }  // degrees, 0 up, clockwise positive
  const std::string& valueText() const { return valueText_; }
  bool dragging() const { return dragging_; }
  // The strip frame painted for the current value, or -1 when the knob is drawn.
  int currentFrame() const;
  TextBox& valueBox() { return *valueBox_; }
  Rect knobBox() const;

  void paint(Canvas& canvas) override;
  void mouseDown(const MouseEvent& e) override;
  void mouseMove(const MouseEvent& e) override;
  void mouseUp(const MouseEvent& e) override;
  // A notch turns the knob one step (ten with Shift) and fires OnChange when the value moved.
  bool mouseWheel(int delta, ShiftState shift, Point p) override;

 private:
  void applyValue(float v, bool force);
  void recomputeRange(bool halfPixDist);
  void applyRadius();
  void placeValueBox();
  int captionHeight() const;
  int valueHeight() const;
  int xWidth() const;
  bool stripLoaded() const;
  Size frameSize() const;
  int frameCount() const;

  TColor colOutline_ = 0, colFill_ = 0xFFFFFF, colInd_ = 0, colLabelBack_ = 0xFFFFFF, colLabelFont_ = 0;
  const std::vector<Image>* imageList_ = nullptr;
  const TAniGIF* strip_ = nullptr;
  float min_ = 0, max_ = 127, step_ = 0, value_ = 0;
  int numChars_ = 0;
  int numDecimals_ = 3;
  int radius_ = 16;
  Font fontCaption_{"MS Sans Serif", -11};
  Font fontValue_{"MS Sans Serif", -11};
  std::string caption_;
  bool showCaption_ = true;
  bool showValue_ = true;
  float minFineFac_ = 0.2f;
  int maxFinePixDist_ = 200;
  int maxPixDist_ = 256;

  float deadZone_ = 0;
  float dragScale_ = 0;
  float angleScale_ = 0;
  float angle_ = 0;
  std::string valueText_;
  bool formatted_ = false;

  bool dragging_ = false;
  Point start_{}, last_{};
  float dragValue_ = 0;
  Point savedPointer_{};
  TextBox* valueBox_ = nullptr;
};

}  // namespace korvo
