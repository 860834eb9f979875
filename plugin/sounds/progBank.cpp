#include "progBank.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "VSTaux.h"

namespace korvo {

namespace {

std::int32_t imageVersion(const std::uint8_t* data) {
  std::int32_t v;
  std::memcpy(&v, data, sizeof v);
  return v;
}

// A bank image never needs more than a little over its own size; a huge file is not one.
constexpr std::size_t kMaxLibraryFile = 16u * 1024u * 1024u;

bool holdsBackup(const std::string& path) {
  std::vector<std::uint8_t> data;
  const std::size_t size = readWholeFile(path, data, kMaxLibraryFile);
  return checkBackupImage(data.data(), size) == BankImageStatus::Ok;
}

}  // namespace

std::string unusedName(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return path;
  for (int n = 2;; ++n) {
    const std::string numbered = path + "." + std::to_string(n);
    if (!std::filesystem::exists(std::filesystem::symlink_status(numbered, ec))) return numbered;
  }
}

const char* describe(BankImageStatus status) {
  switch (status) {
    case BankImageStatus::Ok: return "ok";
    case BankImageStatus::Empty: return "the file is empty or cannot be read";
    case BankImageStatus::TooShort: return "the file is shorter than a bank of 128 programs (69652 bytes)";
    case BankImageStatus::WrongVersion: return "the bank's version word is not 1";
    case BankImageStatus::WrongSize: return "the file is not exactly 69652 bytes long";
    case BankImageStatus::Missing: return "there is no such file";
    case BankImageStatus::Unreadable: return "the file cannot be opened or read, or is far too large";
    case BankImageStatus::BadRecords: return "the file holds records that are not sound records";
  }
  return "?";
}

BankImageStatus checkLibraryImage(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size == 0) return BankImageStatus::Empty;
  if (size < static_cast<std::size_t>(kBankSize)) return BankImageStatus::TooShort;
  if (imageVersion(data) != kBankVersion) return BankImageStatus::WrongVersion;
  return BankImageStatus::Ok;
}

BankImageStatus checkBackupImage(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size == 0) return BankImageStatus::Empty;
  if (size != static_cast<std::size_t>(kBankSize)) return BankImageStatus::WrongSize;
  if (imageVersion(data) != kBankVersion) return BankImageStatus::WrongVersion;
  // Every record the plug-in writes has format word 1; a file of the right size without it is
  // something else (a zeroed or foreign file), and taking it would replace the sounds with noise.
  for (int n = 0; n < kProgramCount; ++n) {
    std::int16_t format;
    std::memcpy(&format, data + kBankHeaderSize + n * kProgramRecordSize + offsetof(ProgramRecord, format),
                sizeof format);
    if (format != kRecordFormat) return BankImageStatus::BadRecords;
  }
  return BankImageStatus::Ok;
}

BankImageStatus loadLibraryFile(Ckv_soundMan& sounds, const std::string& path) {
  std::vector<std::uint8_t> data;
  const std::size_t size = readWholeFile(path, data, kMaxLibraryFile);
  const BankImageStatus status = checkLibraryImage(data.data(), size);
  if (status == BankImageStatus::Ok) sounds.LoadBank(data.data());
  return status;
}

int saveLibraryFile(const Ckv_soundMan& sounds, const std::string& path) {
  std::vector<std::uint8_t> image(kBankSize);
  sounds.SaveBank(image.data());
  return writeWholeFile(path, image.data(), image.size());
}

std::string backupPath(std::string_view dataFolder) { return joinPath(dataFolder, kBackupFileName); }

BankImageStatus readBackup(std::string_view dataFolder, std::vector<std::uint8_t>& image) {
  const std::string path = backupPath(dataFolder);
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return BankImageStatus::Missing;
  std::vector<std::uint8_t> data;
  const std::size_t size = readWholeFile(path, data, kMaxLibraryFile);
  if (size == 0) {
    // readWholeFile says 0 for an empty file too; only that one is merely empty.
    const auto bytes = std::filesystem::file_size(path, ec);
    return !ec && bytes == 0 ? BankImageStatus::Empty : BankImageStatus::Unreadable;
  }
  const BankImageStatus result = checkBackupImage(data.data(), size);
  if (result == BankImageStatus::Ok) image = std::move(data);
  return result;
}

bool backupNeedsWriting(BankImageStatus statusAtLoad, bool memoryChanged) {
  return memoryChanged || statusAtLoad == BankImageStatus::Missing;
}

int writeBackup(const Ckv_soundMan& sounds, std::string_view dataFolder, BankImageStatus statusAtLoad) {
  const std::string path = backupPath(dataFolder);
  if (statusAtLoad != BankImageStatus::Ok && statusAtLoad != BankImageStatus::Missing && !holdsBackup(path)) {
    // Moved aside rather than copied: a file that cannot be read (or is huge) is kept whole. One
    // that is a good backup by now (another instance wrote it) is simply replaced. Each refused
    // file gets a name of its own, so a second refusal never replaces the first one kept.
    std::error_code ec;
    std::filesystem::rename(path, unusedName(path + ".unreadable"), ec);
    if (ec && std::filesystem::exists(path)) return ec.value() ? ec.value() : EIO;
  }
  return saveLibraryFile(sounds, path);
}

namespace {
constexpr std::string_view kMemoryCopyPrefix = "Korvo-memory-";

bool isMemoryCopy(const std::string& name) {
  return name.size() > kMemoryCopyPrefix.size() + 4 && name.rfind(kMemoryCopyPrefix, 0) == 0 &&
         name.compare(name.size() - 4, 4, ".kvl") == 0;
}
}  // namespace

std::string writeDatedLibrary(std::span<const std::uint8_t> image, std::string_view folder, std::string_view prefix,
                              std::time_t when) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
  const std::string base = std::string(prefix) + stamp;
  std::string name = base + ".kvl";
  std::error_code ec;
  for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(joinPath(folder, name), ec)); ++n)
    name = base + "-" + std::to_string(n) + ".kvl";
  return writeWholeFile(joinPath(folder, name), image.data(), image.size()) == 0 ? name : std::string();
}

std::string keepMemoryCopy(const std::vector<std::uint8_t>& image, std::string_view folder, std::time_t when) {
  const std::string name = writeDatedLibrary(image, folder, kMemoryCopyPrefix, when);
  if (name.empty()) return {};

  // Oldest first by name: the date sorts, and "...HHMMSS" comes before "...HHMMSS-2".
  std::error_code ec;
  std::vector<std::string> copies;
  for (std::filesystem::directory_iterator it(std::string(folder), ec), end; !ec && it != end; it.increment(ec))
    if (isMemoryCopy(it->path().filename().string())) copies.push_back(it->path().filename().string());
  auto stem = [](const std::string& n) { return n.substr(0, n.size() - 4); };
  std::sort(copies.begin(), copies.end(),
            [&](const std::string& a, const std::string& b) { return stem(a) < stem(b); });
  for (std::size_t i = 0; i + kMemoryCopiesKept < copies.size(); ++i) {
    std::error_code ignored;
    std::filesystem::remove(joinPath(folder, copies[i]), ignored);
  }
  return name;
}

}  // namespace korvo
