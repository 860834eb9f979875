// Settings, the wave ROM and the backup file around the instance's lifetime.
#include <chrono>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "VSTaux.h"
#include "instanceFixture.h"
#include "waveRomFile.h"

using namespace korvo;
using namespace korvo::test;

namespace {

std::vector<std::uint8_t> bankWithProgram5Named(const char* name) {
  Ckv_soundMan man;
  setRecordName(*man.ProgMan().RecordAt(Ckv_progMan::SlotOf(5)), name);
  std::vector<std::uint8_t> image(static_cast<std::size_t>(Ckv_soundMan::BankSize()));
  man.SaveBank(image.data());
  return image;
}

std::string program5Name(CplugInstance& e) {
  return recordName(*e.engine().soundMan().ProgMan().RecordAt(Ckv_progMan::SlotOf(5)));
}

TEST(InstanceSettings, MissingSettingsTakeDefaultsAndAreWrittenBack) {
  auto dir = freshFolder("settings-defaults");
  InstanceEnvironment env = testEnvironment(dir, true, true);
  env.defaults = {"/dll", (dir / "data").string(), "/user"};
  {
    CplugInstance e(44100, env);
    EXPECT_EQ(e.settings().path_dll, "/dll");
    EXPECT_EQ(e.settings().path_user, "/user");
    EXPECT_TRUE(e.settings().restMouseMenu);
    EXPECT_TRUE(e.settings().restMouseKnob);
    e.settings().restMouseKnob = false;  // as the editor's option does
  }
  FileSettingsStore store((dir / "settings.conf").string());
  ASSERT_TRUE(store.open());
  EXPECT_EQ(store.readString("path_dll").value_or("?"), "/dll");
  EXPECT_EQ(store.readString("path_data").value_or("?"), (dir / "data").string());
  EXPECT_EQ(store.readInteger("restMouseKnob").value_or(9), 0u);
  EXPECT_EQ(store.readInteger("restMouseMenu").value_or(9), 1u);
}

TEST(InstanceSettings, FoldersThatFollowThePluginAreNotFrozenIntoTheSettings) {
  auto dir = freshFolder("settings-follow");
  InstanceEnvironment env = testEnvironment(dir, true, true);
  env.defaults = {"/dll", (dir / "data").string(), "/user", false};
  {
    CplugInstance e(44100, env);
    e.settings().path_user = "/chosen";  // changed: written
  }
  FileSettingsStore store((dir / "settings.conf").string());
  ASSERT_TRUE(store.open());
  EXPECT_FALSE(store.readString("path_dll").has_value());
  EXPECT_FALSE(store.readString("path_data").has_value());
  EXPECT_EQ(store.readString("path_user").value_or("?"), "/chosen");
  EXPECT_EQ(store.readInteger("restMouseMenu").value_or(9), 1u);
  // A later instance whose plug-in moved still takes its new default.
  env.defaults.path_data = (dir / "moved").string();
  CplugInstance moved(44100, env);
  EXPECT_EQ(moved.settings().path_data, (dir / "moved").string());
}

TEST(InstanceSettings, StoredValuesWinAndBadIntegersFallBackToTrue) {
  auto dir = freshFolder("settings-stored");
  std::ofstream(dir / "settings.conf") << "path_data=/somewhere\npath_user=\nrestMouseMenu=0\nrestMouseKnob=yes\n";
  CplugInstance e(44100, testEnvironment(dir));
  EXPECT_EQ(e.settings().path_data, "/somewhere");
  EXPECT_EQ(e.settings().path_user, dir.string()) << "an empty value takes the default";
  EXPECT_FALSE(e.settings().restMouseMenu);
  EXPECT_TRUE(e.settings().restMouseKnob);
}

// What the user wrote in the file survives the instance writing it back; a file too large to be
// read is kept aside, not replaced.
TEST(InstanceSettings, CommentsStayAndAnUnreadableFileIsKept) {
  auto dir = freshFolder("settings-kept");
  const auto file = dir / "settings.conf";
  std::ofstream(file) << "# my notes\npath_data=/somewhere\n\n# ports below\nrestMouseMenu=0\n";
  { CplugInstance e(44100, testEnvironment(dir, true, true)); }
  std::vector<std::uint8_t> bytes;
  readWholeFile(file.string(), bytes);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.rfind("# my notes\npath_data=/somewhere\n\n# ports below\nrestMouseMenu=0\n", 0), 0u) << text;
  EXPECT_NE(text.find("restMouseKnob=1\n"), std::string::npos) << text;

