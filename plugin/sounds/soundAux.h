// Clamps, the nybble and bit-field functions of the hardware dump format, and the two string
// helpers of the sound name code. Shared by the engine and the sound format units.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvo {

// Clamps (integer) -----------------------------------------------------------------------------

constexpr int clamp127(int v) { return v <= 0 ? 0 : (v >= 127 ? 127 : v); }
constexpr int clampSigned127(int v) { return v <= -127 ? -127 : (v >= 127 ? 127 : v); }
constexpr int clamp255(int v) { return v <= 0 ? 0 : (v >= 255 ? 255 : v); }
constexpr int clampSigned63(int v) { return v <= -63 ? -63 : (v >= 63 ? 63 : v); }
// Values <= 0 give 0, else min(value, n).
constexpr int clampToN(int v, int n) { return v <= 0 ? 0 : (v < n ? v : n); }
// Values >= hi give hi, else max(value, lo); so hi wins when lo > hi.
constexpr int clampRange(int v, int lo, int hi) { return v >= hi ? hi : (v > lo ? v : lo); }

// Bit fields on nybble pairs --------------------------------------------------------------------
// A dump carries each byte as two message bytes: the low nybble a first, then the high nybble b.

constexpr unsigned fieldMask(int width) { return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u; }

// (a | b * 16) & (2^width - 1).
constexpr unsigned joinNybbles(unsigned a, unsigned b, int width) { return (a | (b << 4)) & fieldMask(width); }

// The joined field of `width` bits as a signed byte: widths up to 7 are sign-extended from
// bit width - 1; width 8 is the byte read as two's complement.
constexpr std::int8_t joinNybblesSigned(unsigned a, unsigned b, int width) {
  const unsigned v = joinNybbles(a, b, width) & 0xFFu;
  if (width >= 8) return static_cast<std::int8_t>(v >= 128 ? static_cast<int>(v) - 256 : static_cast<int>(v));
  const unsigned sign = 1u << (width - 1);
  return static_cast<std::int8_t>((v & sign) ? static_cast<int>(v) - static_cast<int>(sign << 1) : static_cast<int>(v));
}

struct NybblePair {
  std::uint8_t lo = 0;
  std::uint8_t hi = 0;
};

// value & (2^width - 1) split into its low and high nybble.
constexpr NybblePair splitNybbles(int value, int width) {
  const unsigned v = static_cast<unsigned>(value) & fieldMask(width) & 0xFFu;
  return {static_cast<std::uint8_t>(v & 15u), static_cast<std::uint8_t>(v >> 4)};
}

// Bit 7 of the value's low byte moves to bit width - 1 above the low width - 1 bits, so an
// in-range signed value becomes its two's complement in `width` bits.
constexpr NybblePair splitNybblesSigned(int value, int width) {
  const unsigned b = static_cast<unsigned>(value) & 0xFFu;
  const unsigned low = b & fieldMask(width - 1);
  const unsigned sign = (b & 0x80u) ? (1u << (width - 1)) : 0u;
  return splitNybbles(static_cast<int>(low | sign), width);
}

// Strings ---------------------------------------------------------------------------------------

// Exactly n characters from a fixed-length character array; n blanks when there is none.
std::string fixedString(const char* chars, int n);

// The text in upper case (a..z only) with every blank removed, cut to at most n characters and
// zero-filled to n bytes. Bytes of 0x80 and above and control bytes pass unchanged.
std::string upperNoBlanks(std::string_view text, int n);

}  // namespace korvo
