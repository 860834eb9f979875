#include "uControllersForm.h"

#include <algorithm>

namespace korvo {

TcontrollersForm::TcontrollersForm() {
  setSize(260, 250);
  font = Font{"MS Sans Serif", -11};
  List = add<ListBox>();
  List->setBounds(8, 8, 244, 200);
  List->font = font;
  auto button = [this](const char* text, int x) {
    PushButton* b = add<PushButton>();
    b->caption = text;
    b->setBounds(x, 216, 76, 25);
    b->font = font;
    b->onKeyDown = [this](Control&, int key, ShiftState) {
      if (key == keys::Escape && onClose) onClose();
    };
    return b;
  };
  forgetButton = button("Forget", 8);
  forgetAllButton = button("Forget all", 92);
  closeButton = button("Close", 176);
  forgetButton->onClick = [this](Control&) {
    const int i = List->itemIndex();
    if (i >= 0 && i < static_cast<int>(controllers_.size()) && onForget)
      onForget(controllers_[static_cast<std::size_t>(i)]);
  };
  forgetAllButton->onClick = [this](Control&) {
    if (onForgetAll) onForgetAll();
  };
  closeButton->onClick = [this](Control&) {
    if (onClose) onClose();
  };
  List->onKeyDown = [this](Control&, int key, ShiftState) {
    if (key == keys::Escape && onClose) onClose();
    if (key == keys::Delete) forgetButton->onClick(*forgetButton);
  };
}

void TcontrollersForm::SetLines(const std::vector<Line>& lines) {
  const int selected = List->itemIndex();
  std::vector<std::string> items;
  controllers_.clear();
  for (const Line& l : lines) {
    items.push_back("CC " + std::to_string(l.controller) +
                    (l.controller < 10    ? "     "
                     : l.controller < 100 ? "   "
                                          : " ") +
                    l.parameter);
    controllers_.push_back(l.controller);
  }
  if (items.empty()) items.push_back("(no controller is bound)");
  List->setItems(std::move(items));
  const int count = static_cast<int>(controllers_.size());
  List->setItemIndex(count > 0 ? std::clamp(selected, 0, count - 1) : -1);
  updateButtons();
}

void TcontrollersForm::updateButtons() {
  forgetButton->setEnabled(!controllers_.empty());
  forgetAllButton->setEnabled(!controllers_.empty());
}

void TcontrollersForm::TakeColours(Pixel back, Pixel text, const Font& listFont) {
  colour = back;
  fontColour = text;
  List->colour = back;
  List->fontColour = text;
  List->font = listFont;
  invalidate();
}

void TcontrollersForm::paint(Canvas& canvas) { canvas.fillRect(clientRect(), colour); }

void TcontrollersForm::keyDown(int key, ShiftState shift) {
  Control::keyDown(key, shift);
  if (key == keys::Escape && onClose) onClose();
}

}  // namespace korvo
