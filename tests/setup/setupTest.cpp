// The setup program's steps and form against an in-memory file system, a scripted message box
// and an in-memory settings store; the real file system in a scratch folder.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "settingsStore.h"
#include "setupFileSystem.h"
#include "uSetup.h"

namespace korvo::setup {
namespace {

class MemoryFiles : public SetupFileSystem {
 public:
  std::set<std::string> dirs;
  std::map<std::string, std::string> files;
  std::set<std::string> failCopyTo, failCreate;
  std::vector<std::pair<std::string, std::string>> copies;

  bool isDirectory(const std::string& p) override { return dirs.count(p) > 0; }
  bool exists(const std::string& p) override { return dirs.count(p) || files.count(p); }
  bool createDirectory(const std::string& p) override {
    if (failCreate.count(p) || exists(p)) return false;
    dirs.insert(p);
    return true;
  }
  bool copyFile(const std::string& from, const std::string& to) override {
    copies.push_back({from, to});
    auto it = files.find(from);
    if (it == files.end() || failCopyTo.count(to)) return false;
    files[to] = it->second;
    return true;
  }
  std::vector<std::string> subfolders(const std::string& p) override {
    std::vector<std::string> names;
    const std::string prefix = p.back() == '/' || p.back() == '\\' ? p : p + "/";
    for (const std::string& d : dirs)
      if (d.rfind(prefix, 0) == 0 && d.size() > prefix.size() && d.find('/', prefix.size()) == std::string::npos)
        names.push_back(d.substr(prefix.size()));
    return names;
  }
  std::vector<std::string> drives() override { return {"/", "c:\\"}; }
};

class MemoryStore : public SettingsStore {
 public:
  std::map<std::string, std::string> values;
  bool fail = false;
  bool open() override { return !fail; }
  std::optional<std::string> readString(const std::string& n) override {
    auto it = values.find(n);
    return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  std::optional<std::uint32_t> readInteger(const std::string&) override { return std::nullopt; }
  bool writeString(const std::string& n, const std::string& v) override {
    values[n] = v;
    return true;
  }
  bool writeInteger(const std::string&, std::uint32_t) override { return true; }
  bool commit() override { return true; }
};

struct Box {
  std::string text, caption;
  bool question;
};
class ScriptedMessages : public SetupMessages {
 public:
  std::vector<Box> shown;
  std::deque<Answer> answers;  // for the questions; OK when the script runs out
  Answer show(const std::string& text, const std::string& caption, bool question) override {
    shown.push_back({text, caption, question});
    if (!question || answers.empty()) return Answer::Ok;
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> t;
    for (const Box& b : shown) t.push_back(b.caption + "|" + b.text);
    return t;
  }
};

const char* const kFiles[] = {"Korvo.dll", "wavrom.bin", "Korvo_backup.dat", "factory.kvl", "readme.txt"};

class Setup : public ::testing::Test {
 protected:
  Setup() {
    fs.dirs = {"/", "/setup", "/vst"};
    for (const char* f : kFiles) fs.files[std::string("/setup/") + f] = std::string("new ") + f;
  }
  InstallOutcome run(const std::string& folder = "/vst") {
    msgs.shown.clear();
    fs.copies.clear();
    return install(env, folder);
  }
  MemoryFiles fs;
  MemoryStore store;
  ScriptedMessages msgs;
  SetupEnvironment env{fs, store, msgs, "/setup", "Korvo.dll"};
};

TEST_F(Setup, FreshInstallCopiesInOrderAndRecordsTheFolders) {
  ASSERT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(msgs.texts(), (std::vector<std::string>{"|Install to /vst ?", "|Korvo has been installed."}));
  EXPECT_TRUE(msgs.shown[0].question);
  const std::vector<std::pair<std::string, std::string>> order = {
      {"/setup/Korvo.dll", "/vst/Korvo.dll"},
      {"/setup/wavrom.bin", "/vst/Korvo/data/wavrom.bin"},
      {"/setup/Korvo_backup.dat", "/vst/Korvo/data/Korvo_backup.dat"},
      {"/setup/factory.kvl", "/vst/Korvo/user/factory.kvl"},
      {"/setup/readme.txt", "/vst/Korvo/readme.txt"}};
  EXPECT_EQ(fs.copies, order);
  EXPECT_EQ(store.values, (std::map<std::string, std::string>{
                              {"path_dll", "/vst"}, {"path_data", "/vst/Korvo/data"}, {"path_user", "/vst/Korvo/user"}}));
}

TEST_F(Setup, InstallingTwiceAsksAndKeepsSafetyCopiesOfTheSounds) {
  ASSERT_EQ(run(), InstallOutcome::Installed);
  fs.files["/vst/Korvo/data/Korvo_backup.dat"] = "my sounds";
  fs.files["/vst/Korvo/user/factory.kvl"] = "my library";
  fs.files["/vst/Korvo.dll"] = "old dll";
  // Cancel at the second question changes nothing.
  msgs.answers = {Answer::Ok, Answer::Cancel};
  auto before = fs.files;
  EXPECT_EQ(run(), InstallOutcome::Cancelled);
  EXPECT_EQ(msgs.shown.back().text, "The directory /vst/Korvo already exists. Install anyway?");
  EXPECT_EQ(fs.files, before);

  ASSERT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(fs.files["/vst/Korvo/data/Korvo_backup.dat~"], "my sounds");
  EXPECT_EQ(fs.files["/vst/Korvo/user/factory.kvl~"], "my library");
  EXPECT_EQ(fs.files["/vst/Korvo/data/Korvo_backup.dat"], "new Korvo_backup.dat");
  EXPECT_EQ(fs.files["/vst/Korvo.dll"], "new Korvo.dll");
  EXPECT_FALSE(fs.exists("/vst/Korvo.dll~"));
  EXPECT_FALSE(fs.exists("/vst/Korvo/data/wavrom.bin~"));
}

TEST_F(Setup, FailuresStopOrGoOnAsEachFileDemands) {
  // A missing read-me is reported, and the installation still succeeds.
  fs.files.erase("/setup/readme.txt");
  EXPECT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(msgs.texts(), (std::vector<std::string>{"|Install to /vst ?", "Error|Could not copy file: readme.txt",
                                                    "|Korvo has been installed."}));
  // A missing wave ROM stops after the plug-in was copied: the folders are not recorded.
  store.values.clear();
  fs.files.erase("/setup/wavrom.bin");
  fs.dirs.insert("/vst2");
  EXPECT_EQ(run("/vst2"), InstallOutcome::CopyStopped);
  EXPECT_EQ(msgs.shown.back().caption + "|" + msgs.shown.back().text, "Error|Could not copy file: wavrom.bin");
  EXPECT_TRUE(fs.exists("/vst2/Korvo.dll"));
  EXPECT_EQ(fs.copies.size(), 2u);
  EXPECT_TRUE(store.values.empty());
  // Without the plug-in nothing is copied.
  fs.files.erase("/setup/Korvo.dll");
  fs.dirs.insert("/vst3");
  EXPECT_EQ(run("/vst3"), InstallOutcome::CopyStopped);
  EXPECT_EQ(msgs.shown.back().text, "Could not copy file: Korvo.dll");
  EXPECT_EQ(fs.copies.size(), 1u);
}

TEST_F(Setup, ASetupFolderLaidOutAsAnInstallationServesToo) {
  for (const char* f : {"wavrom.bin", "Korvo_backup.dat", "factory.kvl", "readme.txt"}) fs.files.erase(std::string("/setup/") + f);
  fs.files["/setup/Korvo/data/wavrom.bin"] = "rom";
  fs.files["/setup/Korvo/user/factory.kvl"] = "lib";
  fs.files["/setup/Korvo/readme.txt"] = "read me";
  EXPECT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(fs.files["/vst/Korvo/data/wavrom.bin"], "rom");
  EXPECT_EQ(fs.files["/vst/Korvo/user/factory.kvl"], "lib");
  EXPECT_EQ(fs.files["/vst/Korvo/readme.txt"], "read me");
  EXPECT_EQ(msgs.texts()[1], "Error|Could not copy file: Korvo_backup.dat");  // in neither place
}

TEST_F(Setup, AFailedSafetyCopyLeavesTheUsersSoundsInPlace) {
  ASSERT_EQ(run(), InstallOutcome::Installed);
  fs.files["/vst/Korvo/data/Korvo_backup.dat"] = "my sounds";
  fs.failCopyTo = {"/vst/Korvo/data/Korvo_backup.dat~"};
  EXPECT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(fs.files["/vst/Korvo/data/Korvo_backup.dat"], "my sounds");
  EXPECT_EQ(msgs.shown[2].text, "Could not copy file: Korvo_backup.dat");
  EXPECT_EQ(fs.files["/vst/Korvo/user/factory.kvl"], "new factory.kvl");
}

TEST_F(Setup, BadFoldersAndTheRegistryEndWithTheirMessages) {
  EXPECT_EQ(run("/nowhere"), InstallOutcome::Refused);
  EXPECT_EQ(msgs.texts().back(), "Invalid directory|Please select existing directory.");

  fs.failCreate = {"/vst/Korvo"};
  EXPECT_EQ(run(), InstallOutcome::Refused);
  EXPECT_EQ(msgs.texts().back(), "Error.|Could not create subfolder");
  fs.failCreate = {"/vst/Korvo/user"};
  EXPECT_EQ(run(), InstallOutcome::Refused);
  EXPECT_EQ(msgs.texts().back(), "Error.|Could not create subfolder \"/user\"");
  EXPECT_TRUE(fs.isDirectory("/vst/Korvo/data"));
  EXPECT_TRUE(fs.copies.empty());

  fs.failCreate.clear();
  store.fail = true;
  EXPECT_EQ(run(), InstallOutcome::RegistryFailed);
  EXPECT_EQ(msgs.texts().back(), "Error|Could not write to registry.");

  msgs.answers = {Answer::Cancel};
  EXPECT_EQ(run("/nowhere"), InstallOutcome::Cancelled);
  EXPECT_EQ(msgs.shown.size(), 1u);
}

TEST_F(Setup, TheFormBrowsesFoldersAndClosesOnlyAfterSuccess) {
  fs.dirs.insert({"c:\\", "/vst/b", "/vst/a"});
  TForm1 form(env, "c:\\");
  EXPECT_EQ(form.pathLabel(), "c:\\");
  EXPECT_EQ(form.driveIndex(), 1);
  // A drive root keeps its separator, so the product folder is the root plus "Korvo".
  msgs.answers = {Answer::Cancel};
  form.OkButtonClick();
  EXPECT_EQ(msgs.shown[0].text, "Install to c:\\ ?");
  EXPECT_EQ(deriveFolders("c:\\").product, "c:\\Korvo");

  form.selectDrive(0);
  form.setDirectory("/vst/");
  EXPECT_EQ(form.directory(), "/vst");
  std::vector<std::string> rows;
  for (const DirectoryEntry& e : form.directoryEntries()) rows.push_back(std::to_string(e.depth) + e.label + (e.current ? "*" : ""));
  EXPECT_EQ(rows, (std::vector<std::string>{"0/", "1vst*", "2a", "2b"}));
  form.openEntry(3);
  EXPECT_EQ(form.pathLabel(), "/vst/b");
  form.openEntry(0);
  EXPECT_EQ(form.pathLabel(), "/");

  form.setDirectory("/vst");
  store.fail = true;
  EXPECT_EQ(form.OkButtonClick(), InstallOutcome::RegistryFailed);
  EXPECT_FALSE(form.closed());
  EXPECT_EQ(form.directoryEntries().back().label, "b");  // the new Korvo folder is listed
  EXPECT_EQ(form.directoryEntries()[2].label, "Korvo");
  store.fail = false;
  EXPECT_EQ(form.OkButtonClick(), InstallOutcome::Installed);
  EXPECT_TRUE(form.closed());

  TForm1 aborted(env, "/vst");
  aborted.CancelButtonClick();
  EXPECT_TRUE(aborted.closed());
}

TEST(SetupCommandLine, UnattendedModeAndItsFolder) {
  CommandLine l = parseCommandLine({"/S", "/D=C:\\Program", "Files\\VstPlugins"});
  EXPECT_TRUE(l.unattended);
  EXPECT_EQ(l.folder, "C:\\Program Files\\VstPlugins");
  EXPECT_TRUE(l.error.empty());
  l = parseCommandLine({"/s", "/d=\"/home/me/.vst\""});
  EXPECT_TRUE(l.unattended);
  EXPECT_EQ(l.folder, "/home/me/.vst");
  EXPECT_EQ(parseCommandLine({"/S", "/D=C:\\VST\""}).folder, "C:\\VST");
  EXPECT_FALSE(parseCommandLine({}).unattended);
  EXPECT_FALSE(parseCommandLine({"/S", "/D="}).error.empty());
  EXPECT_FALSE(parseCommandLine({"--silent"}).error.empty());
  EXPECT_EQ(normalFolder("c:"), "c:\\");
  EXPECT_EQ(normalFolder("c:\\vst\\"), "c:\\vst");
  EXPECT_EQ(normalFolder("/"), "/");
}

// The real file system: a copy that cannot complete leaves the previous target whole and no
// temporary file behind.
TEST(SetupSystemFiles, ReplacesOnlyByACompleteCopy) {
  namespace stdfs = std::filesystem;
  std::random_device rd;
  const stdfs::path dir = stdfs::temp_directory_path() / ("korvo-setup-" + std::to_string(rd()));
  stdfs::create_directories(dir / "sub");
  std::ofstream(dir / "target") << "previous";
  std::ofstream(dir / "source") << "next";
  SystemFileSystem files;
  EXPECT_FALSE(files.copyFile((dir / "missing").string(), (dir / "target").string()));
  EXPECT_FALSE(files.copyFile((dir / "sub").string(), (dir / "target").string()));
  std::ifstream in(dir / "target");
  std::string text;
  in >> text;
  EXPECT_EQ(text, "previous");
  EXPECT_FALSE(stdfs::exists(dir / "target.tmp"));
  EXPECT_TRUE(files.copyFile((dir / "source").string(), (dir / "target").string()));
  std::ifstream again(dir / "target");
  again >> text;
  EXPECT_EQ(text, "next");
  EXPECT_EQ(files.subfolders(dir.string()), std::vector<std::string>{"sub"});
  EXPECT_FALSE(files.createDirectory((dir / "no" / "such").string()));
  stdfs::remove_all(dir);
}

}  // namespace
}  // namespace korvo::setup
