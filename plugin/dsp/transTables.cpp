#include "transTables.h"

#include <cmath>

namespace korvo {

namespace {

std::array<std::uint16_t, kFrequencyTableSize> buildFrequencyTable() {
  std::array<std::uint16_t, kFrequencyTableSize> t{};
  for (std::size_t i = 0; i < kFrequencyTableSize - 1; ++i)
    t[i] = static_cast<std::uint16_t>(std::nearbyint(27.9628425 * std::exp2(i / 192.0)));
  t[kFrequencyTableSize - 1] = t[kFrequencyTableSize - 2];
  return t;
}

// Exponential up to the knee, a straight line above it; both halves meet near j = 221.85.
std::array<std::uint8_t, 256> buildLevelCurve() {
  constexpr double k = 44.0 / 13.0;
  std::array<float, 256> g{};
  for (std::size_t j = 0; j < 256; ++j) {
    const double x = j / 255.0;
    g[j] = j < 222 ? static_cast<float>(0.56 * std::pow(3.65, (k / 0.56) * (x - 0.87)))
                   : static_cast<float>(x * k + 0.56 - 0.87 * k);
  }
  std::array<std::uint8_t, 256> t{};
  for (std::size_t j = 0; j < 256; ++j) {
    const double v = std::nearbyint(255.0 * (double(g[j]) - g[0]) / (1.0 - g[0]));
    t[j] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
  return t;
}

std::array<float, 256> buildVolumeCurve() {
  constexpr double k = 1.7179487179487178;
  std::array<float, 256> v{};
  for (std::size_t j = 0; j < 256; ++j) {
    const double x = j / 255.0;
    v[j] = j < 156 ? static_cast<float>(0.33 * std::pow(2.718, (k / 0.33) * (x - 0.61)))
                   : static_cast<float>(x * k + 0.33 - 0.61 * k);
  }
  const float v0 = v[0];
  for (float& e : v) e = (e - v0) / (1.0f - v0);
  return v;
}

std::array<PanGains, 127> buildPanTable() {
  std::array<PanGains, 127> t{};
  for (int p = -63; p <= 63; ++p) {
    const float x = static_cast<float>(p) / 63.0f;
    const float b = std::sqrt(1.0f / (2.0f * x * x + 2.0f));
    t[static_cast<std::size_t>(p + 63)] = {b - x * b, b + x * b};
  }
  return t;
}

}  // namespace

const std::array<std::uint16_t, kFrequencyTableSize>& frequencyTable() {
  static const auto table = buildFrequencyTable();
  return table;
}

const std::array<std::uint8_t, 256>& levelCurve() {
  static const auto table = buildLevelCurve();
  return table;
}

const std::array<float, 256>& volumeCurve() {
  static const auto table = buildVolumeCurve();
  return table;
}

const std::array<PanGains, 127>& panTable() {
  static const auto table = buildPanTable();
  return table;
}

}  // namespace korvo
