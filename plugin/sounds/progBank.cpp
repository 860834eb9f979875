#include "progBank.h"

#include <cstring>
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

}  // namespace

const char* describe(BankImageStatus status) {
  switch (status) {
    case BankImageStatus::Ok: return "ok";
    case BankImageStatus::Empty: return "the file is empty or cannot be read";
    case BankImageStatus::TooShort: return "the file is shorter than a bank of 128 programs (69652 bytes)";
    case BankImageStatus::WrongVersion: return "the bank's version word is not 1";
    case BankImageStatus::WrongSize: return "the file is not exactly 69652 bytes long";
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

BankImageStatus readBackup(Ckv_soundMan& sounds, std::string_view dataFolder) {
  std::vector<std::uint8_t> data;
  const std::size_t size = readWholeFile(joinPath(dataFolder, kBackupFileName), data, kMaxLibraryFile);
  const BankImageStatus status = checkBackupImage(data.data(), size);
  if (status == BankImageStatus::Ok) sounds.LoadBank(data.data());
  return status;
}

int writeBackup(const Ckv_soundMan& sounds, std::string_view dataFolder) {
  return saveLibraryFile(sounds, joinPath(dataFolder, kBackupFileName));
}

}  // namespace korvo
