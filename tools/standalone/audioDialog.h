// Options > "Audio and MIDI...": the sound output, sample rate, block size and MIDI input in one
// drawn dialog. OK applies the choice at once (the sound stops for the moment the devices take
// to reopen) and stores it in the settings; Cancel changes nothing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dialog.h"
#include "standaloneSettings.h"

namespace korvo {

class SettingsStore;
class Standalone;
class TplugEditForm;

class AudioDialog : public DialogFrame {
 public:
  // The first line of each list is the automatic choice (""/0); a stored choice that is not
  // there now (a JACK server that is not running) is listed all the same, so OK keeps it.
  AudioDialog(std::vector<std::string> devices, std::vector<std::string> midiInputs, const StandaloneSettings& current);

  ListBox* deviceList = nullptr;
  ListBox* rateList = nullptr;
  ListBox* blockList = nullptr;
  ListBox* midiList = nullptr;
  PushButton* okButton = nullptr;
  PushButton* cancelButton = nullptr;

  // The editor's colours for the dialog, its captions and its lists.
  void takeColours(Pixel back, Pixel text);
  // What the lists say now.
  StandaloneSettings choice() const;
  // Called once: true for OK (or Return), false for Cancel (or Escape).
  std::function<void(AudioDialog&, bool ok)> onClose;

 private:
  void close(bool ok);
  std::vector<Label*> captions_;
  std::vector<std::string> devices_, midiInputs_;
  bool closed_ = false;
};

// Opens the dialog over the editor and carries out its answer.
class AudioDialogRunner {
 public:
  AudioDialogRunner(TplugEditForm& form, Standalone& app, SettingsStore& store,
                    std::function<void(const std::string&)> report)
      : form_(form), app_(app), store_(store), report_(std::move(report)) {}
  void open();

 private:
  TplugEditForm& form_;
  Standalone& app_;
  SettingsStore& store_;
  std::function<void(const std::string&)> report_;
};

}  // namespace korvo
