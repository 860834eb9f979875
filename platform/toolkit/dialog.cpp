#include "dialog.h"

namespace korvo {

namespace {
// The client area takes the dialog's colours whenever it paints.
class DialogClient : public Control {
 public:
  void paint(Canvas& canvas) override {
    const Control* frame = parent();
    canvas.fillRect(clientRect(), frame ? frame->colour : colour);
  }
};
}  // namespace

DialogFrame::DialogFrame(int clientWidth, int clientHeight) {
  font = Font{"MS Sans Serif", -11};
  colour = rgb(240, 240, 240);
  client_ = add<DialogClient>();
  setClientSize(clientWidth, clientHeight);
}

void DialogFrame::setClientSize(int width, int height) {
  setSize(width + 2 * kBorder, height + kCaptionHeight + 2 * kBorder);
  client_->setBounds(kBorder, kBorder + kCaptionHeight, width, height);
}

void DialogFrame::paint(Canvas& canvas) {
  canvas.fillRect(clientRect(), colour);
  canvas.frameRect(clientRect(), rgb(80, 80, 80));
  canvas.fillRect({kBorder, kBorder, width() - kBorder, kBorder + kCaptionHeight}, rgb(0, 84, 166));
  canvas.text(kBorder + 6, kBorder + 4, title, Font{"MS Sans Serif", -11, true, false}, rgb(255, 255, 255));
}

}  // namespace korvo
