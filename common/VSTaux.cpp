#include "VSTaux.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#include <xmmintrin.h>
#define KORVO_HAS_SSE 1
#endif

namespace korvo {

std::size_t readWholeFile(const std::string& fileName, std::vector<std::uint8_t>& out, std::size_t maxSize) {
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (!f) return 0;
  std::size_t size = 0;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  if (ok) {
    long end = std::ftell(f);
    ok = end > 0 && static_cast<unsigned long>(end) <= maxSize && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) size = static_cast<std::size_t>(end);
  }
  std::vector<std::uint8_t> buffer;
  if (ok) {
    buffer.resize(size);
    ok = std::fread(buffer.data(), 1, size, f) == size;
  }
  std::fclose(f);
  if (!ok) return 0;
  out.swap(buffer);
  return size;
}

namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// The file a chain of symbolic links finally names, also when it does not exist yet: a write goes
// to the file the user meant, and the link stays a link.
fs::path throughLinks(const fs::path& path) {
  fs::path current = path;
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(current, ec))) return current;
    const fs::path next = fs::read_symlink(current, ec);
    if (ec) return current;
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  return current;  // a loop of links: the write below fails on it
}
#endif

// A name for the temporary file that no user file has: the target's name, a number unique to this
// process and this write, and ".tmp". The file is created exclusively, so an existing one is never
// opened, and another name is tried.
std::string temporaryName(const std::string& target, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  const auto clock = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
#ifdef _WIN32
  const unsigned long long process = GetCurrentProcessId();
#else
  const unsigned long long process = static_cast<unsigned long long>(getpid());
#endif
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%llx-%llx-%x-%x.tmp", process, clock & 0xFFFFFFFFull, counter++, attempt);
  // Plain string work: a round trip through std::filesystem::path would re-encode a name that is
  // not UTF-8 (Windows' narrow names are in the system's code page).
  const std::size_t slash = target.find_last_of(pathSeparator() == '\\' ? "/\\" : "/");
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  return target.substr(0, start) + "." + target.substr(start) + suffix;
}

#ifdef _WIN32

int lastError() {
  switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND: return ENOENT;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    default: return EIO;
  }
}

int writeThrough(const std::string& target, const void* data, std::size_t size) {
  const DWORD attributes = GetFileAttributesA(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return EISDIR;
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return EACCES;
  std::string temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp = temporaryName(target, attempt);
    h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return lastError();
  }
  if (h == INVALID_HANDLE_VALUE) return EEXIST;
  bool ok = true;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t done = 0; ok && done < size;) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD written = 0;
    ok = WriteFile(h, bytes + done, chunk, &written, nullptr) && written > 0;
    done += written;
  }
  int err = ok ? 0 : lastError();
  if (ok && !FlushFileBuffers(h)) err = lastError();
  CloseHandle(h);
  // ReplaceFile keeps the old file's attributes and access rights on the new one.
  if (err == 0 && !(exists && ReplaceFileA(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                           nullptr, nullptr)))
    if (!MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      err = lastError();
  if (err != 0) DeleteFileA(temp.c_str());
  return err;
}

#else

int writeThrough(const std::string& target, const void* data, std::size_t size) {
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return EISDIR;
  // A file without any write permission is one its owner protected; it is refused even where
  // the permission is not checked (as root), rather than silently replaced.
  if (exists && ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0))
    return EACCES;
  std::string temp;
  int fd = -1;
  for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = temporaryName(target, attempt);
    // A new file gets the mode the system gives new files (0666 less the umask).
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;
  int err = 0;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t done = 0; err == 0 && done < size;) {
    const ssize_t n = ::write(fd, bytes + done, size - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else if (n < 0 && errno != EINTR)
      err = errno;
    else if (n == 0)
      err = EIO;
  }
  if (err == 0 && exists) {
    // The replacement keeps what the old file had: its permissions and, where allowed, its owner.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) (void)!::fchown(fd, old.st_uid, old.st_gid);
    if (::fchmod(fd, old.st_mode & 07777) != 0) err = errno;
  }
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) ::unlink(temp.c_str());
  return err;
}

#endif

}  // namespace

int writeWholeFile(const std::string& fileName, const void* data, std::size_t size) {
  if (!data || size == 0) return 0;
#ifdef _WIN32
  return writeThrough(fileName, data, size);
#else
  return writeThrough(throughLinks(fs::path(fileName)).string(), data, size);
#endif
}

std::string describeWriteError(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return "the file or its folder is read-only";
    case EISDIR: return "a folder has that name";
    case ENOENT: return "the folder does not exist";
    case ENOSPC: return "the disk is full";
    default: return std::generic_category().message(error);
  }
}

char pathSeparator() {
#ifdef _WIN32
  return '\\';
#else
  return '/';
#endif
}

