// Two instances sharing one program memory (the standalone and a plug-in): the one closed last
// keeps what the other wrote, and a program both changed survives in both versions.
#include <filesystem>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "VSTaux.h"
#include "instanceFixture.h"
#include "memoryMerge.h"

using namespace korvo;
using namespace korvo::test;

namespace {

void rename(CplugInstance& e, int program, const char* name) {
  setRecordName(*e.engine().soundMan().ProgMan().RecordAt(Ckv_progMan::SlotOf(program)), name);
}

std::string nameIn(const std::vector<std::uint8_t>& bank, int program) {
  ProgramRecord r{};
  std::memcpy(&r, bank.data() + kBankHeaderSize + program * kProgramRecordSize, sizeof r);
  return recordName(r);
}

std::vector<std::filesystem::path> conflictCopies(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> found;
  for (const auto& f : std::filesystem::directory_iterator(dir))
    if (f.path().filename().string().rfind("Korvo-conflict-", 0) == 0) found.push_back(f.path());
  return found;
}

TEST(InstanceBackup, TwoWritersKeepEachOthersProgramsAndAProgramBothChangedInBothVersions) {
  auto dir = freshFolder("backup-two-writers");
  { CplugInstance first(44100, testEnvironment(dir, false, true)); }  // the backup both load
  const std::string path = (dir / "Korvo_backup.dat").string();
  auto standalone = std::make_unique<CplugInstance>(44100, testEnvironment(dir, false, true));
  auto plugin = std::make_unique<CplugInstance>(44100, testEnvironment(dir, false, true));
  rename(*standalone, 5, "FROM A");
  rename(*standalone, 9, "A9");
  rename(*plugin, 7, "FROM B");
  rename(*plugin, 9, "B9");
  rename(*plugin, 11, "SAME");
  rename(*standalone, 11, "SAME");
  standalone.reset();
  EXPECT_TRUE(conflictCopies(dir).empty()) << "the first to close had nothing to merge with";
  plugin.reset();

  std::vector<std::uint8_t> bank;
  ASSERT_EQ(readWholeFile(path, bank), static_cast<std::size_t>(kBankSize));
  EXPECT_EQ(nameIn(bank, 5), "FROM A") << "the other's change survives";
  EXPECT_EQ(nameIn(bank, 7), "FROM B");
  EXPECT_EQ(nameIn(bank, 9), "B9") << "the last to close wins a program both changed";
  EXPECT_EQ(nameIn(bank, 11), "SAME");
  const auto copies = conflictCopies(dir);
  ASSERT_EQ(copies.size(), 1u);
  std::vector<std::uint8_t> kept;
  ASSERT_EQ(readWholeFile(copies[0].string(), kept), static_cast<std::size_t>(kBankSize));
  EXPECT_EQ(nameIn(kept, 9), "A9") << "and the other's version is kept";
  EXPECT_EQ(nameIn(kept, 5), "FROM A");
}

TEST(MemoryMerge, TakesOnlyWhatTheOtherChangedAndNamesTheConflicts) {
  Ckv_soundMan man;
  std::vector<std::uint8_t> base(kBankSize), mine, theirs;
  man.SaveBank(base.data());
  mine = theirs = base;
  const auto at = [](int program) { return static_cast<std::size_t>(kBankHeaderSize + program * kProgramRecordSize); };
  mine[at(1) + 20] ^= 1;    // ours only
  theirs[at(2) + 20] ^= 1;  // theirs only
  mine[at(3) + 20] ^= 1;    // both, alike
  theirs[at(3) + 20] ^= 1;
  mine[at(4) + 20] ^= 1;  // both, differently
  theirs[at(4) + 21] ^= 1;
  const MemoryMerge m = mergeProgramMemory(base, mine, theirs);
  EXPECT_EQ(m.theirs, std::vector<int>{2});
  EXPECT_EQ(m.conflicts, std::vector<int>{4});
  EXPECT_EQ(m.image[at(1) + 20], mine[at(1) + 20]);
  EXPECT_EQ(m.image[at(2) + 20], theirs[at(2) + 20]);
  EXPECT_EQ(m.image[at(4) + 20], mine[at(4) + 20]);
  EXPECT_EQ(m.image[at(4) + 21], mine[at(4) + 21]);
}

}  // namespace
