// TAboutForm: the small modal window of the Info menu's "About...": the product logo and a
// centred block of text lines; a click anywhere closes it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls.h"

namespace korvo {

// A read-only block of centred lines (the about box's text).
class TCenteredText : public Control {
 public:
  std::vector<std::string> lines;
  bool flat = true;
  void paint(Canvas& canvas) override;
};

class TAboutForm : public Control {
 public:
  TAboutForm();

  ImageBox* LogoImage = nullptr;
  TCenteredText* Edit = nullptr;

  // The lines shown, in order.
  static std::vector<std::string> aboutLines();

  // Raised by a click on the window, the logo or the text.
  std::function<void(TAboutForm&)> onCloseRequest;

  void paint(Canvas& canvas) override;
  void mouseUp(const MouseEvent& e) override;
};

// Opens the about box modally over `editor`: centred on the editor's client point (281, 173),
// in the editor's colours, with the editor's logo. Returns at once; a click closes it.
void ShowAbout(Control& editor, const Image& logo, std::function<Image(int percent)> logoAtScale = {});

}  // namespace korvo
