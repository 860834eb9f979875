// TmidiSelForm: the small modal dialog in which the user picks a MIDI input or output port. It
// is a control tree with a completion callback; the editor presents it modally (centred on its
// client point (281, 173), between its key hook's install and release) and maps the result
// with PortFromResult.
//
// Threads: the window's thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "controls.h"

namespace korvo {

class CmidiIO;

class TmidiSelForm : public Control {
 public:
  static constexpr int kCancelResult = 2;
  static constexpr int kFirstPortResult = 9;
  static constexpr int kDirectionIn = 0;
  static constexpr int kDirectionOut = 1;

  explicit TmidiSelForm(CmidiIO& ports);

  ListBox* DevList = nullptr;
  PushButton* okButton = nullptr;
  PushButton* cancelButton = nullptr;
  // The window caption, for the host that frames the dialog.
  std::string caption;

  // Before showing: the caption ("Select MIDI in port..." or "Select MIDI out port..."), the
  // direction (kDirectionIn or kDirectionOut) and the previously chosen index (-1 for none).
  // Enumerates the ports afresh and fills the list; the selection is the port named
  // `previousName` when it is in the new list (its number may have changed), else the previous
  // index clamped to the list.
  void Prepare(std::string dialogCaption, int direction, int previousIndex, const std::string& previousName = {});
  // Takes the editor's colours for the dialog and its list, and the editor's font for the list.
  void TakeColours(Pixel back, Pixel text, const Font& listFont);

  // Called once with the result: kFirstPortResult + selected index for "Ok", a double click or
  // Enter (8 with an empty list), kCancelResult for "Cancel" or Escape. The handler should end
  // the modal loop (closeModal) and free the dialog only after the loop has returned.
  std::function<void(int result)> onClose;
  // Whether the dialog has closed, and with what.
  bool closed() const { return closed_; }
  int result() const { return result_; }
  // The port index a result stands for: result - 9, or -1 for anything below 9.
  static int PortFromResult(int result) { return result >= kFirstPortResult ? result - kFirstPortResult : -1; }
  // The text of a list line: the name, three blanks, the number with three digits.
  static std::string LineFor(const std::string& name, int number);

  void paint(Canvas& canvas) override;
  void keyDown(int key, ShiftState shift) override;

 private:
  void finish(int result);
  void handleKey(int key);
  CmidiIO& ports_;
  bool closed_ = false;
  int result_ = kCancelResult;
};

}  // namespace korvo
