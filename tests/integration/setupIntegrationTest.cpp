// The built setup program in its unattended mode (natively, or under Wine in a fresh prefix):
// what it copies, what it records, and that the installed plug-in finds its files through it.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hostRunner.h"
#include "progRecord.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<char>;

Bytes readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
void writeBytes(const fs::path& p, const Bytes& b) {
  std::ofstream(p, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
}

std::string pluginName() { return underWine() ? "Korvo.dll" : "Korvo.so"; }
std::string setupName() { return underWine() ? "korvinst.exe" : "korvinst"; }

// The folder as the installed system names it: Wine shows the Linux root as drive Z:.
std::string native(const fs::path& p) {
  if (!underWine()) return p.string();
  std::string s = "Z:" + p.string();
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

class SetupProgram : public ::testing::Test {
 protected:
  // A setup folder as the package holds it: the program with the five files beside it. The
  // backup's program 0 is renamed, so a plug-in that starts with it has read this backup.
  static void SetUpTestSuite() {
    root_ = fs::temp_directory_path() / ("korvo-setup-it-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    const fs::path setup = root_ / "setup";
    fs::create_directories(setup);
    fs::create_directories(root_ / "config");
    fs::copy_file(testEnv("KORVO_TEST_KORVINST"), setup / setupName());
    fs::copy_file(testEnv("KORVO_TEST_PLUGIN"), setup / pluginName());
    const fs::path data = testEnv("KORVO_TEST_DATA");
    for (const char* f : {"wavrom.bin", "factory.kvl"}) fs::copy_file(data / f, setup / f);
    fs::copy_file(testEnv("KORVO_TEST_README"), setup / "readme.txt");
    Bytes backup = readBytes(data / "Korvo_backup.dat");
    korvo::ProgramRecord first;
    std::memcpy(&first, backup.data() + 20, sizeof first);
    korvo::setRecordName(first, "SETUP TEST");
    std::memcpy(backup.data() + 20, &first, sizeof first);
    writeBytes(setup / "Korvo_backup.dat", backup);
  }
  static void TearDownTestSuite() { fs::remove_all(root_); }

  // The setup folder without one of its files.
  static fs::path setupWithout(const std::string& file) {
    const fs::path dir = root_ / ("setup-without-" + file);
    fs::remove_all(dir);
    fs::copy(root_ / "setup", dir);
    fs::remove(dir / file);
    return dir;
  }
  static fs::path freshFolder(const std::string& name) {
    const fs::path dir = root_ / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
  }
  static HostRun install(const fs::path& folder, const fs::path& setup = root_ / "setup") {
    return runProgram((setup / setupName()).string(), {"/S", "/D=" + native(folder)}, (root_ / "config").string());
  }
  // The three folders the plug-in reads: the registry key under Wine, the settings file here.
  static std::map<std::string, std::string> recorded() {
    std::map<std::string, std::string> values;
    if (underWine()) {
      const HostRun reg = runProgram("reg", {"query", "HKLM\\Software\\Korvo"}, (root_ / "config").string());
      std::istringstream lines(reg.out);
      std::string name, type, line;
      while (std::getline(lines, line)) {
        std::istringstream words(line);
        if (words >> name >> type && type == "REG_SZ") {
          std::string value;
          std::getline(words >> std::ws, value);
          while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
          values[name] = value;
        }
      }
    } else {
      std::ifstream in(root_ / "config" / "Korvo" / "settings.conf");
      std::string line;
      while (std::getline(in, line))
        if (auto eq = line.find('='); eq != std::string::npos && line[0] != '#')
          values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
  }
  static HostRun host(const std::vector<std::string>& args, const fs::path& plugin) {
    std::vector<std::string> all = args;
    all.push_back(plugin.string());
    return runProgram(testEnv("KORVO_TEST_VSTHOST"), all, (root_ / "config").string());
  }
  static fs::path root_;
};
fs::path SetupProgram::root_;

TEST_F(SetupProgram, InstallsAPluginThatFindsItsFilesThroughTheRecordedFolders) {
  const fs::path vst = freshFolder("vst");
  const HostRun run = install(vst);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("Korvo has been installed."), std::string::npos) << run.err;
  const fs::path setup = root_ / "setup";
  const std::pair<std::string, fs::path> placed[] = {{pluginName(), vst / pluginName()},
                                                     {"wavrom.bin", vst / "Korvo" / "data" / "wavrom.bin"},
                                                     {"Korvo_backup.dat", vst / "Korvo" / "data" / "Korvo_backup.dat"},
                                                     {"factory.kvl", vst / "Korvo" / "user" / "factory.kvl"},
                                                     {"readme.txt", vst / "Korvo" / "readme.txt"}};
  for (const auto& [name, target] : placed) EXPECT_EQ(readBytes(target), readBytes(setup / name)) << target;
  const auto values = recorded();
  EXPECT_EQ(values, (std::map<std::string, std::string>{{"path_dll", native(vst)},
                                                        {"path_data", native(vst / "Korvo" / "data")},
                                                        {"path_user", native(vst / "Korvo" / "user")}}));

  // The installed plug-in starts with the installed backup and plays.
  const fs::path chunk = root_ / "chunk.bin";
  HostRun played = host({"--note", "60:100:0.5", "--seconds", "1", "--chunk-out", chunk.string()}, vst / pluginName());
  ASSERT_EQ(played.exitCode, 0) << played.err;
  const Bytes backup = readBytes(setup / "Korvo_backup.dat");
  EXPECT_EQ(readBytes(chunk), Bytes(backup.begin() + 20, backup.begin() + 20 + 544));
  EXPECT_GT(std::stod(played.value("render.peak")), 0.01);
  // It reads its wave ROM from that folder too: a silent ROM there makes the note silent.
  writeBytes(vst / "Korvo" / "data" / "wavrom.bin", Bytes(262144, 0));
  played = host({"--note", "60:100:0.5", "--seconds", "1"}, vst / pluginName());
  ASSERT_EQ(played.exitCode, 0) << played.err;
  EXPECT_EQ(std::stod(played.value("render.peak")), 0.0);
}

TEST_F(SetupProgram, InstallingTwiceKeepsCopiesOfTheSoundsAndOverwritesTheRest) {
  const fs::path vst = freshFolder("twice");
  ASSERT_EQ(install(vst).exitCode, 0);
  const fs::path backup = vst / "Korvo" / "data" / "Korvo_backup.dat", library = vst / "Korvo" / "user" / "factory.kvl";
  writeBytes(backup, Bytes{'m', 'i', 'n', 'e'});
  writeBytes(library, Bytes{'l', 'i', 'b'});
  writeBytes(vst / pluginName(), Bytes{'o', 'l', 'd'});
  const HostRun again = install(vst);
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(again.err.find('?'), std::string::npos) << "/S printed a question: " << again.err;
  EXPECT_EQ(readBytes(backup.string() + "~"), (Bytes{'m', 'i', 'n', 'e'}));
  EXPECT_EQ(readBytes(library.string() + "~"), (Bytes{'l', 'i', 'b'}));
  const fs::path setup = root_ / "setup";
  EXPECT_EQ(readBytes(backup), readBytes(setup / "Korvo_backup.dat"));
  EXPECT_EQ(readBytes(vst / pluginName()), readBytes(setup / pluginName()));
  EXPECT_FALSE(fs::exists(vst / (pluginName() + "~")));
}

TEST_F(SetupProgram, AMissingReadmeIsReportedAMissingWaveRomStopsBeforeTheFoldersAreRecorded) {
  const fs::path vst = freshFolder("noreadme");
  const HostRun run = install(vst, setupWithout("readme.txt"));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("Could not copy file: readme.txt"), std::string::npos) << run.err;
  EXPECT_EQ(recorded()["path_dll"], native(vst));

  const fs::path norom = freshFolder("norom");
  const HostRun stopped = install(norom, setupWithout("wavrom.bin"));
  EXPECT_NE(stopped.exitCode, 0);
  EXPECT_NE(stopped.err.find("Could not copy file: wavrom.bin"), std::string::npos) << stopped.err;
  EXPECT_TRUE(fs::exists(norom / pluginName()));
  EXPECT_FALSE(fs::exists(norom / "Korvo" / "user" / "factory.kvl"));
  EXPECT_EQ(recorded()["path_dll"], native(vst));

  // A folder that does not exist yet is made (with the folders above it); one that cannot be
  // made is refused.
  const HostRun made = install(root_ / "new" / "vst");
  EXPECT_EQ(made.exitCode, 0) << made.err;
  EXPECT_TRUE(fs::exists(root_ / "new" / "vst" / pluginName()));
  writeBytes(root_ / "a-file", Bytes{'x'});
  const HostRun nowhere = install(root_ / "a-file" / "vst");
  EXPECT_NE(nowhere.exitCode, 0);
  EXPECT_NE(nowhere.err.find("Please select existing directory."), std::string::npos) << nowhere.err;
}

}  // namespace
