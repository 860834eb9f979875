#include "mod_lfo.h"

#include <cstdlib>

#include "renderMath.h"

namespace korvo {

namespace {
constexpr std::array<std::int8_t, 256> kNoise = {
    -41, -50, -65, -50, -46, -54, -60, -65, -70, -65, -57, -50,  -36,  -26,  -23,  -30,  -39,  -37,  -32, -20, -10, 0,
    10,  23,  56,  78,  86,  96,  69,  46,  38,  35,  29,  43,   52,   59,   47,   35,   40,   20,   8,   15,  32,  49,
    56,  43,  33,  22,  39,  53,  62,  77,  68,  73,  78,  80,   76,   83,   65,   62,   71,   67,   58,  45,  43,  41,
    32,  35,  29,  20,  26,  20,  12,  30,  41,  50,  58,  48,   32,   40,   30,   24,   16,   2,    -9,  -14, -8,  5,
    -1,  -17, -25, -31, -36, -43, -52, -66, -77, -89, -95, -100, -110, -106, -111, -120, -110, -100, -90, -86, -72, -61,
    -51, -49, -30, -40, -37, -47, -48, -33, -28, -39, -28, -14,  -22,  -14,  -2,   -11,  -19,  -6,   0,   -11, -18, -20,
    -33, -21, -17, -13, 29,  37,  47,  56,  45,  48,  56,  61,   63,   57,   49,   53,   62,   78,   69,  79,  69,  59,
    44,  54,  62,  78,  61,  69,  60,  58,  44,  -33, -22, -27,  -28,  15,   5,    15,   21,   23,   38,  27,  32,  46,
    50,  44,  35,  21,  23,  16,  8,   -5,  -13, 1,   -3,  -5,   7,    10,   4,    -6,   -14,  -20,  -10, -12, -23, -38,
    -47, -38, -27, -22, -34, -39, -34, -25, -15, -24, -14, -20,  -28,  -12,  -5,   -8,   2,    7,    12,  28,  35,  40,
    51,  61,  54,  44,  31,  42,  38,  47,  52,  49,  34,  26,   18,   8,    -1,   -11,  -20,  -32,  -46, -52, -58, -62,
    -56, -42, -53, -45, -56, -67, -71, -61, -66, -66, -52, -49,  -49,  -45};
}  // namespace

const std::array<std::int8_t, 256>& lfoNoiseTable() { return kNoise; }

void Ckv_lfo::start(Block b, int phaseOffset, bool reset) {
  wave_ = b[kWave];
  human_ = b[kHuman] > 0;
  if (reset) phase_ = 16384;
  if (phaseOffset != 0) {
    // |A| = 63 is one whole cycle, so RESET 64 starts like RESET 1.
    phase_ += std::abs(phaseOffset) == 63 ? 32768u : static_cast<std::uint32_t>(phaseOffset) * 512u;
  }
  amplitude_ = b[kL1] * 64;
  finalAmplitude_ = b[kL2] * 64;

  const std::int32_t delay = b[kDelay];
  fading_ = !(b[kL1] == b[kL2] || delay <= 0);
  fadeStep_ = 0;
  if (fading_) {
    const float t = 1.0f / (static_cast<float>(delay) * 0.0827693f) - 0.0817742f;
    fadeStep_ = renderToInt(64.0f / (t * controlRate_) * 64.0f);
    if (b[kL2] < b[kL1]) fadeStep_ = fadeStep_ == INT32_MIN ? INT32_MAX : -fadeStep_;
  }
  depth_ = 0;

  const std::int32_t freq = b[kFreq];
  const float hz = freq <= 7 ? static_cast<float>(freq) * 0.045653571428571425f
                             : static_cast<float>(freq - 7) * 0.3205753214285714f + 0.319575f;
  phaseIncrement_ = renderToInt(hz / controlRate_ * 32767.0f * 0.993f);
}

void Ckv_lfo::setModulation(std::int32_t value) { depth_ = clampInt(value, -127, 127) * 32; }

std::int32_t Ckv_lfo::tick() {
  const std::int32_t k = static_cast<std::int32_t>((phase_ >> 7) & 255u);
  const std::int32_t s = k - 128;
  std::int32_t w;
  switch (wave_) {
    case 0: w = s >= 0 ? (s - 64) * 2 : ((-s - 1) - 64) * 2; break;
    case 1: w = k >= 128 ? k - 256 : k; break;
    case 2: w = s >= 0 ? 127 : 0; break;
    case 3: w = kNoise[static_cast<std::size_t>(k)]; break;
    default: w = s; break;
  }
  output_ = static_cast<std::int32_t>(std::int64_t{w} * (std::int64_t{amplitude_} + depth_) / 4096);
  phase_ += static_cast<std::uint32_t>(phaseIncrement_);
  if (fading_) {
    const std::int64_t a = std::int64_t{amplitude_} + fadeStep_;
    if (fadeStep_ >= 0 ? a >= finalAmplitude_ : a <= finalAmplitude_) {
      amplitude_ = finalAmplitude_;
      fading_ = false;
    } else {
      amplitude_ = static_cast<std::int32_t>(a);
    }
  }
  return output_;
}

}  // namespace korvo
