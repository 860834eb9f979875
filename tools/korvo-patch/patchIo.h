// Reading and writing the librarian's file kinds: SysEx dumps (.syx, one or many messages),
// libraries and the backup file (.kvl, .dat) and the text form (.txt). Every reader treats its
// input as hostile and explains what is wrong; nothing is written when a step fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "progRecord.h"

namespace korvo::patch {

enum class FileKind { Unknown, SysEx, Bank, Text };
const char* kindName(FileKind kind);

// Whether the name is a backup file's (.dat), which follows the stricter backup rule.
bool isBackupName(const std::string& path);

// The kind a file name asks for (by extension), Unknown when it does not say.
FileKind kindFromName(const std::string& path);

struct Sound {
  int number = -1;     // program number 0..127, -1 while not yet numbered
  std::string origin;  // where it came from, for messages ("bank dump at offset 0, entry 3")
  ProgramRecord record{};
};

struct SoundFile {
  FileKind kind = FileKind::Unknown;
  std::vector<Sound> sounds;       // in file order
  std::vector<std::string> notes;  // odd but harmless things that were skipped or repaired
};

// Parses bytes already in memory; `name` only labels messages. SysEx sounds are left unnumbered.
bool readSysEx(const std::uint8_t* data, std::size_t size, SoundFile& out, std::string& error);
// A library (.kvl) is at least 69652 bytes and loads its first 69652; a backup file (`backup`,
// .dat) is read by the plug-in only when it is exactly 69652 bytes, so anything else is refused.
bool readBank(const std::uint8_t* data, std::size_t size, SoundFile& out, std::string& error, bool backup = false);
bool readText(const std::uint8_t* data, std::size_t size, SoundFile& out, std::string& error);

// Reads a file of any kind: the extension decides, else the contents. Errors name the problem.
bool loadSoundFile(const std::string& path, SoundFile& out, std::string& error);

struct Selection {
  std::optional<int> first;    // --first N
  std::optional<int> program;  // --program N
};

// What `convert` makes of the chosen sounds, for `check`: "programs 000..039".
std::string programsText(const std::vector<Sound>& sounds);

// Gives every sound its program number and keeps the ones the options choose. Dumps are numbered
// from N (--first N or --program N, else 0); libraries and text carry their numbers, and there
// --program N keeps one sound, --first N the forty from N.
bool selectSounds(SoundFile& file, const Selection& sel, std::vector<Sound>& out, std::string& error);

struct WriteResult {
  std::string summary;       // what was written
  std::vector<int> changed;  // library output: the programs whose records changed
  // SysEx output: the fields the dump does not carry as they were, one line for the run.
  std::string notCarried;
};

// The words of the records that a SysEx dump of them reads back differently (the hardware form
// has no room for them, or a narrower range), by parameter name with how many sounds it touches
// and the change in the first ("LFO1.AMT (40 sounds; 0 becomes 63)"); empty when the dump
// carries everything.
std::string fieldsNotCarried(const std::vector<Sound>& sounds);

// Writes the sounds as the output's kind asks (by extension): a .syx single for one sound, a
// bank for forty consecutive numbers; a library merged into the existing file (or a fresh
// library of "INIT" sounds); or text. Nothing is written on failure.
bool writeSoundFile(const std::string& path, const std::vector<Sound>& sounds, int channel, WriteResult& result,
                    std::string& error);

// "000..039, 041" from a sorted list of numbers.
std::string numberRanges(const std::vector<int>& numbers);

}  // namespace korvo::patch