  const std::string huge = "# padding\n" + std::string(70000, '#') + "\npath_data=/mine\n";
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(writeWholeFile(file.string(), huge.data(), huge.size()), 0);
    CplugInstance e(44100, testEnvironment(dir, true, true));
  }
  for (const char* kept : {"settings.conf.unreadable", "settings.conf.unreadable.2"})
    EXPECT_EQ(std::filesystem::file_size(dir / kept), huge.size()) << kept;
  FileSettingsStore store(file.string());
  ASSERT_TRUE(store.open());
  EXPECT_TRUE(store.readInteger("restMouseMenu").has_value()) << "the settings were written after the copy";
}

TEST(InstanceSettings, AnUnopenableStoreLeavesFoldersEmptyAndFlagsFalse) {
  auto dir = freshFolder("settings-blocked");
  std::ofstream(dir / "notafolder") << "x";
  InstanceEnvironment env = testEnvironment(dir);
  env.settingsStore = std::make_shared<FileSettingsStore>((dir / "notafolder" / "settings.conf").string());
  CplugInstance e(44100, env);
  EXPECT_EQ(e.settings().path_data, "");
  EXPECT_FALSE(e.settings().restMouseMenu);
  EXPECT_FALSE(e.settings().restMouseKnob);
}

TEST(InstanceBackup, IsLoadedAtCreationAndSavedAtDestruction) {
  auto dir = freshFolder("backup-roundtrip");
  auto image = bankWithProgram5Named("SAVED");
  ASSERT_EQ(writeWholeFile((dir / "Korvo_backup.dat").string(), image.data(), image.size()), 0);
  InstanceEnvironment env = testEnvironment(dir, false, true);
  {
    CplugInstance e(44100, env);
    EXPECT_TRUE(e.backupLoaded());
    EXPECT_EQ(program5Name(e), "SAVED");
    setRecordName(*e.engine().soundMan().ProgMan().RecordAt(Ckv_progMan::SlotOf(5)), "EDITED");
  }
  CplugInstance again(44100, env);
  EXPECT_EQ(program5Name(again), "EDITED");
}

TEST(InstanceBackup, AnImageOfTheWrongSizeOrVersionIsIgnoredAndNeverLost) {
  struct Case {
    const char* name;
    int sizeDelta;
    int version;
  } cases[] = {{"short", -1, 1}, {"long", 1, 1}, {"version", 0, 2}};
  for (const auto& c : cases) {
    auto dir = freshFolder(std::string("backup-") + c.name);
    auto image = bankWithProgram5Named("ODD");
    image.resize(static_cast<std::size_t>(static_cast<long>(image.size()) + c.sizeDelta), 0);
    image[0] = static_cast<std::uint8_t>(c.version);
    const std::string path = (dir / "Korvo_backup.dat").string();
    ASSERT_EQ(writeWholeFile(path, image.data(), image.size()), 0);
    {
      CplugInstance e(44100, testEnvironment(dir, false, true));
      EXPECT_FALSE(e.backupLoaded()) << c.name;
      EXPECT_EQ(program5Name(e), "INIT") << c.name;
    }
    std::vector<std::uint8_t> onDisk;
    ASSERT_EQ(readWholeFile(path, onDisk), image.size()) << c.name << ": untouched while nothing changed";
    EXPECT_EQ(onDisk, image);
    {
      CplugInstance e(44100, testEnvironment(dir, false, true));
      setRecordName(*e.engine().soundMan().ProgMan().RecordAt(Ckv_progMan::SlotOf(7)), "NEW");
    }
    // Now the instance writes its memory, and the unreadable file is kept beside it.
    EXPECT_EQ(readWholeFile(path, onDisk), static_cast<std::size_t>(Ckv_soundMan::BankSize())) << c.name;
    std::vector<std::uint8_t> kept;
    EXPECT_EQ(readWholeFile(path + ".unreadable", kept), image.size()) << c.name;
    EXPECT_EQ(kept, image) << c.name;
  }
}

