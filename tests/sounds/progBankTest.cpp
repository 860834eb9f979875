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
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
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

  struct Case { const char* what; std::vector<std::uint8_t> bytes; BankImageStatus status; };
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
  EXPECT_EQ(readBackup(none, folder), BankImageStatus::Empty);
  EXPECT_TRUE(recordsEqual(*none.ProgMan().RecordAt(1), makeInitRecord()));

  Ckv_soundMan a;
  fill(a);
  ASSERT_EQ(writeBackup(a, folder), 0);
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

TEST_F(BankFiles, FailedSaveKeepsThePreviousFile) {
  Ckv_soundMan a;
  fill(a);
  ASSERT_EQ(saveLibraryFile(a, path("keep.kvl")), 0);
  Ckv_soundMan empty;
  // A target inside a folder that does not exist cannot be written; the error is reported.
  EXPECT_NE(saveLibraryFile(empty, path("no/such/folder.kvl")), 0);
  Ckv_soundMan check;
  EXPECT_EQ(loadLibraryFile(check, path("keep.kvl")), BankImageStatus::Ok);
  EXPECT_TRUE(recordsEqual(*check.ProgMan().RecordAt(9), *a.ProgMan().RecordAt(9)));
}

}  // namespace
}  // namespace korvo
