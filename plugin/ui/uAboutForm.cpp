#include "uAboutForm.h"

#include "host.h"

namespace korvo {

void TCenteredText::paint(Canvas& canvas) {
  canvas.fillRect(clientRect(), colour);
  if (!flat) canvas.frameRect(clientRect(), rgb(0, 0, 0));
  int y = 2;
  const int lh = textHeight(font);
  for (const std::string& line : lines) {
    const int w = textWidth(line, font);
    canvas.text((width() - w) / 2, y, line, font, fontColour);
    y += lh;
  }
}

std::vector<std::string> TAboutForm::aboutLines() {
  return {"",
          "Korvo VST",
          "Version 0.1.0",
          "",
          "Programming and design:",
          "the Korvo developers",
          "(free software)",
          "",
          "Thanks to",
          "everyone who kept the",
          "original instruments alive",
          "and shared their knowledge",
          "",
          "VST Plug-In Technology",
          "by Steinberg Media Technologies"};
}

TAboutForm::TAboutForm() {
  setSize(287, 321);
  font = Font{"MS Sans Serif", -11};
  LogoImage = add<ImageBox>();
  LogoImage->autoSize = true;
  LogoImage->setBounds(213, 8, 64, 64);
  Edit = add<TCenteredText>();
  Edit->setBounds(8, 79, 272, 236);
  Edit->font = Font{"MS Sans Serif", -13, true};
  Edit->lines = aboutLines();
  Edit->cursor = Cursor::Arrow;
  // Clicks on the children close the box as well.
  auto close = [this](Control&, const MouseEvent&) {
    if (onCloseRequest) onCloseRequest(*this);
  };
  LogoImage->onMouseUp = close;
  Edit->onMouseUp = close;
}

void TAboutForm::paint(Canvas& canvas) { canvas.fillRect(clientRect(), colour); }

void TAboutForm::mouseUp(const MouseEvent& e) {
  Control::mouseUp(e);
  if (onCloseRequest) onCloseRequest(*this);
}

void ShowAbout(Control& editor, const Image& logo, std::function<Image(int percent)> logoAtScale) {
  WindowHost* host = editor.host();
  if (!host) return;
  auto form = std::make_unique<TAboutForm>();
  TAboutForm& box = *form;
  const Point centre = editor.toWindow({281, 173});
  const Point topLeft{centre.x - box.width() / 2, centre.y - box.height() / 2};
  box.colour = fromTColor(3089186);
  box.fontColour = fromTColor(11969957);
  box.LogoImage->setPicture(logo);
  box.LogoImage->drawAtScale = std::move(logoAtScale);
  box.LogoImage->setPosition((box.width() - box.LogoImage->width()) / 2, box.LogoImage->top());
  const int textTop = box.LogoImage->top() + box.LogoImage->height() + 10;
  box.Edit->setBounds(box.Edit->left(), textTop, box.Edit->width(), box.height() - 10 - textTop);
  box.Edit->colour = fromTColor(5653829);
  box.Edit->fontColour = fromTColor(11969957);
  box.Edit->flat = true;
  box.onCloseRequest = [host](TAboutForm& f) { host->closeModal(f); };
  host->openModal(std::move(form), topLeft);
}

}  // namespace korvo
