// Two programs that share one program memory (the standalone and a plug-in, or two plug-in
// instances) each load the backup file at start and write it at teardown. So that the one
// closed last does not silently undo what the other wrote, an instance whose memory changed
// merges, program by program, with the backup as it is on disk at that moment:
//   - a program only this instance changed is written as it has it;
//   - a program only the other one changed (on disk, unlike at load) stays as the other wrote it;
//   - a program both changed, differently, is written as this instance has it, and the other's
//     whole memory is kept first as "Korvo-conflict-YYYY-MM-DD-HHMMSS.kvl" in the user folder
//     (the data folder when there is none), a library that is never pruned.
// A backup that is missing, unreadable or unchanged since load gets this memory as it is.
#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "progBank.h"

namespace korvo {

struct MemoryMerge {
  std::vector<std::uint8_t> image;  // the bank image to write
  std::vector<int> theirs;          // programs taken from the file
  std::vector<int> conflicts;       // programs both changed: ours written, theirs only in the copy
};

// Three bank images of kBankSize bytes: at load, this instance's now, the file's now.
MemoryMerge mergeProgramMemory(std::span<const std::uint8_t> atLoad, std::span<const std::uint8_t> mine,
                               std::span<const std::uint8_t> onDisk);

struct MergedBackupResult {
  int error = 0;             // of the backup's write (0: written)
  MemoryMerge merge;         // empty image when there was nothing to merge with
  std::string conflictCopy;  // the file the other's memory was kept in, if any
};

// The teardown write of an instance whose memory changed (or that found no backup): the merge
// above, through writeBackup's rules. With conflicts, when the other's memory cannot be kept,
// the backup is not written (error set) and stays as the other left it.
MergedBackupResult writeMergedBackup(const Ckv_soundMan& sounds, std::span<const std::uint8_t> atLoad,
                                     std::string_view dataFolder, std::string_view userFolder,
                                     BankImageStatus statusAtLoad, std::time_t now);

}  // namespace korvo
