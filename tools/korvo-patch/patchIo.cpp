#include "patchIo.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "VSTaux.h"
#include "progBank.h"
#include "progEdit.h"
#include "progMan.h"
#include "soundMan.h"
#include "soundText.h"
#include "sysexFrame.h"

namespace korvo::patch {

namespace {

constexpr std::size_t kMaxFileSize = 16u * 1024u * 1024u;

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string hex(std::size_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%zX", v);
  return buf;
}

std::string three(int n) { return zeroPad(n, 3); }

FileKind sniff(const std::uint8_t* data, std::size_t size) {
  if (size > 0 && data[0] == kSysExStart) return FileKind::SysEx;
  if (checkLibraryImage(data, size) == BankImageStatus::Ok) return FileKind::Bank;
  // Text: no zero bytes and mostly printable.
  std::size_t printable = 0;
  const std::size_t n = std::min<std::size_t>(size, 4096);
  for (std::size_t i = 0; i < n; ++i) {
    if (data[i] == 0) return FileKind::Unknown;
    if ((data[i] >= 0x20 && data[i] < 0x7F) || data[i] == '\n' || data[i] == '\r' || data[i] == '\t') ++printable;
  }
  if (n > 0 && printable == n) return FileKind::Text;
  for (std::size_t i = 0; i < size; ++i)
    if (data[i] == kSysExStart) return FileKind::SysEx;
  return FileKind::Unknown;
}

}  // namespace

const char* kindName(FileKind kind) {
  switch (kind) {
    case FileKind::SysEx: return "SysEx dump";
    case FileKind::Bank: return "library";
    case FileKind::Text: return "sound text";
    case FileKind::Unknown: break;
  }
  return "unknown";
}

bool isBackupName(const std::string& path) { return lower(std::filesystem::path(path).extension().string()) == ".dat"; }

FileKind kindFromName(const std::string& path) {
  const std::string ext = lower(std::filesystem::path(path).extension().string());
  if (ext == ".syx") return FileKind::SysEx;
  if (ext == ".kvl" || ext == ".dat") return FileKind::Bank;
  if (ext == ".txt" || ext == ".kvt") return FileKind::Text;
  return FileKind::Unknown;
}

bool readSysEx(const std::uint8_t* data, std::size_t size, SoundFile& out, std::string& error) {
  SoundFile file;
  file.kind = FileKind::SysEx;
  const std::vector<SysExSpan> spans = scanSysEx(data, size);
  if (spans.empty()) {
    error = "no SysEx message in the file (no F0 byte)";
    return false;
  }
  std::size_t inside = 0;
  Ckv_progMan scratch;
  for (const SysExSpan& s : spans) {
    inside += s.size;
    const std::uint8_t* m = data + s.offset;
    const std::string where = "message at offset " + hex(s.offset);
    if (!s.ours) {
      file.notes.push_back(where + " (" + std::to_string(s.size) + " bytes) is not a Pemmet/Halvet message: skipped");
      continue;
    }
    const DumpInfo info = classifyDump(m, s.size);
    if (info.kind == DumpKind::None) {
      file.notes.push_back(where + " is a Pemmet/Halvet message with command " +
                           hex(static_cast<std::size_t>(std::max(s.command, 0))) + ", not a dump: skipped");
      continue;
    }
    const bool bank = info.kind == DumpKind::Bank;
    const std::size_t need =
        static_cast<std::size_t>(kSysExHeaderSize) + (bank ? kBankPrograms : 1) * static_cast<std::size_t>(kPackedSize);
    if (!info.bodyComplete) {
      error = where + ": " + cutShortText(info.kind, s.size);
      return false;
    }
    if (!info.nybblesValid) {
      std::size_t bad = kSysExHeaderSize;
      while (bad < need && m[bad] <= 15) ++bad;
      error = where + ": data byte at offset " + hex(s.offset + bad) + " is " + hex(m[bad]) +
              ", above 15 (a dump carries each byte as two nybbles)";
      return false;
    }
    if (!s.complete)
      file.notes.push_back(where + " ends without F7; its data is complete and was read");
    else if (s.size > need + 1)
      file.notes.push_back(where + " has " + std::to_string(s.size - need - 1) + " extra bytes before F7: ignored");
    if (bank) {
      if (!scratch.ImportBank(0, m, true, s.size)) {
        error = where + ": bank dump could not be read";
        return false;
      }
      for (int i = 0; i < kBankPrograms; ++i)
        file.sounds.push_back({-1, "bank dump at offset " + hex(s.offset) + ", entry " + std::to_string(i),
                               *scratch.RecordAt(Ckv_progMan::SlotOf(i))});
    } else {
      if (!scratch.ImportSingle(Ckv_progMan::EditSlot(), m, true, s.size)) {
        error = where + ": single dump could not be read";
        return false;
      }
      file.sounds.push_back({-1, "single dump at offset " + hex(s.offset), *scratch.EditRecord()});
    }
  }
  if (file.sounds.empty()) {
    error = "the file holds SysEx messages but no Pemmet/Halvet single or bank dump";
    return false;
  }
  if (inside < size) file.notes.push_back(std::to_string(size - inside) + " bytes outside SysEx messages: ignored");
  out = std::move(file);
  return true;
}

bool readBank(const std::uint8_t* data, std::size_t size, SoundFile& out, std::string& error, bool backup) {
  const BankImageStatus status = backup ? checkBackupImage(data, size) : checkLibraryImage(data, size);
  if (status != BankImageStatus::Ok) {
    error = describe(status);
    if (status == BankImageStatus::TooShort || status == BankImageStatus::WrongSize)
      error += " (it has " + std::to_string(size) + ")";
    if (status == BankImageStatus::WrongSize) error += "; the plug-in ignores such a backup file";
    return false;
  }
  SoundFile file;
  file.kind = FileKind::Bank;
  if (size > static_cast<std::size_t>(kBankSize))
    file.notes.push_back(std::to_string(size - kBankSize) + " bytes after the 69652-byte bank: ignored");
  Ckv_soundMan scratch;
  scratch.LoadBank(data);
  for (int n = 0; n < kProgramCount; ++n) {
    const ProgramRecord& r = *scratch.ProgMan().RecordAt(Ckv_progMan::SlotOf(n));
    if (r.format != kRecordFormat)
      file.notes.push_back("program " + three(n) + " has format word " + std::to_string(r.format) +
                           " (1 in a valid record)");
    if (r.nameLength > kNameCapacity)
      file.notes.push_back("program " + three(n) + " has name length " + std::to_string(r.nameLength) +
                           " (at most 15): read as 15");
    file.sounds.push_back({n, "program " + three(n), r});
  }
  out = std::move(file);
  return true;
}

bool readText(const std::uint8_t* data, std::size_t size, SoundFile& out, std::string& error) {
  std::vector<TextSound> parsed;
  if (!parseSoundText(std::string_view(reinterpret_cast<const char*>(data), size), parsed, error)) return false;
  if (parsed.empty()) {
    error = "no SOUND block in the text";
    return false;
  }
  SoundFile file;
  file.kind = FileKind::Text;
  for (const TextSound& t : parsed)
    file.sounds.push_back({t.position, "sound at line " + std::to_string(t.line), t.record});
  out = std::move(file);
  return true;
}

bool loadSoundFile(const std::string& path, SoundFile& out, std::string& error) {
  std::error_code ec;
  const auto fileSize = std::filesystem::file_size(path, ec);
  if (ec) {
    error = "cannot open the file";
    return false;
  }
  if (fileSize == 0) {
    error = "the file is empty";
    return false;
  }
  if (fileSize > kMaxFileSize) {
    error = "the file is " + std::to_string(fileSize) + " bytes long; no sound file is larger than 16 MiB";
    return false;
  }
  std::vector<std::uint8_t> data;
  const std::size_t size = readWholeFile(path, data, kMaxFileSize);
  if (size == 0) {
    error = "cannot read the file";
    return false;
  }
  FileKind kind = kindFromName(path);
  if (kind == FileKind::Unknown) kind = sniff(data.data(), size);
  switch (kind) {
    case FileKind::SysEx: return readSysEx(data.data(), size, out, error);
    case FileKind::Bank: return readBank(data.data(), size, out, error, isBackupName(path));
    case FileKind::Text: return readText(data.data(), size, out, error);
    case FileKind::Unknown: break;
  }
  error = "not a SysEx dump, a library or a sound text";
  return false;
}

bool selectSounds(SoundFile& file, const Selection& sel, std::vector<Sound>& out, std::string& error) {
  for (const auto& opt : {sel.first, sel.program})
    if (opt && (*opt < 0 || *opt > 127)) {
      error = "program numbers are 0..127";
      return false;
    }
  std::vector<Sound> sounds = file.sounds;
  if (file.kind == FileKind::SysEx) {
    const int start = sel.first ? *sel.first : (sel.program ? *sel.program : 0);
    const int last = start + static_cast<int>(sounds.size()) - 1;
    if (last > 127) {
      error = std::to_string(sounds.size()) + " sounds from program " + three(start) + " run past program 127";
      return false;
    }
    for (std::size_t i = 0; i < sounds.size(); ++i) sounds[i].number = start + static_cast<int>(i);
    out = std::move(sounds);
    return true;
  }
  // Text blocks without a number follow the previous one.
  int next = 0;
  for (Sound& s : sounds) {
    if (s.number < 0) s.number = next;
    if (s.number > 127) {
      error = s.origin + " would be program " + std::to_string(s.number) + ", past 127";
      return false;
    }
    next = s.number + 1;
  }
  std::map<int, const Sound*> byNumber;
  for (const Sound& s : sounds) {
    if (!byNumber.emplace(s.number, &s).second) {
      error =
          "two sounds for program " + three(s.number) + " (" + byNumber[s.number]->origin + " and " + s.origin + ")";
      return false;
    }
  }
  std::vector<Sound> chosen;
  if (sel.program) {
    const auto it = byNumber.find(*sel.program);
    if (it == byNumber.end()) {
      error = "no sound with program number " + three(*sel.program);
      return false;
    }
    chosen.push_back(*it->second);
  } else if (sel.first) {
    if (*sel.first + kBankPrograms - 1 > 127) {
      error = "Not enough sounds (40 needed) at this position! (" + three(*sel.first) + ")";
      return false;
    }
    for (int n = *sel.first; n < *sel.first + kBankPrograms; ++n) {
      const auto it = byNumber.find(n);
      if (it == byNumber.end()) {
        error = "no sound with program number " + three(n) + "; a bank needs programs " + three(*sel.first) + ".." +
                three(*sel.first + kBankPrograms - 1);
        return false;
      }
      chosen.push_back(*it->second);
    }
  } else {
    chosen = std::move(sounds);
  }
  out = std::move(chosen);
  return true;
}

std::string numberRanges(const std::vector<int>& numbers) {
  std::string s;
  for (std::size_t i = 0; i < numbers.size();) {
    std::size_t j = i;
    while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
    if (!s.empty()) s += ", ";
    s += three(numbers[i]);
    if (j > i) s += ".." + three(numbers[j]);
    i = j + 1;
  }
  return s.empty() ? "none" : s;
}

std::string programsText(const std::vector<Sound>& sounds) {
  std::vector<int> numbers;
  for (const Sound& s : sounds) numbers.push_back(s.number);
  std::sort(numbers.begin(), numbers.end());
  return std::string(numbers.size() == 1 ? "program " : "programs ") + numberRanges(numbers);
}

std::string fieldsNotCarried(const std::vector<Sound>& sounds) {
  struct Change {
    int sounds = 0;
    int from = 0, to = 0;  // as in the first sound it touches
  };
  std::map<int, Change> byWord;
  Ckv_progEdit editor;
  for (const Sound& s : sounds) {
    std::uint8_t body[kPackedSize];
    packProgram(s.record, body);
    ProgramRecord back{};
    editor.UnpackProgram(&back, body);
    for (int w = 0; w < kParamWordCount; ++w) {
      if (back.words[w] == s.record.words[w]) continue;
      Change& c = byWord[w];
      if (c.sounds++ == 0) {
        c.from = s.record.words[w];
        c.to = back.words[w];
      }
    }
  }
  std::string text;
  for (const auto& [word, c] : byWord) {
    std::string name = "WORD." + std::to_string(word);
    for (const SoundParam& p : soundParams())
      if (p.word == word) name = p.name;
    if (!text.empty()) text += ", ";
    text += name + " (" + (c.sounds > 1 ? std::to_string(c.sounds) + " sounds; " : std::string()) +
            std::to_string(c.from) + " becomes " + std::to_string(c.to) + ")";
  }
  return text;
}

namespace {

bool writeSysEx(const std::string& path, const std::vector<Sound>& sounds, int channel, WriteResult& result,
                std::string& error) {
  Ckv_progMan scratch;
  for (const Sound& s : sounds) scratch.StoreSlot(Ckv_progMan::SlotOf(s.number), s.record);
  std::vector<std::uint8_t> message;
  if (sounds.size() == 1) {
    scratch.ExportSingle(Ckv_progMan::SlotOf(sounds[0].number), message);
    result.summary = "single dump of program " + three(sounds[0].number);
  } else {
    std::vector<int> numbers;
    for (const Sound& s : sounds) numbers.push_back(s.number);
    std::sort(numbers.begin(), numbers.end());
    const bool consecutive = numbers.size() == static_cast<std::size_t>(kBankPrograms) &&
                             numbers.back() - numbers.front() == kBankPrograms - 1;
    if (!consecutive) {
      error = "a bank dump holds exactly 40 sounds with consecutive numbers, the input gives " +
              std::to_string(sounds.size()) + " (" + numberRanges(numbers) +
              "); choose them with --first N or one with --program N";
      return false;
    }
    if (!scratch.ExportBank(numbers.front(), message)) {
      error = "Not enough sounds (40 needed) at this position!";
      return false;
    }
    result.summary = "bank dump of programs " + numberRanges(numbers);
  }
  message[3] = static_cast<std::uint8_t>(channel);
  const int rc = writeWholeFile(path, message.data(), message.size());
  if (rc != 0) {
    error = std::string("write failed: ") + std::strerror(rc);
    return false;
  }
  result.notCarried = fieldsNotCarried(sounds);
  return true;
}

bool writeLibrary(const std::string& path, const std::vector<Sound>& sounds, WriteResult& result, std::string& error) {
  Ckv_soundMan lib;
  std::error_code ec;
  const bool exists = std::filesystem::exists(path, ec);
  if (exists) {
    // An existing backup file must be one the plug-in reads, or merging into it would hide that
    // it is not.
    std::vector<std::uint8_t> data;
    const std::size_t size = readWholeFile(path, data, kMaxFileSize);
    // Updated in place, the file is written back as exactly one bank: whatever follows a bank
    // would be cut off, so a file that is not exactly one is refused as the backup rule does.
    const BankImageStatus status = checkBackupImage(data.data(), size);
    if (status == BankImageStatus::Ok) lib.LoadBank(data.data());
    if (status != BankImageStatus::Ok) {
      error = std::string("the existing file is not a ") + (isBackupName(path) ? "backup file" : "library") + " (" +
              describe(status) + (size > 0 ? ", it has " + std::to_string(size) : std::string()) +
              "); it is left alone";
      return false;
    }
  }
  Ckv_soundMan before;
  std::vector<std::uint8_t> image(kBankSize);
  lib.SaveBank(image.data());
  before.LoadBank(image.data());
  for (const Sound& s : sounds) lib.ProgMan().StoreSlot(Ckv_progMan::SlotOf(s.number), s.record);
  for (int n = 0; n < kProgramCount; ++n)
    if (!recordsEqual(*lib.ProgMan().RecordAt(Ckv_progMan::SlotOf(n)),
                      *before.ProgMan().RecordAt(Ckv_progMan::SlotOf(n))))
      result.changed.push_back(n);
  const int rc = saveLibraryFile(lib, path);
  if (rc != 0) {
    error = std::string("write failed: ") + std::strerror(rc);
    return false;
  }
  result.summary = std::string(exists ? "library updated" : "new library") + ", " + std::to_string(sounds.size()) +
                   " sounds written, programs changed: " + numberRanges(result.changed);
  return true;
}

bool writeText(const std::string& path, const std::vector<Sound>& sounds, WriteResult& result, std::string& error) {
  std::string text;
  for (const Sound& s : sounds) text += soundToText(s.record, s.number) + "\n";
  const int rc = writeWholeFile(path, text.data(), text.size());
  if (rc != 0) {
    error = std::string("write failed: ") + std::strerror(rc);
    return false;
  }
  result.summary = std::to_string(sounds.size()) + " sounds as text";
  return true;
}

}  // namespace

bool writeSoundFile(const std::string& path, const std::vector<Sound>& sounds, int channel, WriteResult& result,
                    std::string& error) {
  result = {};
  if (sounds.empty()) {
    error = "no sounds to write";
    return false;
  }
  for (const Sound& s : sounds)
    if (s.number < 0 || s.number > 127) {
      error = s.origin + " has no program number";
      return false;
    }
  switch (kindFromName(path)) {
    case FileKind::SysEx: return writeSysEx(path, sounds, channel, result, error);
    case FileKind::Bank: return writeLibrary(path, sounds, result, error);
    case FileKind::Text: return writeText(path, sounds, result, error);
    case FileKind::Unknown: break;
  }
  error = "cannot tell the output kind from the name: use .syx, .kvl or .txt";
  return false;
}

}  // namespace korvo::patch
