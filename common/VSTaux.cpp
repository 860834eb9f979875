#include "VSTaux.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

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

int writeWholeFile(const std::string& fileName, const void* data, std::size_t size) {
  if (!data || size == 0) return 0;
  const std::string temp = fileName + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return errno ? errno : EIO;
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = (std::fflush(f) == 0) && ok;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) {
    int err = errno ? errno : EIO;
    std::remove(temp.c_str());
    return err;
  }
  // std::filesystem::rename replaces an existing target on every system (MoveFileEx on Windows).
  std::error_code ec;
  std::filesystem::rename(std::filesystem::path(temp), std::filesystem::path(fileName), ec);
  if (ec) {
    std::remove(temp.c_str());
    return ec.value() ? ec.value() : EIO;
  }
  return 0;
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

void busyWait(unsigned milliseconds) {
  const auto start = std::chrono::steady_clock::now();
  const auto span = std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() - start < span) {
  }
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