TEST(InstanceBackup, TwoInstancesDoNotOverwriteEachOthersChanges) {
  auto dir = freshFolder("backup-two");
  auto image = bankWithProgram5Named("START");
  const std::string path = (dir / "Korvo_backup.dat").string();
  ASSERT_EQ(writeWholeFile(path, image.data(), image.size()), 0);
  {
    auto changer = std::make_unique<CplugInstance>(44100, testEnvironment(dir, false, true));
    auto bystander = std::make_unique<CplugInstance>(44100, testEnvironment(dir, false, true));
    setRecordName(*changer->engine().soundMan().ProgMan().RecordAt(Ckv_progMan::SlotOf(5)), "CHANGED");
    changer.reset();    // closed first: writes its change
    bystander.reset();  // closed last, changed nothing: must not write its stale memory
  }
  CplugInstance after(44100, testEnvironment(dir, false, false));
  EXPECT_EQ(program5Name(after), "CHANGED");
}

TEST(InstanceBackup, AMissingBackupIsCreatedAndAnUnchangedOneLeftAlone) {
  auto dir = freshFolder("backup-none");
  const auto path = dir / "Korvo_backup.dat";
  { CplugInstance e(44100, testEnvironment(dir, false, true)); }
  ASSERT_TRUE(std::filesystem::exists(path)) << "created at the first unload";
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
  std::filesystem::last_write_time(path, old);
  {
    CplugInstance e(44100, testEnvironment(dir, false, true));
    e.engine().soundMan().WriteProgram(0);
  }
  EXPECT_EQ(std::filesystem::last_write_time(path), old) << "writing INIT over INIT changes nothing";
}

// The plug-in carries a wave ROM and the factory bank; files in the data folder win over them.
TEST(InstanceBuiltInData, FillsInForMissingFilesOnly) {
  std::vector<std::uint8_t> rom, bank;
  ASSERT_GT(readWholeFile(generatedDataFolder() + "/wavrom.bin", rom), 0u);
  ASSERT_GT(readWholeFile(generatedDataFolder() + "/factory.kvl", bank), 0u);
  auto dir = freshFolder("builtin");
  auto env = testEnvironment(dir, false, false);
  env.builtInWaveRom = rom;
  env.builtInBank = bank;
  std::string factory5;
  {
    CplugInstance e(44100, env);
    EXPECT_EQ(e.waveRomSource(), CplugInstance::WaveRomSource::BuiltIn);
    EXPECT_EQ(e.waveRomDescription(), "Wave ROM: built-in (no wavrom.bin in " + dir.string() + ")");
    EXPECT_TRUE(e.builtInBankLoaded());
    EXPECT_EQ(e.backupStatus(), BankImageStatus::Missing);
    factory5 = program5Name(e);
    EXPECT_NE(factory5, "INIT");
    e.engine().soundMan().SelectProgram(0);
    e.engine().keyboardNote(0, 60, 100);
    EXPECT_GT(peakOf(renderLeft(e.engine(), 22050)), 0.01f) << "plays from the first note";
  }
  // A user's own ROM image (here a silent one of one bank) and backup win.
  const std::vector<std::uint8_t> silent(65536, 0x80);
  ASSERT_EQ(writeWholeFile((dir / "wavrom.bin").string(), silent.data(), silent.size()), 0);
  auto own = bankWithProgram5Named("MINE");
  ASSERT_EQ(writeWholeFile((dir / "Korvo_backup.dat").string(), own.data(), own.size()), 0);
  {
    CplugInstance e(44100, env);
    EXPECT_EQ(e.waveRomSource(), CplugInstance::WaveRomSource::DataFolder);
    EXPECT_EQ(e.waveRomDescription(),
              "Wave ROM: " + (dir / "wavrom.bin").string() + " (196608 of 262144 bytes missing, played as silence)");
    EXPECT_FALSE(e.builtInBankLoaded());
    EXPECT_EQ(program5Name(e), "MINE");
    e.engine().keyboardNote(0, 60, 100);
    EXPECT_LT(peakOf(renderLeft(e.engine(), 22050)), 0.001f) << "the silent ROM of the data folder plays";
  }
  // A refused backup does not leave the user with INIT sounds either.
  own[0] = 7;
  ASSERT_EQ(writeWholeFile((dir / "Korvo_backup.dat").string(), own.data(), own.size()), 0);
  {
    CplugInstance e(44100, env);
    EXPECT_EQ(e.backupStatus(), BankImageStatus::WrongVersion);
    EXPECT_EQ(program5Name(e), factory5);
  }
  // A ROM cut short or zeroed would silence the instrument: the built-in one plays, and says why.
  for (const auto& [image, why] :
       {std::pair{std::vector<std::uint8_t>(1000, 0x55), "1000 bytes, less than one 64 KiB bank"},
        std::pair{std::vector<std::uint8_t>(262144, 0), "only zeros"}}) {
    ASSERT_EQ(writeWholeFile((dir / "wavrom.bin").string(), image.data(), image.size()), 0);
    CplugInstance e(44100, env);
    EXPECT_EQ(e.waveRomSource(), CplugInstance::WaveRomSource::BuiltIn) << why;
    EXPECT_EQ(e.waveRomDescription(), "Wave ROM: built-in (wavrom.bin in " + dir.string() + ": " + why + ")");
    e.engine().soundMan().SelectProgram(0);
    e.engine().keyboardNote(0, 60, 100);
    EXPECT_GT(peakOf(renderLeft(e.engine(), 22050)), 0.01f) << why;
  }
  // Without built-in data nothing fills in.
  std::filesystem::remove(dir / "wavrom.bin");
  CplugInstance bare(44100, testEnvironment(dir, false, false));
  EXPECT_EQ(bare.waveRomSource(), CplugInstance::WaveRomSource::None);
  EXPECT_EQ(bare.waveRomDescription(), "Wave ROM: none, silent (no wavrom.bin in " + dir.string() + ")");
}

