// TcontrollersForm: the modal dialog of Options > "MIDI controllers...": the controllers bound by
// MIDI learn, one line each ("CC 74   FILT FREQ"), with Forget (the selected one), Forget all and
// Close. It changes nothing itself: each button calls back, and the editor refills the list.
//
// Threads: the window's thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls.h"

namespace korvo {

class TcontrollersForm : public Control {
 public:
  TcontrollersForm();
  ~TcontrollersForm() override {
    if (onGone) onGone();
  }

  struct Line {
    int controller;
    std::string parameter;
  };
  // Fills the list; the selection stays on the same line number where it can.
  void SetLines(const std::vector<Line>& lines);
  void TakeColours(Pixel back, Pixel text, const Font& listFont);

  std::function<void(int controller)> onForget;
  std::function<void()> onForgetAll;
  std::function<void()> onClose;  // Close or Escape; the editor ends the modal loop
  std::function<void()> onGone;   // the dialog is being freed

  ListBox* List = nullptr;
  PushButton* forgetButton = nullptr;
  PushButton* forgetAllButton = nullptr;
  PushButton* closeButton = nullptr;
  std::string caption = "MIDI controllers";

  void paint(Canvas& canvas) override;
  void keyDown(int key, ShiftState shift) override;

 private:
  void updateButtons();
  std::vector<int> controllers_;  // of each list line
};

}  // namespace korvo
