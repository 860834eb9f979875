// The image of all 128 programs that library files (*.KVL) and the backup file hold, and the
// load and save steps behind the editor's library commands and the engine's backup.
#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "progRecord.h"
#include "soundMan.h"

namespace korvo {

struct ProgramBank {
  std::int32_t version;       // 1
  std::uint8_t reserved[16];  // zero
  ProgramRecord programs[kProgramCount];
};
static_assert(sizeof(ProgramBank) == kBankSize);
static_assert(offsetof(ProgramBank, programs) == kBankHeaderSize);

inline constexpr std::string_view kBackupFileName = "Korvo_backup.dat";
inline constexpr std::string_view kLibraryExtension = "KVL";

// Why a bank image read from disk was refused (or Ok). Missing: there is no such file;
// Unreadable: there is one, but it cannot be opened or read, or it is far too large to be a bank;
// BadRecords: a backup of the right size whose records are not sound records (format word).
enum class BankImageStatus { Ok, Empty, TooShort, WrongVersion, WrongSize, Missing, Unreadable, BadRecords };
const char* describe(BankImageStatus status);

// A library file: at least 69652 bytes with version 1; longer files load their first 69652 bytes.
BankImageStatus checkLibraryImage(const std::uint8_t* data, std::size_t size);
// The backup file: exactly 69652 bytes with version 1 and format word 1 in every record.
BankImageStatus checkBackupImage(const std::uint8_t* data, std::size_t size);

// Load Library: reads the file and, when it is a library image, loads programs 0..127 (the edit
// buffer keeps its contents and is marked modified). Anything else changes nothing.
BankImageStatus loadLibraryFile(Ckv_soundMan& sounds, const std::string& path);
// Save Library: the bank image through a temporary file renamed over the target, so a failed
// write leaves the previous file whole. 0 on success, else the I/O error code.
int saveLibraryFile(const Ckv_soundMan& sounds, const std::string& path);

// The backup file's rules, in one place. At instance creation the data folder's backup is taken
// only when it is exactly one bank image (handed back in `image`, untouched otherwise); at teardown it is written
// (temporary file then rename) when the program memory changed or when there was no backup at all. A backup that was
// there but was refused still holds someone's sounds: before it is replaced it is kept as
// "Korvo_backup.dat.unreadable" (".unreadable.2", ".3"... when that name is taken, so no kept file is ever replaced);
// when it cannot be kept, it is not replaced either.
std::string backupPath(std::string_view dataFolder);
// `path` when nothing has that name, else the first of path.2, path.3... that is free.
std::string unusedName(const std::string& path);
BankImageStatus readBackup(std::string_view dataFolder, std::vector<std::uint8_t>& image);
bool backupNeedsWriting(BankImageStatus statusAtLoad, bool memoryChanged);
// `statusAtLoad` is what readBackup said at creation. 0 on success, else the I/O error code.
int writeBackup(const Ckv_soundMan& sounds, std::string_view dataFolder, BankImageStatus statusAtLoad);

// Writes a bank image as the library "<prefix>YYYY-MM-DD-HHMMSS.kvl" in `folder` by local time
// (with "-2", "-3"... when the name is taken, so no file is ever replaced). Returns the name of the
// file written, empty when it could not be written.
std::string writeDatedLibrary(std::span<const std::uint8_t> image, std::string_view folder, std::string_view prefix,
                              std::time_t when);

// Whole-memory replacements (Load Library, Init Library, a bank import) keep the memory as it was
// as a library file in the user folder, "Korvo-memory-YYYY-MM-DD-HHMMSS.kvl" by local time (with
// "-2", "-3"... for a second one in the same second); only the newest kMemoryCopiesKept stay.
// Returns the name of the file written, empty when it could not be written.
inline constexpr std::size_t kMemoryCopiesKept = 5;
std::string keepMemoryCopy(const std::vector<std::uint8_t>& image, std::string_view folder, std::time_t when);

}  // namespace korvo
