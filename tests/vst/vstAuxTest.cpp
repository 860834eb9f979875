#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>

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
  EXPECT_FALSE(std::filesystem::exists(target + ".tmp"));
  // Nothing to write: success, no file touched.
  EXPECT_EQ(writeWholeFile(target, nullptr, 5), 0);
  EXPECT_EQ(writeWholeFile(target, "x", 0), 0);
  ASSERT_EQ(readWholeFile(target, out), 5u);
  // A folder in the way of the temporary file: the write fails and the old file survives.
  std::filesystem::create_directory(target + ".tmp");
  std::filesystem::create_directory(target + ".tmp/blocker");
  EXPECT_NE(writeWholeFile(target, "lost", 4), 0);
  ASSERT_EQ(readWholeFile(target, out), 5u);
  EXPECT_EQ(std::string(out.begin(), out.end()), "newer");
  EXPECT_NE(writeWholeFile((dir / "no/such/folder/x").string(), "x", 1), 0);
  std::filesystem::remove_all(dir);
}

}  // namespace
