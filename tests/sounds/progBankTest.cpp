#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "VSTaux.h"
#include "progBank.h"

namespace korvo {
namespace {

namespace fs = std::filesystem;

// The backup as the instance takes it: the image into the memory only when the file was accepted.
BankImageStatus readBackup(Ckv_soundMan& sounds, const std::string& folder) {
  std::vector<std::uint8_t> image;
  const BankImageStatus status = korvo::readBackup(folder, image);
  if (status == BankImageStatus::Ok) sounds.LoadBank(image.data());
  return status;
}

class BankFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("korvo-bank-" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  static void write(const std::string& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  static void fill(Ckv_soundMan& sm) {
    for (int n = 0; n < 128; ++n) {
      ProgramRecord r = makeInitRecord();
      setRecordName(r, "P" + std::to_string(n));
      r.words[3] = static_cast<std::int16_t>(n % 75);
      sm.ProgMan().StoreSlot(Ckv_progMan::SlotOf(n), r);
    }
  }
  fs::path dir_;
};

TEST_F(BankFiles, SaveThenLoadLibrary) {
  Ckv_soundMan a;
  fill(a);
  ASSERT_EQ(saveLibraryFile(a, path("lib.kvl")), 0);
  EXPECT_EQ(fs::file_size(path("lib.kvl")), 69652u);
  Ckv_soundMan b;
  b.SelectProgram(3);
  EXPECT_EQ(loadLibraryFile(b, path("lib.kvl")), BankImageStatus::Ok);
  EXPECT_TRUE(b.Modified());
  EXPECT_EQ(b.CurrentProgram(), 3);
  EXPECT_EQ(recordName(*b.EditRecord()), "INIT");
  for (int s = 1; s <= 128; ++s) EXPECT_TRUE(recordsEqual(*a.ProgMan().RecordAt(s), *b.ProgMan().RecordAt(s)));
}

TEST_F(BankFiles, RefusedLibrariesChangeNothing) {
  Ckv_soundMan src;
  fill(src);
  std::vector<std::uint8_t> image(kBankSize);
  src.SaveBank(image.data());

  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    BankImageStatus status;
  };
  std::vector<std::uint8_t> v2 = image;
  v2[0] = 2;
  std::vector<std::uint8_t> shortOne(image.begin(), image.end() - 1);
  const Case cases[] = {
      {"version 2", v2, BankImageStatus::WrongVersion},
      {"one byte short", shortOne, BankImageStatus::TooShort},
      {"empty", {}, BankImageStatus::Empty},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write(path("bad.kvl"), c.bytes);
    Ckv_soundMan sm;
    sm.SelectProgram(0);  // as the engine does after creation: the flag is clear
    EXPECT_EQ(loadLibraryFile(sm, path("bad.kvl")), c.status);
    EXPECT_FALSE(sm.Modified());
    EXPECT_TRUE(recordsEqual(*sm.ProgMan().RecordAt(5), makeInitRecord()));
  }
  Ckv_soundMan sm;
  EXPECT_EQ(loadLibraryFile(sm, path("missing.kvl")), BankImageStatus::Empty);
}

TEST_F(BankFiles, LongerLibraryLoadsItsFirstBank) {
  Ckv_soundMan src;
  fill(src);
  std::vector<std::uint8_t> image(kBankSize);
  src.SaveBank(image.data());
  image.resize(70000, 0x77);
  write(path("long.kvl"), image);
  Ckv_soundMan sm;
  EXPECT_EQ(loadLibraryFile(sm, path("long.kvl")), BankImageStatus::Ok);
  EXPECT_TRUE(recordsEqual(*sm.ProgMan().RecordAt(128), *src.ProgMan().RecordAt(128)));
}

TEST_F(BankFiles, Backup) {
  const std::string folder = dir_.string();
  Ckv_soundMan none;
  EXPECT_EQ(readBackup(none, folder), BankImageStatus::Missing);
  EXPECT_TRUE(recordsEqual(*none.ProgMan().RecordAt(1), makeInitRecord()));

  Ckv_soundMan a;
  fill(a);
  ASSERT_EQ(writeBackup(a, folder, BankImageStatus::Missing), 0);
  EXPECT_FALSE(fs::exists(dir_ / "Korvo_backup.dat.unreadable")) << "nothing to keep aside";
  EXPECT_TRUE(fs::exists(dir_ / "Korvo_backup.dat"));
  Ckv_soundMan b;
  EXPECT_EQ(readBackup(b, folder), BankImageStatus::Ok);
  EXPECT_TRUE(recordsEqual(*a.ProgMan().RecordAt(77), *b.ProgMan().RecordAt(77)));

  // A backup must be exactly one image: a longer file is ignored.
  std::vector<std::uint8_t> image(kBankSize + 1);
  a.SaveBank(image.data());
  write((dir_ / "Korvo_backup.dat").string(), image);
  Ckv_soundMan c;
  EXPECT_EQ(readBackup(c, folder), BankImageStatus::WrongSize);
  EXPECT_TRUE(recordsEqual(*c.ProgMan().RecordAt(1), makeInitRecord()));
}

// Every refused backup, including one that cannot be read at all or is far too large, is kept
// before the engine's memory replaces it; a missing one is created even when nothing changed.
TEST_F(BankFiles, BackupRules) {
  const std::string folder = dir_.string();
  const std::string backup = path("Korvo_backup.dat");
  EXPECT_TRUE(backupNeedsWriting(BankImageStatus::Missing, false));
  EXPECT_FALSE(backupNeedsWriting(BankImageStatus::Ok, false));
  EXPECT_FALSE(backupNeedsWriting(BankImageStatus::Unreadable, false)) << "nothing changed: the file stays as it is";
  EXPECT_TRUE(backupNeedsWriting(BankImageStatus::Ok, true));

  Ckv_soundMan a;
  fill(a);
  struct Case {
    const char* name;
    std::size_t size;
    BankImageStatus expected;
  } cases[] = {{"empty", 0, BankImageStatus::Empty},
               {"oversized", 17u * 1024u * 1024u, BankImageStatus::Unreadable},
               {"folder", 0, BankImageStatus::Unreadable}};
  for (const auto& c : cases) {
    fs::remove_all(backup);
    fs::remove_all(backup + ".unreadable");
    std::vector<std::uint8_t> bytes(c.size, 0x5A);
    if (std::string(c.name) == "folder") {
      fs::create_directories(backup);  // exists, but can never be read as a file
      write((fs::path(backup) / "inside").string(), {1, 2, 3});
    } else {
      write(backup, bytes);
    }
    Ckv_soundMan b;
    const BankImageStatus status = readBackup(b, folder);
    EXPECT_EQ(status, c.expected) << c.name;
    EXPECT_TRUE(recordsEqual(*b.ProgMan().RecordAt(1), makeInitRecord())) << c.name;
    ASSERT_EQ(writeBackup(a, folder, status), 0) << c.name;
    Ckv_soundMan check;
    EXPECT_EQ(readBackup(check, folder), BankImageStatus::Ok) << c.name;
    EXPECT_TRUE(recordsEqual(*check.ProgMan().RecordAt(77), *a.ProgMan().RecordAt(77))) << c.name;
    if (std::string(c.name) == "folder") {
      EXPECT_EQ(fs::file_size(fs::path(backup + ".unreadable") / "inside"), 3u) << c.name;
    } else {
      EXPECT_EQ(fs::file_size(backup + ".unreadable"), c.size) << c.name;
    }
  }

  // A refused backup that another instance has replaced by a good one meanwhile is not moved
  // over the copy kept before.
  Ckv_soundMan other;
  ASSERT_EQ(writeBackup(other, folder, BankImageStatus::Unreadable), 0);
  EXPECT_TRUE(fs::is_directory(backup + ".unreadable"));
  EXPECT_EQ(fs::file_size(fs::path(backup + ".unreadable") / "inside"), 3u);
}

// Two refusals in a row: the second refused file is kept beside the first, never over it. A file
// of the right size whose records lack the format word is refused like one of the wrong size.
TEST_F(BankFiles, EveryRefusedBackupIsKeptUnderANameOfItsOwn) {
  const std::string folder = dir_.string();
  const std::string backup = path("Korvo_backup.dat");
  Ckv_soundMan a;
  fill(a);
  std::vector<std::uint8_t> whole(kBankSize);
  a.SaveBank(whole.data());
  std::vector<std::uint8_t> oneTooLong = whole;
  oneTooLong.push_back(0);
  std::vector<std::uint8_t> zeroed(kBankSize, 0);
  zeroed[0] = 1;  // the version is right, the records are not sound records
  std::vector<std::uint8_t> oneBadRecord = whole;
  oneBadRecord[kBankHeaderSize + 5 * kProgramRecordSize + 512] = 0;

  write(backup, oneTooLong);
  Ckv_soundMan b;
  ASSERT_EQ(readBackup(b, folder), BankImageStatus::WrongSize);
  ASSERT_EQ(writeBackup(a, folder, BankImageStatus::WrongSize), 0);
  for (const auto& refused : {zeroed, oneBadRecord}) {
    write(backup, refused);
    Ckv_soundMan c;
    EXPECT_EQ(readBackup(c, folder), BankImageStatus::BadRecords);
    EXPECT_TRUE(recordsEqual(*c.ProgMan().RecordAt(1), makeInitRecord()));
    ASSERT_EQ(writeBackup(a, folder, BankImageStatus::BadRecords), 0);
  }
  std::vector<std::uint8_t> kept;
  ASSERT_EQ(readWholeFile(backup + ".unreadable", kept), oneTooLong.size());
  EXPECT_EQ(kept, oneTooLong);
  ASSERT_EQ(readWholeFile(backup + ".unreadable.2", kept), zeroed.size());
  EXPECT_EQ(kept, zeroed);
  ASSERT_EQ(readWholeFile(backup + ".unreadable.3", kept), oneBadRecord.size());
  EXPECT_EQ(kept, oneBadRecord);
  Ckv_soundMan check;
  EXPECT_EQ(readBackup(check, folder), BankImageStatus::Ok);
}

TEST_F(BankFiles, MemoryCopiesAreNamedByTimeAndOnlyTheNewestStay) {
  const std::vector<std::uint8_t> image(kBankSize, 1);
  const std::time_t start = 1700000000;
  write(path("Korvo-memory-notes.txt"), {1});  // not a copy: left alone
  std::vector<std::string> names;
  for (int i = 0; i < 7; ++i) names.push_back(keepMemoryCopy(image, dir_.string(), start + (i < 2 ? 0 : i)));
  EXPECT_EQ(names[0].rfind("Korvo-memory-2023-11-", 0), 0u) << names[0];
  EXPECT_EQ(names[1], names[0].substr(0, names[0].size() - 4) + "-2.kvl") << "same second, its own name";
  EXPECT_TRUE(fs::exists(path("Korvo-memory-notes.txt")));
  std::size_t left = 0;
  for (const auto& e : fs::directory_iterator(dir_)) left += e.path().extension() == ".kvl";
  EXPECT_EQ(left, kMemoryCopiesKept);
  EXPECT_FALSE(fs::exists(path(names[0].c_str())));
  EXPECT_FALSE(fs::exists(path(names[1].c_str())));
  EXPECT_TRUE(fs::exists(path(names[6].c_str())));
  EXPECT_TRUE(keepMemoryCopy(image, (dir_ / "missing").string(), start).empty());
}

TEST_F(BankFiles, FailedSaveKeepsThePreviousFile) {
  Ckv_soundMan a;
  fill(a);
  ASSERT_EQ(saveLibraryFile(a, path("keep.kvl")), 0);
  Ckv_soundMan empty;
  // A file its owner made read-only is refused, and the file on disk keeps its previous contents.
  fs::permissions(path("keep.kvl"), fs::perms::owner_read);
  EXPECT_NE(saveLibraryFile(empty, path("keep.kvl")), 0);
  fs::permissions(path("keep.kvl"), fs::perms::owner_read | fs::perms::owner_write);
  Ckv_soundMan check;
  EXPECT_EQ(loadLibraryFile(check, path("keep.kvl")), BankImageStatus::Ok);
  EXPECT_TRUE(recordsEqual(*check.ProgMan().RecordAt(9), *a.ProgMan().RecordAt(9)));
}

}  // namespace
}  // namespace korvo
