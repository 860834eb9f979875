#include <cfloat>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <gtest/gtest.h>

#include "VSTaux.h"

using namespace korvo;

namespace {

std::filesystem::path tempFolder() {
  auto dir = std::filesystem::temp_directory_path() /
             ("korvo-aux-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

TEST(ZeroPad, PadsMagnitudeAndPutsTheSignFirst) {
  EXPECT_EQ(zeroPad(-5, 3), "-05");
  EXPECT_EQ(zeroPad(42, 0), "");
  EXPECT_EQ(zeroPad(42, -1), "");
  EXPECT_EQ(zeroPad(7, 3), "007");
  EXPECT_EQ(zeroPad(1234, 2), "1234");
  EXPECT_EQ(zeroPad(-123, 3), "-123");
  EXPECT_EQ(zeroPad(0, 1), "0");
  EXPECT_EQ(zeroPad(INT32_MIN, 1), "-2147483648");
}

TEST(DigitCount, CountsDecimalDigits) {
  EXPECT_EQ(digitCount(0), 1);
  EXPECT_EQ(digitCount(9), 1);
  EXPECT_EQ(digitCount(10), 2);
  EXPECT_EQ(digitCount(127), 3);
  EXPECT_EQ(digitCount(4294967295u), 10);
}

TEST(NoteNames, NamesOctavesFromMinusTwoAndPadsToFour) {
  const auto& n = noteNames();
  EXPECT_EQ(n[0], "C-2 ");
  EXPECT_EQ(n[1], "C#-2");
  EXPECT_EQ(n[60], "C3  ");
  EXPECT_EQ(n[69], "A3  ");
  EXPECT_EQ(n[127], "G8  ");
  EXPECT_EQ(n[13], "C#-1");
  for (const auto& name : n) {
    EXPECT_GE(name.size(), 4u);
    EXPECT_LE(name.size(), 7u);
  }
}

TEST(SanitizeFileName, ReplacesEveryForbiddenCharacter) {
  EXPECT_EQ(sanitizeFileName("a\"b*c?d/e:f\\g|h<i>j"), "a'b~c~d-e-f-g-h[i]j");
  EXPECT_EQ(sanitizeFileName(""), "");
  EXPECT_EQ(sanitizeFileName("Bass 01"), "Bass 01");
}

TEST(JoinPath, InsertsOneSeparator) {
  const std::string sep(1, pathSeparator());
  EXPECT_EQ(joinPath("", "wavrom.bin"), "wavrom.bin");
  EXPECT_EQ(joinPath("data", "wavrom.bin"), "data" + sep + "wavrom.bin");
  EXPECT_EQ(joinPath("data/", "x"), "data/x");
  EXPECT_EQ(joinPath("c:\\korvo\\", "x"), "c:\\korvo\\x");
}

TEST(Power, FollowsTheIntegralAndGeneralRules) {
  EXPECT_EQ(intPower(2.0, 10), 1024.0);
  EXPECT_EQ(intPower(2.0, -2), 0.25);
  EXPECT_EQ(intPower(-3.0, 3), -27.0);
  EXPECT_EQ(intPower(5.0, 0), 1.0);
  EXPECT_EQ(power(0.0, 0.0), 1.0);
  EXPECT_EQ(power(0.0, 2.5), 0.0);
  EXPECT_EQ(power(-2.0, 3.0), -8.0);  // integral exponent: negative bases allowed
  EXPECT_NEAR(power(2.0, 0.5), std::sqrt(2.0), 1e-15);
  EXPECT_NEAR(power(10.0, -1.5), 0.031622776601683794, 1e-15);
}

TEST(Rounding, TruncateFractionAndCurrentMode) {
  EXPECT_EQ(truncate(2.9), 2);
  EXPECT_EQ(truncate(-2.9), -2);
  EXPECT_DOUBLE_EQ(fraction(2.75), 0.75);
  EXPECT_DOUBLE_EQ(fraction(-2.75), -0.75);
  // Default mode: to nearest, ties to even.
  EXPECT_EQ(roundCurrent(2.5), 2);
  EXPECT_EQ(roundCurrent(3.5), 4);
  EXPECT_EQ(roundCurrent(-2.6), -3);
  {
    ScopedRenderFpu render;
    EXPECT_EQ(roundCurrent(2.9), 2);
    EXPECT_EQ(roundCurrent(-2.9), -2);
  }
  EXPECT_EQ(roundCurrent(2.9), 3);
}

#if defined(__x86_64__) || defined(__i386__)
TEST(FpControl, RenderScopeFlushesDenormalsAndRestoresTheCallersState) {
  const FpControl before = readFpControl();
  volatile float tiny = FLT_MIN;
  {
    ScopedRenderFpu render;
    EXPECT_EQ(readFpControl().mxcsr & 0x8040u, 0x8040u);
    EXPECT_EQ(readFpControl().mxcsr & 0x6000u, 0x6000u);
    volatile float half = tiny * 0.5f;  // denormal result flushed to zero
    EXPECT_EQ(half, 0.0f);
  }
  EXPECT_EQ(readFpControl().mxcsr & ~0x3Fu, before.mxcsr & ~0x3Fu);
  volatile float half = tiny * 0.5f;
  EXPECT_GT(half, 0.0f);
}
#endif

TEST(Files, ReadWholeFileRefusesMissingEmptyAndOversizedFiles) {
  auto dir = tempFolder();
  std::vector<std::uint8_t> out{1, 2, 3};
  EXPECT_EQ(readWholeFile((dir / "missing").string(), out), 0u);
  std::ofstream(dir / "empty").close();
  EXPECT_EQ(readWholeFile((dir / "empty").string(), out), 0u);
  std::ofstream(dir / "ten", std::ios::binary) << "0123456789";
  EXPECT_EQ(readWholeFile((dir / "ten").string(), out, 9), 0u);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3})) << "failed reads leave the buffer alone";
  EXPECT_EQ(readWholeFile((dir / "ten").string(), out), 10u);
  EXPECT_EQ(std::string(out.begin(), out.end()), "0123456789");
  std::filesystem::remove_all(dir);
}

