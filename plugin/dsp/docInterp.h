// The chip's mixing and interpolation constants as 32-bit floats, shared by the one-voice chip
// code and the lane kernel so that both multiply by the very same values.
#pragma once

namespace korvo::interp {

inline constexpr float kInv127 = 1.0f / 127.0f;
inline constexpr float kPhaseScale = 1.0f / 1073741824.0f;  // 2^-30: phase to segment position
inline constexpr float k85_36 = 85.0f / 36.0f;
inline constexpr float k11_6 = 11.0f / 6.0f;
inline constexpr float k5_3 = 5.0f / 3.0f;
inline constexpr float k11_36 = 11.0f / 36.0f;
inline constexpr float k1_9 = 1.0f / 9.0f;
inline constexpr float k1_6 = 1.0f / 6.0f;
inline constexpr float k1_18 = 1.0f / 18.0f;

}  // namespace korvo::interp
