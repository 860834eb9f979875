#include "uSelSingleForm.h"

#include "VSTaux.h"
#include "progRecord.h"
#include "soundMan.h"

namespace korvo {

std::vector<std::string> programListLines(const Ckv_soundMan& sounds) {
  std::vector<std::string> lines;
  lines.reserve(kProgramCount);
  for (int n = 0; n < kProgramCount; ++n) {
    const ProgramRecord* r = sounds.ProgMan().RecordAt(Ckv_progMan::SlotOf(n));
    lines.push_back(zeroPad(n, 3) + "   " + (r ? displayName(*r) : std::string()));
  }
  return lines;
}

TSelSingleForm::TSelSingleForm() : DialogFrame(196, 313) {
  Control& c = client();
  SingleList = c.add<ListBox>();
  SingleList->setBounds(8, 8, 179, 265);
  SingleList->tabStop = true;
  okButton = c.add<PushButton>();
  okButton->setBounds(8, 280, 82, 25);
  okButton->caption = "Ok";
  okButton->tabStop = true;
  cancelButton = c.add<PushButton>();
  cancelButton->setBounds(104, 280, 82, 25);
  cancelButton->caption = "Cancel";
  cancelButton->tabStop = true;
  okButton->font = cancelButton->font = font;
  okButton->onClick = [this](Control&) { Close(SingleList->itemIndex() + kResultBase); };
  cancelButton->onClick = [this](Control&) { Close(kResultCancel); };
  SingleList->onDblClick = [this](Control&) {
    if (SingleList->itemIndex() >= 0) Close(SingleList->itemIndex() + kResultBase);
  };
  auto keys = [this](Control&, int key, ShiftState) {
    if (key == keys::Return) Close(SingleList->itemIndex() + kResultBase);
    if (key == keys::Escape) Close(kResultCancel);
  };
  SingleList->onKeyDown = keys;
  okButton->onKeyDown = [this](Control&, int key, ShiftState) {
    if (key == keys::Escape) Close(kResultCancel);
  };
  cancelButton->onKeyDown = okButton->onKeyDown;
}

void TSelSingleForm::FillList(const Ckv_soundMan& sounds, int preselect) {
  SingleList->setItems(programListLines(sounds));
  SingleList->setItemIndex(preselect < 0 ? 0 : (preselect > kProgramCount - 1 ? kProgramCount - 1 : preselect));
}

void TSelSingleForm::Close(int modalResult) {
  if (closed_) return;
  closed_ = true;
  modalResult_ = modalResult;
  if (onClose) onClose(*this);
}

}  // namespace korvo
