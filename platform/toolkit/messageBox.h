// The drawn message box: caption bar, text lines and the buttons of MessageButtons. Hosts
// that draw their own message boxes show this control modally; the headless host renders
// it for screenshots and answers from the test's script.
#pragma once

#include <string>
#include <vector>

#include "controls.h"
#include "host.h"

namespace korvo {

class MessageBoxView : public Control {
 public:
  MessageBoxView(std::string caption, std::string text, MessageButtons buttons);

  const std::string& caption() const { return caption_; }
  const std::string& text() const { return text_; }
  MessageButtons buttons() const { return buttons_; }
  // The button controls in order (OK; OK, Cancel; Yes, No) and the result each gives.
  const std::vector<PushButton*>& buttonControls() const { return buttonControls_; }
  MessageResult resultOf(std::size_t buttonIndex) const;
  MessageResult result() const { return result_; }

  // Called with the result when a button is clicked, Enter (the first button) or Escape
  // (Cancel or No; OK for a single OK) is pressed.
  std::function<void(MessageBoxView&, MessageResult)> onClose;

  void paint(Canvas& canvas) override;
  void keyDown(int key, ShiftState shift) override;
  Rect dragArea() const override { return {1, 1, width() - 1, captionHeight_}; }

 private:
  void finish(MessageResult r);
  std::string caption_;
  std::string text_;
  MessageButtons buttons_;
  std::vector<PushButton*> buttonControls_;
  MessageResult result_ = MessageResult::None;
  int captionHeight_ = 0;
};

}  // namespace korvo
