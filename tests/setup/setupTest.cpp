// The setup program's steps and form against an in-memory file system, a scripted message box
// and an in-memory settings store; the real file system's copy in a scratch folder.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "settingsStore.h"
#include "setupFileSystem.h"
#include "setupStart.h"
#include "uSetup.h"

namespace korvo::setup {
namespace {

struct MemoryFiles : SetupFileSystem {
  std::set<std::string> dirs{"/", "/setup", "/vst"}, failCopyTo, failCreate;
  std::map<std::string, std::string> files;
  std::vector<std::string> copiedTo;
  bool isDirectory(const std::string& p) override { return dirs.count(p) > 0; }
  bool exists(const std::string& p) override { return dirs.count(p) || files.count(p); }
  bool createDirectory(const std::string& p) override { return !failCreate.count(p) && dirs.insert(p).second; }
  bool copyFile(const std::string& from, const std::string& to) override {
    copiedTo.push_back(to);
    if (!files.count(from) || failCopyTo.count(to)) return false;
    files[to] = files[from];
    return true;
  }
  bool sameContent(const std::string& a, const std::string& b) override {
    return files.count(a) && files.count(b) && files[a] == files[b];
  }
  std::vector<std::string> subfolders(const std::string& p) override {
    std::vector<std::string> names;
    for (const std::string& d : dirs)
      if (d.rfind(p + "/", 0) == 0 && d.find('/', p.size() + 1) == std::string::npos)
        names.push_back(d.substr(p.size() + 1));
    return names;
  }
  std::vector<std::string> drives() override { return {"/", "c:\\"}; }
};

struct MemoryStore : SettingsStore {
  std::map<std::string, std::string> values;
  bool fail = false;
  bool open() override { return !fail; }
  std::optional<std::string> readString(const std::string&) override { return std::nullopt; }
  std::optional<std::uint32_t> readInteger(const std::string&) override { return std::nullopt; }
  bool writeString(const std::string& n, const std::string& v) override { return values[n] = v, true; }
  bool writeInteger(const std::string&, std::uint32_t) override { return true; }
  bool commit() override { return true; }
};

// Shows every box as "caption|text"; the questions take the scripted answers, then OK.
struct ScriptedMessages : SetupMessages {
  std::vector<std::string> shown;
  std::deque<Answer> answers;
  Answer show(const std::string& text, const std::string& caption, bool question) override {
    shown.push_back(caption + "|" + text);
    if (!question || answers.empty()) return Answer::Ok;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
};

class Setup : public ::testing::Test {
 protected:
  Setup() {
    for (const char* f : {"Korvo.dll", "wavrom.bin", "Korvo_backup.dat", "factory.kvl", "readme.txt"})
      fs.files[std::string("/setup/") + f] = std::string("new ") + f;
  }
  InstallOutcome run(const std::string& folder = "/vst") {
    msgs.shown.clear();
    fs.copiedTo.clear();
    return install(env, folder);
  }
  MemoryFiles fs;
  MemoryStore store;
  ScriptedMessages msgs;
  SetupEnvironment env{fs, store, msgs, "/setup", "Korvo.dll"};
};

TEST_F(Setup, CopiesInOrderRecordsTheFoldersAndKeepsTheUsersSounds) {
  ASSERT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(msgs.shown, (std::vector<std::string>{"|Install to /vst ?", "|Korvo has been installed."}));
  EXPECT_EQ(fs.copiedTo, (std::vector<std::string>{"/vst/Korvo.dll", "/vst/Korvo/data/wavrom.bin",
                                                   "/vst/Korvo/data/Korvo_backup.dat", "/vst/Korvo/user/factory.kvl",
                                                   "/vst/Korvo/readme.txt"}));
  EXPECT_EQ(store.values,
            (std::map<std::string, std::string>{
                {"path_dll", "/vst"}, {"path_data", "/vst/Korvo/data"}, {"path_user", "/vst/Korvo/user"}}));
  // Again, with the user's sounds in place: a safety copy that fails leaves them unchanged.
  fs.files["/vst/Korvo/data/Korvo_backup.dat"] = "my sounds";
  fs.files["/vst/Korvo/user/factory.kvl"] = "my library";
  fs.failCopyTo = {"/vst/Korvo/data/Korvo_backup.dat~"};
  ASSERT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(msgs.shown[1],
            "|The directory /vst/Korvo already exists. Install anyway?\nYour sounds are kept: Korvo_backup.dat as "
            "Korvo_backup.dat~, factory.kvl as factory.kvl~.");
  EXPECT_EQ(msgs.shown[2], "Error|Could not copy file: Korvo_backup.dat");
  EXPECT_EQ(msgs.shown[3],
            "|Korvo has been installed.\nYour previous sounds are kept: factory.kvl as "
            "/vst/Korvo/user/factory.kvl~.");
  EXPECT_EQ(fs.files["/vst/Korvo/data/Korvo_backup.dat"], "my sounds");
  EXPECT_EQ(fs.files["/vst/Korvo/user/factory.kvl~"], "my library");
  EXPECT_EQ(fs.files["/vst/Korvo/user/factory.kvl"], "new factory.kvl");
}

TEST_F(Setup, TheClapPluginGoesToTheClapFolderWithOrWithoutTheVst2One) {
  fs.files["/setup/Korvo.clap"] = "new Korvo.clap";
  env.clapFolder = "/home/me/.clap";
  EXPECT_TRUE(clapOffered(env));
  env.installClap = true;
  ASSERT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(fs.copiedTo[0], "/vst/Korvo.dll");
  EXPECT_EQ(fs.copiedTo[1], "/home/me/.clap/Korvo.clap") << "the folder is made as it is missing";
  EXPECT_EQ(msgs.shown.back(), "|Korvo has been installed.\nThe CLAP plug-in is in /home/me/.clap.");

  // CLAP only: the product folder still goes into the chosen folder, where the settings point.
  fs.files.erase("/vst/Korvo.dll");
  env.installVst2 = false;
  ASSERT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(fs.copiedTo.front(), "/home/me/.clap/Korvo.clap");
  EXPECT_FALSE(fs.exists("/vst/Korvo.dll"));
  EXPECT_EQ(store.values["path_data"], "/vst/Korvo/data");

  env.installClap = false;
  EXPECT_EQ(run(), InstallOutcome::Refused);
  EXPECT_EQ(msgs.shown,
            (std::vector<std::string>{"Nothing to install|Choose the VST 2 plug-in, the CLAP plug-in or both."}));
  // The standalone program comes along beside the VST 2 plug-in when the setup folder has it.
  env.installVst2 = true;
  env.standaloneFile = "Korvo.exe";
  ASSERT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(fs.copiedTo.back(), "/vst/Korvo/readme.txt") << "none here, and nothing said of it";
  fs.files["/setup/Korvo.exe"] = "new Korvo.exe";
  ASSERT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(fs.copiedTo.back(), "/vst/Korvo.exe");
  const CommandLine line = parseCommandLine({"/S", "/NOCLAP", "/novst2", "/D=/x"});
  EXPECT_TRUE(line.noClap && line.noVst2 && line.error.empty());
}

// Reinstalling never replaces an earlier safety copy of the user's sounds, and a reinstall over
// unchanged factory files writes no copy at all.
TEST_F(Setup, ReinstallsKeepEverySafetyCopyOfTheUsersSounds) {
  const std::string backup = "/vst/Korvo/data/Korvo_backup.dat";
  ASSERT_EQ(run(), InstallOutcome::Installed);
  ASSERT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(msgs.shown[1], "|The directory /vst/Korvo already exists. Install anyway?");
  EXPECT_EQ(msgs.shown.back(), "|Korvo has been installed.");
  EXPECT_FALSE(fs.exists(backup + "~"));
  fs.files[backup] = "my sounds";
  ASSERT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(fs.files[backup + "~"], "my sounds");
  EXPECT_EQ(msgs.shown.back(),
            "|Korvo has been installed.\nYour previous sounds are kept: Korvo_backup.dat as " + backup + "~.");
  ASSERT_EQ(run(), InstallOutcome::Installed);  // the factory file again: nothing more to keep
  EXPECT_FALSE(fs.exists(backup + "~2"));
  fs.files[backup] = "my later sounds";
  ASSERT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(fs.files[backup + "~"], "my sounds");
  EXPECT_EQ(fs.files[backup + "~2"], "my later sounds");
  EXPECT_NE(msgs.shown[1].find("Korvo_backup.dat as Korvo_backup.dat~2"), std::string::npos) << msgs.shown[1];
  // A copy that holds only the factory file may take the user's sounds; one that holds them
  // already is enough.
  fs.files[backup + "~"] = fs.files["/setup/Korvo_backup.dat"];
  fs.files[backup] = "third";
  EXPECT_EQ(safetyCopyName(fs, backup, "/setup/Korvo_backup.dat"), backup + "~");
  fs.files[backup] = "my later sounds";
  EXPECT_EQ(safetyCopyName(fs, backup, "/setup/Korvo_backup.dat"), "");
}

TEST_F(Setup, StopsOnlyForThePluginAndTheWaveRom) {
  fs.files.erase("/setup/readme.txt");
  fs.files.erase("/setup/factory.kvl");
  EXPECT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(msgs.shown[1], "Error|Could not copy file: factory.kvl");
  EXPECT_EQ(msgs.shown[2], "Error|Could not copy file: readme.txt");
  store.values.clear();
  fs.files.erase("/setup/wavrom.bin");
  EXPECT_EQ(run(), InstallOutcome::CopyStopped);
  EXPECT_EQ(msgs.shown.back(), "Error|Could not copy file: wavrom.bin");
  EXPECT_EQ(fs.copiedTo.size(), 2u);
  EXPECT_TRUE(store.values.empty());
  fs.files.erase("/setup/Korvo.dll");
  EXPECT_EQ(run(), InstallOutcome::CopyStopped);
  EXPECT_EQ(fs.copiedTo.size(), 1u);
}

TEST_F(Setup, TakesTheDataFilesFromASetupFolderLaidOutAsAnInstallation) {
  fs.files.erase("/setup/wavrom.bin");
  fs.files["/setup/Korvo/data/wavrom.bin"] = "rom";
  EXPECT_EQ(run(), InstallOutcome::Installed);
  EXPECT_EQ(fs.files["/vst/Korvo/data/wavrom.bin"], "rom");
}

TEST_F(Setup, EndsWithTheMessageOfEachRefusal) {
  msgs.answers = {Answer::Cancel};
  EXPECT_EQ(run("/nowhere"), InstallOutcome::Cancelled);
  EXPECT_EQ(msgs.shown.size(), 1u);
  msgs.answers = {Answer::Ok, Answer::Cancel};  // not made
  EXPECT_EQ(run("/nowhere"), InstallOutcome::Cancelled);
  EXPECT_EQ(msgs.shown.back(), "|The folder /nowhere does not exist. Create it?");
  EXPECT_FALSE(fs.isDirectory("/nowhere"));
  fs.failCreate = {"/nowhere"};
  EXPECT_EQ(run("/nowhere"), InstallOutcome::Refused);
  EXPECT_EQ(msgs.shown.back(), "Invalid directory|Please select existing directory.");
  fs.failCreate = {"/vst/Korvo"};
  EXPECT_EQ(run(), InstallOutcome::Refused);
  EXPECT_EQ(msgs.shown.back(), "Error.|Could not create subfolder");
  fs.failCreate = {"/vst/Korvo/user"};
  EXPECT_EQ(run(), InstallOutcome::Refused);
  EXPECT_EQ(msgs.shown.back(), "Error.|Could not create subfolder \"/user\"");
  EXPECT_TRUE(fs.copiedTo.empty());
  msgs.answers = {Answer::Ok, Answer::Cancel};  // "already exists": Cancel
  EXPECT_EQ(run(), InstallOutcome::Cancelled);
  fs.failCreate.clear();
  store.fail = true;
  EXPECT_EQ(run(), InstallOutcome::RegistryFailed);
  EXPECT_EQ(msgs.shown.back(), "Error|Could not write to registry.");
}

// A typed folder that does not exist yet is made, with the folders above it, once the user agrees.
TEST_F(Setup, OffersToCreateAMissingFolder) {
  EXPECT_EQ(run("/home/me/.vst"), InstallOutcome::Installed);
  EXPECT_EQ(msgs.shown[1], "|The folder /home/me/.vst does not exist. Create it?");
  EXPECT_TRUE(fs.isDirectory("/home") && fs.isDirectory("/home/me/.vst/Korvo/data"));
  EXPECT_EQ(fs.files["/home/me/.vst/Korvo.dll"], "new Korvo.dll");
}

TEST_F(Setup, TheFormBrowsesFoldersAndClosesOnlyAfterSuccess) {
  fs.dirs.insert({"c:\\", "/vst/b", "/vst/a"});
  TForm1 form(env, "c:\\");
  EXPECT_EQ(form.driveIndex(), 1);
  msgs.answers = {Answer::Cancel};
  form.OkButtonClick();
  EXPECT_EQ(msgs.shown[0], "|Install to c:\\ ?");  // a drive root keeps its separator
  EXPECT_EQ(deriveFolders("c:\\").product, "c:\\Korvo");
  form.setDirectory("/vst/");
  std::vector<std::string> rows;
  for (const DirectoryEntry& e : form.directoryEntries())
    rows.push_back(std::to_string(e.depth) + e.label + (e.current ? "*" : ""));
  EXPECT_EQ(rows, (std::vector<std::string>{"0/", "1vst*", "2a", "2b"}));
  form.openEntry(3);
  EXPECT_EQ(form.pathLabel(), "/vst/b");
  form.selectDrive(0);
  EXPECT_EQ(form.pathLabel(), "/");
  form.setDirectory("/vst");
  store.fail = true;
  EXPECT_EQ(form.OkButtonClick(), InstallOutcome::RegistryFailed);
  EXPECT_FALSE(form.closed());
  EXPECT_EQ(form.directoryEntries()[2].label, "Korvo");  // the new folder is listed
  store.fail = false;
  EXPECT_EQ(form.OkButtonClick(), InstallOutcome::Installed);
  EXPECT_TRUE(form.closed());
}

TEST(SetupCommandLine, UnattendedModeAndItsFolder) {
  CommandLine l = parseCommandLine({"/S", "/D=C:\\Program", "Files\\VstPlugins"});
  EXPECT_TRUE(l.unattended && l.error.empty());
  EXPECT_EQ(l.folder, "C:\\Program Files\\VstPlugins");
  EXPECT_EQ(parseCommandLine({"/s", "/d=\"/home/me/.vst\""}).folder, "/home/me/.vst");
  EXPECT_EQ(parseCommandLine({"/S", "/D=C:\\VST\""}).folder, "C:\\VST");
  EXPECT_FALSE(parseCommandLine({"/S", "/D="}).error.empty());
  EXPECT_FALSE(parseCommandLine({"--silent"}).error.empty());
  EXPECT_EQ(normalFolder("c:"), "c:\\");
  EXPECT_EQ(normalFolder("c:\\vst\\"), "c:\\vst");
}

// Both front ends start here: the interactive messages answer unless /S asks for the unattended
// lines, and a command line that is not understood ends with status 2 and a line on stderr.
TEST(SetupStart, TheCommandLineChoosesTheMessages) {
  UnattendedMessages interactive(stdout);
  SystemSetup windowed(parseCommandLine({}), interactive, "Korvo.so");
  EXPECT_EQ(&windowed.env.messages, &interactive);
  EXPECT_EQ(windowed.env.setupFolder, programFolder());
  SystemSetup silent(parseCommandLine({"/S"}), interactive, "Korvo.so");
  EXPECT_EQ(&silent.env.messages, &silent.unattended);
  EXPECT_EQ(silent.env.pluginFile, "Korvo.so");
  // Unattended, questions are answered and not printed; the other messages are.
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  UnattendedMessages lines(out);
  EXPECT_EQ(lines.show("Install to /vst ?", "", true), Answer::Ok);
  lines.show("Could not copy file: readme.txt", "Error", false);
  std::rewind(out);
  char buf[256] = {};
  const std::size_t n = std::fread(buf, 1, sizeof buf - 1, out);
  std::fclose(out);
  EXPECT_EQ(std::string(buf, n), "korvinst: [Error] Could not copy file: readme.txt\n");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(reportCommandLineError(parseCommandLine({"--silent"})), 2);
  EXPECT_EQ(::testing::internal::GetCapturedStderr().rfind("korvinst: unknown argument: --silent", 0), 0u);
}

// A copy that cannot complete leaves the previous target whole and no temporary file behind.
TEST(SetupSystemFiles, ReplacesOnlyByACompleteCopy) {
  namespace stdfs = std::filesystem;
  const stdfs::path dir = stdfs::temp_directory_path() / ("korvo-setup-" + std::to_string(std::random_device{}()));
  stdfs::create_directories(dir / "sub");
  std::ofstream(dir / "target") << "previous";
  std::ofstream(dir / "source") << "next";
  auto text = [&] { return (std::stringstream() << std::ifstream(dir / "target").rdbuf()).str(); };
  SystemFileSystem files;
  EXPECT_FALSE(files.copyFile((dir / "missing").string(), (dir / "target").string()));
  EXPECT_FALSE(files.copyFile((dir / "sub").string(), (dir / "target").string()));
  EXPECT_EQ(text(), "previous");
  EXPECT_EQ(std::distance(stdfs::directory_iterator(dir), {}), 3) << "no temporary file left";
  std::ofstream(dir / "target.tmp") << "the user's own";
  EXPECT_TRUE(files.copyFile((dir / "source").string(), (dir / "target").string()));
  EXPECT_EQ(text(), "next");
  EXPECT_EQ(stdfs::file_size(dir / "target.tmp"), 14u) << "a file of that name is not the copy's";
  EXPECT_TRUE(files.sameContent((dir / "source").string(), (dir / "target").string()));
  EXPECT_FALSE(files.sameContent((dir / "source").string(), (dir / "target.tmp").string()));
  stdfs::remove_all(dir);
}

}  // namespace
}  // namespace korvo::setup
