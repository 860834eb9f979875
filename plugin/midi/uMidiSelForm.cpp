#include "uMidiSelForm.h"

#include <algorithm>
#include <cstdio>

#include "host.h"
#include "midiio2.h"

namespace korvo {

TmidiSelForm::TmidiSelForm(CmidiIO& ports) : ports_(ports) {
  setSize(194, 314);
  font = Font{"MS Sans Serif", -11};
  DevList = add<ListBox>();
  DevList->name = "DevList";
  DevList->setBounds(8, 8, 179, 265);
  DevList->font = font;
  okButton = add<PushButton>();
  okButton->name = "okButton";
  okButton->caption = "Ok";
  okButton->setBounds(8, 280, 82, 25);
  okButton->font = font;
  cancelButton = add<PushButton>();
  cancelButton->name = "cancelButton";
  cancelButton->caption = "Cancel";
  cancelButton->setBounds(104, 280, 82, 25);
  cancelButton->font = font;

  okButton->onClick = [this](Control&) { finish(kFirstPortResult + DevList->itemIndex()); };
  cancelButton->onClick = [this](Control&) { finish(kCancelResult); };
  DevList->onDblClick = [this](Control&) { finish(kFirstPortResult + DevList->itemIndex()); };
  // The list takes Enter and Escape for the dialog; the buttons click themselves on Enter, so
  // they pass on only Escape.
  DevList->onKeyDown = [this](Control&, int key, ShiftState) { handleKey(key); };
  auto escapeOnly = [this](Control&, int key, ShiftState) {
    if (key == keys::Escape) finish(kCancelResult);
  };
  okButton->onKeyDown = escapeOnly;
  cancelButton->onKeyDown = escapeOnly;
}

std::string TmidiSelForm::LineFor(const std::string& name, int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03d", std::clamp(number, 0, 999));
  return name + "   " + digits;
}

void TmidiSelForm::Prepare(std::string dialogCaption, int direction, int previousIndex,
                           const std::string& previousName) {
  caption = std::move(dialogCaption);
  closed_ = false;
  result_ = kCancelResult;
  ports_.Enumerate();
  std::vector<std::string> lines;
  if (direction == kDirectionOut) {
    for (int i = 0; i < ports_.OutputCount(); ++i) lines.push_back(LineFor(ports_.OutputPort(i)->Name(), i));
  } else {
    for (int i = 0; i < ports_.InputCount(); ++i) lines.push_back(LineFor(ports_.InputPort(i)->Name(), i));
  }
  const int count = static_cast<int>(lines.size());
  if (!previousName.empty()) {
    const int named = direction == kDirectionOut ? ports_.FindOutput(previousName) : ports_.FindInput(previousName);
    if (named >= 0) previousIndex = named;
  }
  DevList->setItems(std::move(lines));
  DevList->setItemIndex(count > 0 ? std::clamp(previousIndex, 0, count - 1) : -1);
  DevList->setFocus();
}

void TmidiSelForm::TakeColours(Pixel back, Pixel text, const Font& listFont) {
  colour = back;
  fontColour = text;
  DevList->colour = back;
  DevList->fontColour = text;
  DevList->font = listFont;
  invalidate();
}

void TmidiSelForm::paint(Canvas& canvas) { canvas.fillRect(clientRect(), colour); }

void TmidiSelForm::finish(int result) {
  if (closed_) return;
  closed_ = true;
  result_ = result;
  if (onClose) onClose(result);
}

void TmidiSelForm::handleKey(int key) {
  if (key == keys::Return) finish(kFirstPortResult + DevList->itemIndex());
  if (key == keys::Escape) finish(kCancelResult);
}

void TmidiSelForm::keyDown(int key, ShiftState shift) {
  Control::keyDown(key, shift);
  handleKey(key);
}

}  // namespace korvo