// The file reader behind the data folder's wave ROM: a cut or zeroed file is refused and changes
// nothing, one whole bank or more is taken (up to 256 KiB) with the rest left to zero-filling.
TEST(WaveRomFile, RefusesImagesThatWouldSilenceEverySound) {
  auto dir = freshFolder("wavrom-file");
  auto write = [&](const char* name, std::vector<std::uint8_t> bytes) {
    EXPECT_EQ(writeWholeFile((dir / name).string(), bytes.data(), bytes.size()), 0);
    return (dir / name).string();
  };
  std::vector<std::uint8_t> oneBank(65536 + 3, 0);
  oneBank[0] = 5;
  const std::vector<std::uint8_t> before = {1, 2, 3};
  std::vector<std::uint8_t> image = before;
  WaveRomImageCheck check;
  EXPECT_FALSE(readWaveRomFile(write("cut.bin", {5, 6, 7}), image, &check));
  EXPECT_EQ(describe(check), "3 bytes, less than one 64 KiB bank");
  EXPECT_FALSE(readWaveRomFile(write("zeros.bin", std::vector<std::uint8_t>(kWaveRomFileBytes, 0)), image, &check));
  EXPECT_EQ(describe(check), "only zeros");
  EXPECT_FALSE(readWaveRomFile((dir / "missing.bin").string(), image, &check));
  EXPECT_EQ(check.fault, WaveRomFault::Unreadable);
  EXPECT_EQ(image, before) << "refused files change nothing";
  ASSERT_TRUE(readWaveRomFile(write("one.bin", oneBank), image, &check));
  EXPECT_EQ(image.size(), oneBank.size());
  EXPECT_EQ(check.missing, kWaveRomFileBytes - oneBank.size());
  ASSERT_TRUE(readWaveRomFile(write("long.bin", std::vector<std::uint8_t>(kWaveRomFileBytes + 10, 9)), image, &check));
  EXPECT_EQ(image.size(), kWaveRomFileBytes);
  EXPECT_EQ(check.missing, 0u);
}

TEST(InstanceSettings, MidiPortChoicesAndPauseRoundTrip) {
  auto dir = freshFolder("settings-midi");
  FileSettingsStore store((dir / "settings.conf").string());
  TplugSettings s;
  readSettings(store, {}, s);
  EXPECT_EQ(s.midiInPort, "");
  EXPECT_EQ(s.sysexPauseMs, 200);
  EXPECT_FALSE(s.sysexFromHost);
  s.midiInPort = "USB MIDI Interface:0";
  s.midiOutPort = "Synth=Out";  // a name may hold the separator of the file
  s.sysexPauseMs = 450;
  s.sysexFromHost = true;
  writeSettings(store, {}, s);
  TplugSettings back;
  FileSettingsStore again((dir / "settings.conf").string());
  readSettings(again, {}, back);
  EXPECT_EQ(back.midiInPort, "USB MIDI Interface:0");
  EXPECT_EQ(back.midiOutPort, "Synth=Out");
  EXPECT_EQ(back.sysexPauseMs, 450);
  EXPECT_TRUE(back.sysexFromHost);
  std::ofstream(dir / "settings.conf") << "sysexPause=4000000000\n";
  FileSettingsStore huge((dir / "settings.conf").string());
  readSettings(huge, {}, back);
  EXPECT_EQ(back.sysexPauseMs, 5000);
}

}  // namespace
