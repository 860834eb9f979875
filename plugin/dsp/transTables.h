// Constant tables of the voice: the chip's frequency table and level curve, the time table and
// velocity curves of the envelopes, and the amplifier's volume and pan curves.
// The computed tables are built on first use; every module touches the ones it needs in its
// constructor so that no table is built on the audio thread.
#pragma once

#include <array>
#include <cstdint>

namespace korvo {

// Frequency words indexed by pitch in 1/16 semitone: round(27.9628425 * 2^(i / 192)) for
// i = 0..2047; the last entry repeats entry 2047 so that interpolation may read i + 1.
inline constexpr int kFrequencyTableSize = 2049;
const std::array<std::uint16_t, kFrequencyTableSize>& frequencyTable();

// Chip volume 0..255 by index 0..255; the chip reads entry 2v for oscillator volume v = 0..127.
const std::array<std::uint8_t, 256>& levelCurve();

// Segment length by time value 0..63, in 1/81 s (envelopes) or 1/83.54 s (glide).
inline constexpr std::array<std::uint16_t, 64> kTimeTable = {
    1,   1,   1,   2,   2,   3,   3,   3,   4,   4,   4,   5,   6,   6,    7,    8,    9,    10,   11,   13,  14,  16,
    18,  20,  23,  25,  29,  32,  36,  40,  45,  51,  57,  64,  72,  81,   91,   102,  114,  128,  144,  161, 181, 203,
    228, 256, 287, 323, 362, 406, 456, 512, 575, 645, 724, 813, 912, 1024, 1149, 1290, 1448, 1625, 1825, 2048};

// Velocity curve A (levels when LV bit 6 is clear; the VEL source).
inline constexpr std::array<std::uint8_t, 128> kVelocityCurveA = {
    1,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,  15,  16,  17, 18, 19, 20,  21,
    22,  23,  24,  25,  26,  27,  28,  29,  30,  31,  32,  33,  34,  35,  36,  37,  38,  39, 40, 41, 42,  43,
    44,  45,  46,  47,  48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61, 62, 63, 64,  65,
    66,  67,  67,  68,  69,  70,  71,  71,  72,  73,  74,  75,  75,  76,  77,  78,  79,  79, 80, 81, 82,  83,
    83,  84,  85,  86,  87,  87,  88,  89,  90,  91,  91,  92,  93,  94,  95,  95,  96,  97, 98, 99, 100, 101,
    102, 103, 105, 106, 107, 108, 109, 111, 112, 113, 114, 115, 117, 119, 121, 123, 125, 127};

// Velocity curve B (levels when LV bit 6 is set; the VEL-X source).
inline constexpr std::array<std::uint8_t, 128> kVelocityCurveB = {
    0,  0,  0,  0,  0,  0,  0,  0,  1,  1,  1,  1,  1,  1,  1,  1,   2,   2,   2,   2,   2,   2,   2,   2,  3,  3,
    3,  3,  3,  3,  3,  3,  4,  4,  4,  4,  5,  5,  5,  5,  6,  6,   6,   6,   7,   7,   7,   7,   8,   8,  8,  8,
    9,  9,  9,  9,  10, 10, 10, 10, 11, 11, 11, 11, 12, 13, 14, 15,  16,  17,  18,  19,  20,  21,  22,  23, 24, 25,
    26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41,  42,  43,  44,  46,  48,  50,  52,  54, 56, 58,
    60, 62, 64, 66, 68, 70, 72, 74, 77, 80, 83, 86, 90, 94, 96, 100, 104, 108, 112, 116, 120, 125, 126, 127};

// Amplifier gain by volume index 0..255 (0.0 .. 1.0).
const std::array<float, 256>& volumeCurve();

// Constant-power pan gains for pan -63..+63 (index pan + 63).
struct PanGains {
  float left = 0.0f;
  float right = 0.0f;
};
const std::array<PanGains, 127>& panTable();

}  // namespace korvo
