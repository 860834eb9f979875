// The float-to-integer rule of the render, shared by every synthesis module.
#pragma once

#include <cstdint>

namespace korvo {

// The engine renders with the floating-point unit set to truncation, so every float-to-integer
// conversion the modules make while rendering (segment lengths, fade and phase steps, glide
// speeds) rounds toward zero. The modules use this one function instead of relying on the FPU
// mode, so a conversion gives the render's result whoever calls it. Values outside the 32-bit
// range saturate and NaN gives 0, where a plain conversion would be undefined.
constexpr std::int32_t renderToInt(double x) {
  if (!(x == x)) return 0;
  if (x >= 2147483647.0) return INT32_MAX;
  if (x <= -2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(x);
}

// Integer clamp with the bounds inclusive; `lo` wins when the bounds cross.
constexpr std::int32_t clampInt(std::int32_t v, std::int32_t lo, std::int32_t hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

// A 64-bit intermediate clamped into a 32-bit range.
constexpr std::int32_t clampWide(std::int64_t v, std::int32_t lo, std::int32_t hi) {
  return v < lo ? lo : (v > hi ? hi : static_cast<std::int32_t>(v));
}

}  // namespace korvo
