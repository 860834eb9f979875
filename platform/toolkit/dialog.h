// DialogFrame: the look of a drawn dialog window: a border, a caption bar with the title and a
// client area below it. Dialogs place their controls in client() with client coordinates, so a
// dialog described by its client size keeps its layout numbers.
#pragma once

#include <string>

#include "controls.h"

namespace korvo {

class DialogFrame : public Control {
 public:
  static constexpr int kCaptionHeight = 20;
  static constexpr int kBorder = 2;

  // The whole dialog is the client size plus the frame.
  DialogFrame(int clientWidth, int clientHeight);

  std::string title;
  Control& client() { return *client_; }
  void setClientSize(int width, int height);

  void paint(Canvas& canvas) override;
  Rect dragArea() const override { return {kBorder, kBorder, width() - kBorder, kBorder + kCaptionHeight}; }

 private:
  Control* client_ = nullptr;
};

}  // namespace korvo
