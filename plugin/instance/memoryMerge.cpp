#include "memoryMerge.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "VSTaux.h"

namespace korvo {

namespace {

std::span<const std::uint8_t> program(std::span<const std::uint8_t> bank, int n) {
  return bank.subspan(static_cast<std::size_t>(kBankHeaderSize + n * kProgramRecordSize), kProgramRecordSize);
}

bool same(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) { return std::ranges::equal(a, b); }

// The other's memory as a library of its own, under a name no earlier copy has.
std::string keepConflictCopy(std::span<const std::uint8_t> image, std::string_view folder, std::time_t when) {
  const std::string name = writeDatedLibrary(image, folder, "Korvo-conflict-", when);
  return name.empty() ? std::string() : joinPath(folder, name);
}

}  // namespace

MemoryMerge mergeProgramMemory(std::span<const std::uint8_t> atLoad, std::span<const std::uint8_t> mine,
                               std::span<const std::uint8_t> onDisk) {
  MemoryMerge m;
  m.image.assign(mine.begin(), mine.end());
  for (int n = 0; n < kProgramCount; ++n) {
    const auto base = program(atLoad, n), ours = program(mine, n), theirs = program(onDisk, n);
    if (same(theirs, base) || same(theirs, ours)) continue;  // only we changed it, or both alike
    if (same(ours, base)) {
      std::ranges::copy(theirs, m.image.begin() + (kBankHeaderSize + n * kProgramRecordSize));
      m.theirs.push_back(n);
    } else {
      m.conflicts.push_back(n);
    }
  }
  return m;
}

MergedBackupResult writeMergedBackup(const Ckv_soundMan& sounds, std::span<const std::uint8_t> atLoad,
                                     std::string_view dataFolder, std::string_view userFolder,
                                     BankImageStatus statusAtLoad, std::time_t now) {
  MergedBackupResult r;
  std::vector<std::uint8_t> onDisk;
  const bool merge = statusAtLoad == BankImageStatus::Ok && atLoad.size() == static_cast<std::size_t>(kBankSize) &&
                     readBackup(dataFolder, onDisk) == BankImageStatus::Ok && !std::ranges::equal(onDisk, atLoad);
  if (!merge) {
    r.error = writeBackup(sounds, dataFolder, statusAtLoad);
    return r;
  }
  std::vector<std::uint8_t> mine(static_cast<std::size_t>(kBankSize));
  sounds.SaveBank(mine.data());
  r.merge = mergeProgramMemory(atLoad, mine, onDisk);
  if (!r.merge.conflicts.empty()) {
    r.conflictCopy = keepConflictCopy(onDisk, userFolder.empty() ? dataFolder : userFolder, now);
    if (r.conflictCopy.empty() && !userFolder.empty()) r.conflictCopy = keepConflictCopy(onDisk, dataFolder, now);
    if (r.conflictCopy.empty()) {
      r.error = EIO;
      return r;
    }
  }
  r.error = writeWholeFile(backupPath(dataFolder), r.merge.image.data(), r.merge.image.size());
  return r;
}

}  // namespace korvo
