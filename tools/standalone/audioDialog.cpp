#include "audioDialog.h"

#include <algorithm>
#include <memory>

#include "audioOutput.h"
#include "midiInputs.h"
#include "plugEdit.h"
#include "standalone.h"

namespace korvo {

namespace {

constexpr int kRates[] = {44100, 48000, 88200, 96000};
constexpr int kBlocks[] = {64, 128, 256, 512, 1024, 2048};

// The names with `automatic` first and `current` added when it is missing; the index of current.
std::vector<std::string> withChoice(std::vector<std::string>& names, const std::string& automatic,
                                    const std::string& current, int& index) {
  if (!current.empty() && std::find(names.begin(), names.end(), current) == names.end()) names.push_back(current);
  std::vector<std::string> lines{automatic};
  lines.insert(lines.end(), names.begin(), names.end());
  index = current.empty() ? 0 : static_cast<int>(std::find(names.begin(), names.end(), current) - names.begin()) + 1;
  return lines;
}

template <std::size_t N>
std::vector<std::string> numberLines(const int (&values)[N], const std::string& automatic, int current, int& index) {
  std::vector<std::string> lines{automatic};
  index = 0;
  for (std::size_t i = 0; i < N; ++i) {
    lines.push_back(std::to_string(values[i]));
    if (values[i] == current) index = static_cast<int>(i) + 1;
  }
  if (current > 0 && index == 0) {  // a value given on the command line
    lines.push_back(std::to_string(current));
    index = static_cast<int>(lines.size()) - 1;
  }
  return lines;
}

ListBox* addList(Control& c, std::vector<Label*>& captions, const std::string& caption, int x, int y, int w, int h) {
  auto* label = c.add<Label>();
  captions.push_back(label);
  label->setBounds(x, y, w, 14);
  label->setText(caption);
  auto* list = c.add<ListBox>();
  list->setBounds(x, y + 16, w, h);
  list->tabStop = true;
  return list;
}

}  // namespace

AudioDialog::AudioDialog(std::vector<std::string> devices, std::vector<std::string> midiInputs,
                         const StandaloneSettings& current)
    : DialogFrame(336, 276), devices_(std::move(devices)), midiInputs_(std::move(midiInputs)) {
  title = "Audio and MIDI";
  Control& c = client();
  deviceList = addList(c, captions_, "Output", 8, 8, 200, 100);
  rateList = addList(c, captions_, "Sample rate", 216, 8, 112, 100);
  midiList = addList(c, captions_, "MIDI input", 8, 128, 200, 100);
  blockList = addList(c, captions_, "Block size", 216, 128, 112, 100);
  int index = 0;
  deviceList->setItems(withChoice(devices_, "(automatic)", current.audio.device, index));
  deviceList->setItemIndex(index);
  midiList->setItems(withChoice(midiInputs_, "(all inputs)", current.midiIn, index));
  midiList->setItemIndex(index);
  rateList->setItems(numberLines(kRates, "(device's)", current.audio.rate, index));
  rateList->setItemIndex(index);
  blockList->setItems(numberLines(kBlocks, "(device's)", current.audio.block, index));
  blockList->setItemIndex(index);
  okButton = c.add<PushButton>();
  okButton->setBounds(158, 244, 82, 25);
  okButton->caption = "OK";
  okButton->tabStop = true;
  cancelButton = c.add<PushButton>();
  cancelButton->setBounds(246, 244, 82, 25);
  cancelButton->caption = "Cancel";
  cancelButton->tabStop = true;
  okButton->onClick = [this](Control&) { close(true); };
  cancelButton->onClick = [this](Control&) { close(false); };
  auto keys = [this](Control&, int key, ShiftState) {
    if (key == keys::Return) close(true);
    if (key == keys::Escape) close(false);
  };
  for (ListBox* l : {deviceList, rateList, midiList, blockList}) l->onKeyDown = keys;
  okButton->onKeyDown = cancelButton->onKeyDown = [this](Control&, int key, ShiftState) {
    if (key == keys::Escape) close(false);
  };
}

StandaloneSettings AudioDialog::choice() const {
  StandaloneSettings s;
  const auto pick = [](const ListBox& l, const std::vector<std::string>& names) {
    const int i = l.itemIndex();
    return i >= 1 && i <= static_cast<int>(names.size()) ? names[static_cast<std::size_t>(i - 1)] : std::string();
  };
  const auto number = [](const ListBox& l) {
    const int i = l.itemIndex();
    return i >= 1 && i < static_cast<int>(l.items.size()) ? std::stoi(l.items[static_cast<std::size_t>(i)]) : 0;
  };
  s.audio.device = pick(*deviceList, devices_);
  s.midiIn = pick(*midiList, midiInputs_);
  s.audio.rate = number(*rateList);
  s.audio.block = number(*blockList);
  return s;
}

void AudioDialog::takeColours(Pixel back, Pixel text) {
  colour = back;
  fontColour = text;
  for (Label* l : captions_) l->fontColour = text;
  invalidate();
}

void AudioDialog::close(bool ok) {
  if (closed_) return;
  closed_ = true;
  if (onClose) onClose(*this, ok);
}

void AudioDialogRunner::open() {
  WindowHost* h = form_.host();
  if (!h) return;
  auto dialog = std::make_unique<AudioDialog>(audioDeviceNames(), midiInputNames(), app_.choice());
  AudioDialog& d = *dialog;
  d.takeColours(form_.progNameEdit->colour, form_.progNameEdit->fontColour);
  d.onClose = [this](AudioDialog& closing, bool ok) {
    const StandaloneSettings chosen = closing.choice();
    form_.EndKeyHookDialog(closing);
    if (!ok) return;
    app_.apply(chosen);
    if (!writeStandaloneSettings(store_, chosen)) report_("the audio settings could not be stored");
    form_.SetStatusText(app_.statusLine());
    report_(app_.audioStatus());
    report_(app_.midiStatus());
  };
  const Point centre = form_.toWindow({TplugEditForm::kWidth / 2, TplugEditForm::kHeight / 2});
  form_.InstallKeyHook(&d);
  h->openModal(std::move(dialog), {centre.x - d.width() / 2, centre.y - d.height() / 2});
}

}  // namespace korvo
