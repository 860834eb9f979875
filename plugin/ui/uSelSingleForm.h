// TSelSingleForm: the modal program chooser of Write, bank import and bank export: the 128
// programs as "000   NAME" lines, Ok and Cancel.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dialog.h"

namespace korvo {

class Ckv_soundMan;

class TSelSingleForm : public DialogFrame {
 public:
  static constexpr int kResultCancel = 2;
  static constexpr int kResultBase = 9;  // modal result of line i: i + 9

  TSelSingleForm();

  ListBox* SingleList = nullptr;
  PushButton* okButton = nullptr;
  PushButton* cancelButton = nullptr;

  // The first show: fills the 128 lines from the sound memory and selects the clamped index.
  void FillList(const Ckv_soundMan& sounds, int preselect);
  // Ok, double click and Enter close with the selected line + 9 (Escape and Cancel with 2;
  // Ok with nothing selected gives a result below 9).
  void Close(int modalResult);
  int ModalResult() const { return modalResult_; }
  // The chosen program, or -1.
  int Program() const { return modalResult_ < kResultBase ? -1 : modalResult_ - kResultBase; }

  std::function<void(TSelSingleForm&)> onClose;

 private:
  int modalResult_ = 0;
  bool closed_ = false;
};

// The lines of the program list: number as three digits, three spaces, the name.
std::vector<std::string> programListLines(const Ckv_soundMan& sounds);

}  // namespace korvo
