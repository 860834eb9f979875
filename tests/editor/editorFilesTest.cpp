// The File menu's commands end to end: library files, single and bank SysEx files, the questions
// they ask, the drawn file dialog, and bad files that must leave the sound memory as it was.
#include <cstring>
#include <fstream>
#include <tuple>

#include "VSTaux.h"
#include "editorRig.h"
#include "fileDialog.h"
#include "progRecord.h"

namespace korvo {
namespace {

using test::EditorRig;

std::vector<std::uint8_t> bankImage(Ckv_soundMan& s) {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(Ckv_soundMan::BankSize()));
  s.SaveBank(image.data());
  return image;
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct FileRig : EditorRig {
  void menu(const char* caption) {
    host().menuChooser = HeadlessHost::choose(caption);
    click(*form().menuFileImage);
    host().menuChooser = nullptr;
  }
};

TEST(EditorFiles, SaveAndLoadLibraryRoundTripAndRefuseBadFiles) {
  FileRig r;
  HeadlessHost& h = r.host();
  for (int n = 0; n < 128; n += 17) setRecordName(r.program(n), "SOUND " + std::to_string(n));
  const auto saved = bankImage(r.sounds());
  h.fileAnswers.push_back(r.path("mine.kvl"));
  r.menu("Save Library...");
  EXPECT_EQ(h.fileRequests.back().filter, "Library (*.KVL)|*.KVL");
  EXPECT_EQ(h.fileRequests.back().folder, r.dir.string());
  std::vector<std::uint8_t> onDisk;
  ASSERT_EQ(readWholeFile(r.path("mine.kvl"), onDisk), saved.size());
  EXPECT_EQ(onDisk, saved);

  r.sounds().ProgMan().InitAllPrograms();
  r.form().SelectProgram(3);
  h.fileAnswers.push_back(r.path("mine.kvl"));
  r.menu("Load Library...");
  EXPECT_EQ(bankImage(r.sounds()), saved);
  EXPECT_TRUE(r.sounds().Modified());
  EXPECT_EQ(r.sounds().CurrentProgram(), 3);

  // Another version, a short file, an unreadable one: nothing changes.
  auto v2 = saved;
  v2[0] = 2;
  writeFile(r.path("v2.kvl"), v2);
  writeFile(r.path("short.kvl"), std::vector<std::uint8_t>(saved.begin(), saved.end() - 1));
  r.sounds().ProgMan().InitAllPrograms();
  const auto before = bankImage(r.sounds());
  for (const char* name : {"v2.kvl", "short.kvl", "missing.kvl"}) {
    h.fileAnswers.push_back(r.path(name));
    r.menu("Load Library...");
    EXPECT_EQ(bankImage(r.sounds()), before) << name;
    EXPECT_NE(r.form().StatusLabel1->text.find(name), std::string::npos) << name;
  }
  // A save that cannot be written says so and leaves the old file whole.
  h.fileAnswers.push_back(r.path("nofolder/x.kvl"));
  r.menu("Save Library...");
  EXPECT_EQ(h.messages.back().caption, "Error");
  EXPECT_TRUE(readWholeFile(r.path("mine.kvl"), onDisk) == saved.size() && onDisk == saved);
}

TEST(EditorFiles, InitLibraryAsksFirstAndKeepsTheEditBuffer) {
  FileRig r;
  HeadlessHost& h = r.host();
  setRecordName(r.program(4), "KEEP");
  r.form().SelectProgram(4);
  h.messageAnswers.push_back(MessageResult::Cancel);
  r.menu("Init Library");
  EXPECT_EQ(h.messages.back().text, "Init library? (This will erase all sounds!)");
  EXPECT_EQ(displayName(r.program(4)), "KEEP");
  h.messageAnswers.push_back(MessageResult::Ok);
  r.menu("Init Library");
  EXPECT_EQ(displayName(r.program(4)), "INIT");
  EXPECT_EQ(displayName(*r.sounds().EditRecord()), "KEEP");
  EXPECT_EQ(r.sounds().CurrentProgram(), 4);
}

TEST(EditorFiles, SingleExportAndImport) {
  FileRig r;
  HeadlessHost& h = r.host();
  r.sounds().Editor().SetName("BELL/PAD?");
  h.fileAnswers.push_back(r.path("bell.syx"));
  r.menu("Export Pemmet/Halvet Single SysEx file...");
  EXPECT_EQ(h.fileRequests.back().fileName, sanitizeFileName("BELL/PAD?"));
  EXPECT_EQ(h.fileRequests.back().defaultExtension, "SYX");
  EXPECT_EQ(h.messages.back().text, "Edit single exported.");
  EXPECT_TRUE(h.answerMessage(MessageResult::Ok));
  std::vector<std::uint8_t> single;
  ASSERT_EQ(readWholeFile(r.path("bell.syx"), single), 210u);

  // Byte 3 is not looked at; the import asks first and refreshes the window.
  single[3] = 5;
  writeFile(r.path("bell5.syx"), single);
  r.form().SelectProgram(2);
  h.fileAnswers.push_back(r.path("bell5.syx"));
  h.messageAnswers.push_back(MessageResult::Cancel);
  r.menu("Import Pemmet/Halvet Single SysEx file...");
  EXPECT_EQ(h.messages.back().text, "Overwrite edit single ?");
  EXPECT_NE(r.form().progNameEdit->text(), "BELL/PAD?");
  h.fileAnswers.push_back(r.path("bell5.syx"));
  h.messageAnswers.push_back(MessageResult::Ok);
  r.menu("Import Pemmet/Halvet Single SysEx file...");
  EXPECT_EQ(r.form().progNameEdit->text(), displayName(*r.sounds().EditRecord()));
  EXPECT_EQ(r.sounds().CurrentProgram(), 2);
  EXPECT_TRUE(r.sounds().Modified());

  // 208 bytes of something else fail both tries; the edit buffer stays.
  writeFile(r.path("other.syx"), std::vector<std::uint8_t>(208, 0x01));
  const ProgramRecord before = *r.sounds().EditRecord();
  h.fileAnswers.push_back(r.path("other.syx"));
  h.messageAnswers = {MessageResult::Ok, MessageResult::Yes};
  r.menu("Import Pemmet/Halvet Single SysEx file...");
  ASSERT_GE(h.messages.size(), 2u);
  EXPECT_EQ(h.messages[h.messages.size() - 2].text,
            "This file could not be identified as Pemmet/Halvet SysEx. Try to load anyway?");
  EXPECT_EQ(h.messages.back().text, "Could not import file.");
  EXPECT_TRUE(h.answerMessage(MessageResult::Ok));
  EXPECT_EQ(std::memcmp(&before, r.sounds().EditRecord(), sizeof before), 0);

  // A dump that the file cuts short says so at once, before any question.
  writeFile(r.path("short.syx"), std::vector<std::uint8_t>(single.begin(), single.begin() + 208));
  auto bank = single;
  bank[4] = 2;
  bank.resize(100);
  writeFile(r.path("cut.syx"), bank);
  for (const auto& [file, command, said] :
       {std::tuple{"short.syx", "Import Pemmet/Halvet Single SysEx file...",
                   "single dump is cut short: 208 bytes, 209"},
        std::tuple{"cut.syx", "Import Pemmet/Halvet Bank SysEx file...", "bank dump is cut short: 100 bytes, 8165"}}) {
    h.messages.clear();
    h.messageAnswers.clear();
    h.fileAnswers.push_back(r.path(file));
    r.menu(command);
    ASSERT_EQ(h.messages.size(), 1u) << file;
    EXPECT_EQ(h.messages[0].caption, "Error");
    EXPECT_EQ(h.messages[0].text, std::string(file) + ": " + said + " needed.");
    h.answerMessage(MessageResult::Ok);
    EXPECT_EQ(h.modalCount(), 0u) << file;
  }
  EXPECT_EQ(std::memcmp(&before, r.sounds().EditRecord(), sizeof before), 0);
}

TEST(EditorFiles, BankExportAndImportNearTheEnd) {
  FileRig r;
  HeadlessHost& h = r.host();
  for (int n = 0; n < 128; ++n) setRecordName(r.program(n), "P" + std::to_string(n));
  // Export at 89 is refused, at 88 it writes 88..127.
  h.modalScript = [](HeadlessHost&, Control& d) {
    if (auto* f = dynamic_cast<TSelSingleForm*>(&d)) f->SingleList->setItemIndex(89);
  };
  r.menu("Export Pemmet/Halvet Bank SysEx file...");
  r.click(*r.chooser()->okButton);
  EXPECT_EQ(h.messages.back().text, "Not enough sounds (40 needed) at this position!");
  h.answerMessage(MessageResult::Ok);
  h.modalScript = [](HeadlessHost&, Control& d) {
    if (auto* f = dynamic_cast<TSelSingleForm*>(&d)) f->SingleList->setItemIndex(88);
  };
  h.fileAnswers.push_back(r.path("bank.syx"));
  r.menu("Export Pemmet/Halvet Bank SysEx file...");
  EXPECT_EQ(r.chooser()->title, "Select source...");
  r.click(*r.chooser()->okButton);
  EXPECT_EQ(h.messages.back().text, "Sounds 088...127 exported.");
  h.answerMessage(MessageResult::Ok);
  std::vector<std::uint8_t> bank;
  ASSERT_EQ(readWholeFile(r.path("bank.syx"), bank), 8166u);

  // Imported at 100: the question names 100..127, entries 0..27 land there, and a bank that
  // fits only in part is a finished import, not an unidentified file.
  r.sounds().ProgMan().InitAllPrograms();
  h.modalScript = [](HeadlessHost&, Control& d) {
    if (auto* f = dynamic_cast<TSelSingleForm*>(&d)) f->SingleList->setItemIndex(100);
  };
  h.fileAnswers.push_back(r.path("bank.syx"));
  h.messageAnswers.push_back(MessageResult::Ok);
  const std::size_t asked = h.messages.size();
  r.menu("Import Pemmet/Halvet Bank SysEx file...");
  EXPECT_EQ(r.chooser()->title, "Select destination...");
  r.click(*r.chooser()->okButton);
  ASSERT_EQ(h.messages.size(), asked + 1);
  EXPECT_EQ(h.messages.back().text, "Overwrite sounds 100...127?");
  EXPECT_EQ(displayName(r.program(100)), "P88");
  EXPECT_EQ(displayName(r.program(127)), "P115");
  EXPECT_EQ(displayName(r.program(99)), "INIT");
}

// Each file dialog says what it is for; a save dialog has the keys in its name box, and the
// extension it adds is as the files beside it are named.
TEST(EditorFiles, FileDialogTitlesAndTheSaveDialogsNameBox) {
  FileRig r;
  HeadlessHost& h = r.host();
  const std::vector<std::pair<const char*, const char*>> commands = {
      {"Load Library...", "Load library"},
      {"Save Library...", "Save library"},
      {"Import Pemmet/Halvet Single SysEx file...", "Import single sound"},
      {"Export Pemmet/Halvet Single SysEx file...", "Export single sound"},
      {"Import Pemmet/Halvet Bank SysEx file...", "Import bank"}};
  for (const auto& [command, title] : commands) {
    h.fileAnswers.push_back("");
    r.menu(command);
    EXPECT_EQ(h.fileRequests.back().title, title);
  }
  r.menu("Save Library...");
  auto* d = dynamic_cast<FileDialogView*>(h.topModal());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(h.focus(), &d->nameBox());
  h.typeText("mine");
  h.pressKey(keys::Return);
  EXPECT_EQ(h.modalCount(), 0u);
#ifdef _WIN32
  EXPECT_TRUE(std::filesystem::exists(r.path("mine.KVL")));
#else
  EXPECT_TRUE(std::filesystem::exists(r.path("mine.kvl")));
  EXPECT_FALSE(std::filesystem::exists(r.path("mine.KVL")));
#endif
  // An open dialog starts in the list; typing there starts a name.
  r.menu("Load Library...");
  d = dynamic_cast<FileDialogView*>(h.topModal());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(h.focus(), &d->list());
  h.typeText("mi");
  EXPECT_EQ(d->nameBox().text(), "mi");
  EXPECT_EQ(h.focus(), &d->nameBox());
  h.pressKey(keys::Escape);
}

TEST(EditorFiles, TheDrawnFileDialogBrowsesFiltersAndRemembersTheFolder) {
  FileRig r;
  HeadlessHost& h = r.host();
  std::filesystem::create_directories(r.dir / "banks");
  writeFile(r.path("banks/Lead.SYX"), {0xF0});
  writeFile(r.path("banks/pad.syx"), {0xF0});
  writeFile(r.path("banks/notes.txt"), {0x20});
  r.menu("Import Pemmet/Halvet Single SysEx file...");
  auto* d = dynamic_cast<FileDialogView*>(h.topModal());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->folder(), r.dir.string());
  const auto& e = d->entries();
  ASSERT_NE(std::find(e.begin(), e.end(), "[banks]"), e.end());
  d->list().setItemIndex(static_cast<int>(std::find(e.begin(), e.end(), "[banks]") - e.begin()));
  d->accept();  // opens the folder
  EXPECT_EQ(d->entries(), (std::vector<std::string>{"[..]", "Lead.SYX", "pad.syx"}));
  r.golden(h.frame(), "editor_fileDialog");
  d->nameBox().setText("pad");  // the default extension completes it
  d->accept();
  EXPECT_EQ(h.modalCount(), 1u);  // now the question over the import
  EXPECT_EQ(h.messages.back().text, "Overwrite edit single ?");
  h.answerMessage(MessageResult::Cancel);
  EXPECT_EQ(r.form().SysExFolder(), (r.dir / "banks").string());
  r.menu("Export Pemmet/Halvet Single SysEx file...");
  d = dynamic_cast<FileDialogView*>(h.topModal());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->folder(), (r.dir / "banks").string());
  h.pressKey(keys::Escape);
  EXPECT_EQ(h.modalCount(), 0u);
}

}  // namespace
}  // namespace korvo
