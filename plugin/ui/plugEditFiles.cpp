// The editor's commands on the sound memory: write and init, the library files, and the single and
// bank SysEx files. Each question is a non-blocking dialog; the command goes on in its callback,
// and nothing in the sound memory changes before the last question has been answered.
#include <algorithm>
#include <filesystem>

#include "VSTaux.h"
#include "editorEngine.h"
#include "plugEdit.h"
#include "progRecord.h"
#include "soundMan.h"
#include "sysexFrame.h"
#include "uSelSingleForm.h"

namespace korvo {

namespace {
const char* const kLibraryFilter = "Library (*.KVL)|*.KVL";
const char* const kLibraryExt = "KVL";
const char* const kSysExFilter = "Pemmet/Halvet SysEx (*.SYX)|*.SYX";
const char* const kSysExExt = "SYX";
const char* const kNotIdentified = "This file could not be identified as Pemmet/Halvet SysEx. Try to load anyway?";

std::string folderOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }
std::string fileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }
}  // namespace

// Dialog plumbing -----------------------------------------------------------------------------------------

void TplugEditForm::ask(const std::string& caption, const std::string& text, MessageButtons buttons,
                        std::function<void(MessageResult)> then) {
  WindowHost* h = host();
  if (!h) return;
  std::weak_ptr<bool> alive = alive_;
  h->messageBox(caption, text, buttons, [alive, then = std::move(then)](MessageResult r) {
    if (!alive.expired() && then) then(r);
  });
}

void TplugEditForm::tell(const std::string& caption, const std::string& text) {
  ask(caption, text, MessageButtons::Ok, {});
}

void TplugEditForm::fileDialog(const std::string& title, bool save, std::string& folder, const std::string& filter,
                               const std::string& ext, const std::string& proposed,
                               std::function<void(const std::string&)> then) {
  WindowHost* h = host();
  if (!h) return;
  FileDialogRequest request;
  request.title = title;
  request.save = save;
  request.folder = folder;
  request.fileName = proposed;
  request.filter = filter;
  request.defaultExtension = ext;
  std::weak_ptr<bool> alive = alive_;
  h->fileDialog(request, [alive, &folder, then = std::move(then)](const std::string& path) {
    if (alive.expired() || path.empty()) return;
    folder = folderOf(path);
    then(path);
  });
}

void TplugEditForm::SelectProgramDialog(const std::string& title, int preselect, std::function<void(int)> done) {
  WindowHost* h = host();
  if (!h || !engine_) return;
  auto form = std::make_unique<TSelSingleForm>();
  TSelSingleForm& f = *form;
  f.title = title;
  f.colour = progNameEdit->colour;
  f.fontColour = progNameEdit->fontColour;
  f.SingleList->colour = progNameEdit->colour;
  f.SingleList->font = progNameEdit->font;
  f.SingleList->fontColour = progNameEdit->fontColour;
  f.FillList(sounds(), preselect);
  std::weak_ptr<bool> alive = alive_;
  f.onClose = [this, alive, done = std::move(done)](TSelSingleForm& d) {
    if (alive.expired()) return;
    const int program = d.Program();
    EndKeyHookDialog(d);
    if (done) done(program);
  };
  const Point centre = toWindow({281, 173});
  InstallKeyHook(&f);
  h->openModal(std::move(form), {centre.x - f.width() / 2, centre.y - f.height() / 2});
}

// Program strip ---------------------------------------------------------------------------------------------

void TplugEditForm::WriteCommand() {
  if (!engine_) return;
  SelectProgramDialog("Overwrite...", sounds().CurrentProgram(), [this](int target) {
    if (target < 0) {
      ShowStatusMessage("** Write aborted **");
      return;
    }
    const std::string newName = progNameEdit->text().substr(0, kNameCapacity);
    changeSounds([&] {
      sounds().Editor().SetName(newName);
      sounds().WriteProgram(target);
    });
    ShowStatusMessage("** Program written **");
    RefreshAll();
  });
}

void TplugEditForm::InitCommand() {
  if (!engine_) return;
  changeSounds([&] { sounds().InitEdit(); });
  RefreshAll();
  ShowStatusMessage("** Program initialized **");
}

void TplugEditForm::PanicCommand() {
  if (engine_) engine_->panic();
}

// Library files -----------------------------------------------------------------------------------------------

void TplugEditForm::LoadLibrary() {
  if (!engine_) return;
  fileDialog("Load library", false, libraryFolder_, kLibraryFilter, kLibraryExt, "", [this](const std::string& path) {
    std::vector<std::uint8_t> data;
    const std::size_t size = readWholeFile(path, data);
    if (size == 0) {
      SetStatusText("Could not read " + fileNameOf(path) + ".");
      return;
    }
    bool loaded = false;
    if (size >= static_cast<std::size_t>(Ckv_soundMan::BankSize()))
      changeSounds([&] { loaded = sounds().LoadBank(data.data()); });
    // The library commands report nothing in message boxes; a refused file is named in the
    // status line so that the user knows nothing was loaded.
    SetStatusText(loaded ? "Library " + fileNameOf(path) + " loaded." : fileNameOf(path) + " is not a library file.");
    RefreshAll();
  });
}

void TplugEditForm::SaveLibrary() {
  if (!engine_) return;
  fileDialog("Save library", true, libraryFolder_, kLibraryFilter, kLibraryExt, "", [this](const std::string& path) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(Ckv_soundMan::BankSize()));
    sounds().SaveBank(image.data());
    // A save that fails must not pass for one that worked: the old file is still there, and
    // the user has to know that the sounds are not in it.
    if (writeWholeFile(path, image.data(), image.size()) != 0)
      tell("Error", "Could not save the library to " + path + ".");
    else
      SetStatusText("Library saved to " + fileNameOf(path) + ".");
  });
}

