#include "messageBox.h"

#include <algorithm>

namespace korvo {

namespace {
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (const char c : text) {
    if (c == '\n')
      lines.emplace_back();
    else if (c != '\r')
      lines.back().push_back(c);
  }
  return lines;
}
}  // namespace

MessageBoxView::MessageBoxView(std::string caption, std::string text, MessageButtons buttons)
    : caption_(std::move(caption)), text_(std::move(text)), buttons_(buttons) {
  font = Font{"MS Sans Serif", -11};
  colour = rgb(240, 240, 240);
  const std::vector<std::string> lines = splitLines(text_);
  const int lineHeight = textHeight(font);
  captionHeight_ = lineHeight + 8;
  int textW = textWidth(caption_, font) + 20;
  for (const auto& l : lines) textW = std::max(textW, textWidth(l, font));
  std::vector<std::string> names;
  switch (buttons_) {
    case MessageButtons::Ok: names = {"OK"}; break;
    case MessageButtons::OkCancel: names = {"OK", "Cancel"}; break;
    case MessageButtons::YesNo: names = {"Yes", "No"}; break;
  }
  const int bw = 75;
  const int bh = 23;
  const int gap = 8;
  const int buttonsW = static_cast<int>(names.size()) * bw + (static_cast<int>(names.size()) - 1) * gap;
  const int w = std::max(textW, buttonsW) + 40;
  const int textBottom = captionHeight_ + 16 + static_cast<int>(lines.size()) * lineHeight;
  setSize(w, textBottom + 16 + bh + 12);
  int x = (w - buttonsW) / 2;
  for (std::size_t i = 0; i < names.size(); ++i) {
    auto* b = add<PushButton>();
    b->caption = names[i];
    b->font = font;
    b->setBounds(x, textBottom + 16, bw, bh);
    b->onClick = [this, i](Control&) { finish(resultOf(i)); };
    buttonControls_.push_back(b);
    x += bw + gap;
  }
}

MessageResult MessageBoxView::resultOf(std::size_t i) const {
  switch (buttons_) {
    case MessageButtons::Ok: return MessageResult::Ok;
    case MessageButtons::OkCancel: return i == 0 ? MessageResult::Ok : MessageResult::Cancel;
    case MessageButtons::YesNo: return i == 0 ? MessageResult::Yes : MessageResult::No;
  }
  return MessageResult::None;
}

void MessageBoxView::finish(MessageResult r) {
  result_ = r;
  if (onClose) onClose(*this, r);
}

void MessageBoxView::paint(Canvas& canvas) {
  canvas.fillRect(clientRect(), colour);
  canvas.frameRect(clientRect(), rgb(80, 80, 80));
  canvas.fillRect({1, 1, width() - 1, captionHeight_}, rgb(0, 84, 166));
  canvas.text(8, 4, caption_, Font{font.name, font.height, true, false}, rgb(255, 255, 255));
  int y = captionHeight_ + 16;
  for (const auto& l : splitLines(text_)) {
    canvas.text(20, y, l, font, fontColour);
    y += textHeight(font);
  }
}

void MessageBoxView::keyDown(int key, ShiftState shift) {
  Control::keyDown(key, shift);
  if (key == keys::Return) finish(resultOf(0));
  if (key == keys::Escape) finish(resultOf(buttonControls_.size() - 1));
}

}  // namespace korvo