std::string joinPath(std::string_view folder, std::string_view name) {
  std::string result(folder);
  if (!result.empty() && result.back() != '\\' && result.back() != '/') result += pathSeparator();
  result += name;
  return result;
}

std::string sanitizeFileName(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    switch (c) {
      case '"': c = '\''; break;
      case '*':
      case '?': c = '~'; break;
      case '/':
      case ':':
      case '\\':
      case '|': c = '-'; break;
      case '<': c = '['; break;
      case '>': c = ']'; break;
      default: break;
    }
  }
  return result;
}

std::string zeroPad(int value, int width) {
  if (width <= 0) return {};
  const bool negative = value < 0;
  // Widen before negating so that INT_MIN has a magnitude.
  const long long magnitude = negative ? -static_cast<long long>(value) : value;
  std::string digits = std::to_string(magnitude);
  const int target = negative ? width - 1 : width;
  if (static_cast<int>(digits.size()) < target) digits.insert(0, static_cast<std::size_t>(target) - digits.size(), '0');
  return negative ? "-" + digits : digits;
}

int digitCount(std::uint32_t value) {
  int n = 1;
  while (value >= 10) {
    value /= 10;
    ++n;
  }
  return n;
}

const std::array<std::string, 128>& noteNames() {
  static const std::array<std::string, 128> table = [] {
    static const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    std::array<std::string, 128> t;
    for (int n = 0; n < 128; ++n) {
      std::string s = std::string(names[n % 12]) + std::to_string(n / 12 - 2);
      if (s.size() < 4) s.resize(4, ' ');
      t[static_cast<std::size_t>(n)] = s.substr(0, 7);
    }
    return t;
  }();
  return table;
}

double intPower(double base, int exponent) {
  // Work on the magnitude as unsigned so that INT_MIN is handled.
  unsigned long long e =
      exponent < 0 ? 0ull - static_cast<unsigned long long>(exponent) : static_cast<unsigned long long>(exponent);
  double result = 1.0;
  double b = base;
  while (e) {
    if (e & 1u) result *= b;
    b *= b;
    e >>= 1;
  }
  return exponent < 0 ? 1.0 / result : result;
}

double power(double base, double exponent) {
  if (exponent == 0.0) return 1.0;
  if (base == 0.0 && exponent > 0.0) return 0.0;
  if (std::floor(exponent) == exponent && std::fabs(exponent) <= std::numeric_limits<std::int32_t>::max())
    return intPower(base, static_cast<int>(exponent));
  return std::exp2(exponent * std::log2(base));
}

std::int32_t roundCurrent(double x) { return static_cast<std::int32_t>(std::lrint(x)); }

std::int32_t truncate(double x) { return static_cast<std::int32_t>(std::trunc(x)); }

double fraction(double x) { return x - std::trunc(x); }

// Floating-point unit ---------------------------------------------------------------------------

namespace {
constexpr std::uint32_t kMxcsrRoundMask = 0x6000;  // RC field
constexpr std::uint32_t kMxcsrRoundToZero = 0x6000;
constexpr std::uint32_t kMxcsrFlushDenormals = 0x8040;  // FTZ | DAZ
constexpr std::uint32_t kMxcsrExceptionFlags = 0x003F;
constexpr std::uint16_t kX87RoundMask = 0x0C00;
constexpr std::uint16_t kX87RoundToZero = 0x0C00;

#if defined(__i386__) && (defined(__GNUC__) || defined(__clang__))
#define KORVO_HAS_X87 1
std::uint16_t readX87() {
  std::uint16_t cw;
  __asm__ __volatile__("fnstcw %0" : "=m"(cw));
  return cw;
}
void loadX87(std::uint16_t cw) { __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(cw)); }
#endif
}  // namespace

FpControl readFpControl() {
  FpControl c;
#ifdef KORVO_HAS_SSE
  c.mxcsr = _mm_getcsr();
#endif
#ifdef KORVO_HAS_X87
  c.x87 = readX87();
#endif
  return c;
}

void loadFpControl(const FpControl& control) {
#ifdef KORVO_HAS_SSE
  _mm_setcsr(control.mxcsr & ~kMxcsrExceptionFlags);
#endif
#ifdef KORVO_HAS_X87
  loadX87(control.x87);
#endif
  (void)control;
}

void loadFpControlTruncating(const FpControl& control) {
  FpControl t = control;
  t.mxcsr = (t.mxcsr & ~kMxcsrRoundMask) | kMxcsrRoundToZero;
  t.x87 = static_cast<std::uint16_t>((t.x87 & ~kX87RoundMask) | kX87RoundToZero);
  loadFpControl(t);
}

ScopedRenderFpu::ScopedRenderFpu() : saved_(readFpControl()) {
  FpControl render = saved_;
  render.mxcsr |= kMxcsrFlushDenormals;
  loadFpControlTruncating(render);
}

ScopedRenderFpu::~ScopedRenderFpu() { loadFpControl(saved_); }

}  // namespace korvo