TEST(Files, WriteWholeFileReplacesAtomicallyAndKeepsTheOldCopyOnFailure) {
  auto dir = tempFolder();
  const std::string target = (dir / "bank.kvl").string();
  EXPECT_EQ(writeWholeFile(target, "old", 3), 0);
  EXPECT_EQ(writeWholeFile(target, "newer", 5), 0);
  std::vector<std::uint8_t> out;
  ASSERT_EQ(readWholeFile(target, out), 5u);
  EXPECT_EQ(std::string(out.begin(), out.end()), "newer");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "no temporary file left behind";
  // Nothing to write: success, no file touched.
  EXPECT_EQ(writeWholeFile(target, nullptr, 5), 0);
  EXPECT_EQ(writeWholeFile(target, "x", 0), 0);
  ASSERT_EQ(readWholeFile(target, out), 5u);
#ifndef _WIN32
  // A write that fails half way (the file size limit stands in for a full disk) leaves the old file.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 2;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int failed = writeWholeFile(target, "lost", 4);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_EQ(failed, EFBIG);
  ASSERT_EQ(readWholeFile(target, out), 5u);
  EXPECT_EQ(std::string(out.begin(), out.end()), "newer");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
#endif
  EXPECT_NE(writeWholeFile((dir / "no/such/folder/x").string(), "x", 1), 0);
  std::filesystem::remove_all(dir);
}

TEST(Files, WriteWholeFileKeepsWhatTheOldFileWas) {
  namespace fs = std::filesystem;
  auto dir = tempFolder();
  auto text = [](const fs::path& p) {
    std::vector<std::uint8_t> out;
    readWholeFile(p.string(), out);
    return std::string(out.begin(), out.end());
  };
  // The user's own file with the name a temporary file once had is not touched.
  const fs::path target = dir / "mine.kvl";
  std::ofstream(dir / "mine.kvl.tmp") << "user's";
  ASSERT_EQ(writeWholeFile(target.string(), "one", 3), 0);
  EXPECT_EQ(text(dir / "mine.kvl.tmp"), "user's");
  // Permissions stay.
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_EQ(writeWholeFile(target.string(), "two", 3), 0);
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(text(target), "two");
  // A read-only file is refused and stays read-only and unchanged.
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(writeWholeFile(target.string(), "three", 5), EACCES);
  EXPECT_EQ(describeWriteError(EACCES), "the file or its folder is read-only");
  EXPECT_EQ(text(target), "two");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::group_read);
  fs::permissions(target, fs::perms::owner_all);
#ifndef _WIN32
  // A link is written through to its target and stays a link, also when the target is missing.
  fs::create_directory(dir / "real");
  fs::create_symlink("real/bank.dat", dir / "link.dat");
  ASSERT_EQ(writeWholeFile((dir / "link.dat").string(), "four", 4), 0);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link.dat")));
  EXPECT_EQ(text(dir / "real/bank.dat"), "four");
  ASSERT_EQ(writeWholeFile((dir / "link.dat").string(), "five", 4), 0);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link.dat")));
  EXPECT_EQ(text(dir / "real/bank.dat"), "five");
#endif
  fs::remove_all(dir);
}

}  // namespace