void TplugEditForm::InitLibrary() {
  if (!engine_) return;
  ask("Warning", "Init library? (This will erase all sounds!)", MessageButtons::OkCancel, [this](MessageResult r) {
    if (r != MessageResult::Ok) return;
    changeSounds([&] { sounds().ProgMan().InitAllPrograms(); });
    RefreshAll();
  });
}

// Single SysEx files ---------------------------------------------------------------------------------------------

void TplugEditForm::ImportSingle() {
  if (!engine_) return;
  fileDialog("Import single sound", false, sysExFolder_, kSysExFilter, kSysExExt, "", [this](const std::string& path) {
    std::vector<std::uint8_t> data;
    if (readWholeFile(path, data) == 0 || refusedCutShort(path, data)) return;
    ask("Warning", "Overwrite edit single ?", MessageButtons::OkCancel,
        [this, data = std::move(data)](MessageResult r) mutable {
          if (r == MessageResult::Ok) importSingleData(std::move(data));
        });
  });
}

bool TplugEditForm::refusedCutShort(const std::string& path, const std::vector<std::uint8_t>& data) {
  // Known at once from the file: no question is worth asking about a dump that is not all there.
  const std::string cut = cutShortDump(data.data(), data.size());
  if (!cut.empty()) tell("Error", fileNameOf(path) + ": " + cut + ".");
  return !cut.empty();
}

void TplugEditForm::importWithRetry(std::function<bool(bool check)> import) {
  if (import(true)) {
    RefreshAll();
    return;
  }
  ask("Warning", kNotIdentified, MessageButtons::YesNo, [this, import = std::move(import)](MessageResult r) {
    if (r == MessageResult::Yes && !import(false)) tell("Error", "Could not import file.");
    RefreshAll();
  });
}

void TplugEditForm::importSingleData(std::vector<std::uint8_t> data) {
  auto d = std::make_shared<const std::vector<std::uint8_t>>(std::move(data));
  importWithRetry([this, d](bool check) {
    bool ok = false;
    changeSounds([&] { ok = sounds().ProgMan().ImportSingle(Ckv_progMan::EditSlot(), d->data(), check, d->size()); });
    return ok;
  });
}

void TplugEditForm::ExportSingle() {
  if (!engine_) return;
  std::vector<std::uint8_t> message;
  if (!sounds().ProgMan().ExportSingle(Ckv_progMan::EditSlot(), message)) {
    tell("Error", "Error while exporting.");
    return;
  }
  const std::string proposed = sanitizeFileName(displayName(*sounds().EditRecord()));
  fileDialog("Export single sound", true, sysExFolder_, kSysExFilter, kSysExExt, proposed,
             [this, message = std::move(message)](const std::string& path) {
               if (writeWholeFile(path, message.data(), message.size()) == 0)
                 tell("Message", "Edit single exported.");
               else
                 tell("Error", "Error while exporting.");
             });
}

// Bank SysEx files -----------------------------------------------------------------------------------------------

void TplugEditForm::ImportBank() {
  if (!engine_) return;
  fileDialog("Import bank", false, sysExFolder_, kSysExFilter, kSysExExt, "", [this](const std::string& path) {
    std::vector<std::uint8_t> data;
    if (readWholeFile(path, data) == 0 || refusedCutShort(path, data)) return;
    SelectProgramDialog("Select destination...", 0, [this, data = std::move(data)](int first) mutable {
      if (first < 0) return;
      const int last = std::min(first + kBankPrograms - 1, kProgramCount - 1);
      ask("Warning", "Overwrite sounds " + zeroPad(first, 3) + "..." + zeroPad(last, 3) + "?", MessageButtons::OkCancel,
          [this, first, data = std::move(data)](MessageResult r) mutable {
            if (r == MessageResult::Ok) importBankData(std::move(data), first);
          });
    });
  });
}

void TplugEditForm::importBankData(std::vector<std::uint8_t> data, int first) {
  // A bank placed near the end fills the programs up to 127 and drops the rest, as the user was
  // told in the question; that is a complete import, not a file that could not be identified.
  auto d = std::make_shared<const std::vector<std::uint8_t>>(std::move(data));
  importWithRetry([this, d, first](bool check) {
    bool ok = false;
    changeSounds([&] { ok = sounds().ProgMan().ImportBank(first, d->data(), check, d->size()); });
    return ok ||
           (first + kBankPrograms > kProgramCount && Ckv_progMan::BankMessageAcceptable(d->data(), check, d->size()));
  });
}

void TplugEditForm::ExportBank() {
  if (!engine_) return;
  SelectProgramDialog("Select source...", 0, [this](int first) {
    if (first < 0) return;
    if (first + kBankPrograms - 1 > kProgramCount - 1) {
      tell("Error", "Not enough sounds (40 needed) at this position!");
      return;
    }
    std::vector<std::uint8_t> message;
    if (!sounds().ProgMan().ExportBank(first, message)) {
      tell("Error", "Error while exporting.");
      return;
    }
    fileDialog("Export bank", true, sysExFolder_, kSysExFilter, kSysExExt, "",
               [this, first, message = std::move(message)](const std::string& path) {
                 if (writeWholeFile(path, message.data(), message.size()) == 0)
                   tell("Message",
                        "Sounds " + zeroPad(first, 3) + "..." + zeroPad(first + kBankPrograms - 1, 3) + " exported.");
                 else
                   tell("Error", "Error while exporting.");
               });
  });
}

}  // namespace korvo
