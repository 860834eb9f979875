#include "mod_filter.h"

#include <cmath>

#include "renderMath.h"

namespace korvo {

CfilterKV::CfilterKV(float sampleRate) { construct(sampleRate); }

void CfilterKV::construct(float sampleRate) {
  smoothingTime_ = 0.011970313f;
  gainCompensation_ = 1.0f;
  CfilterBase::construct(sampleRate);
}

void CfilterKV::setSampleRate(float rate) {
  sampleRate_ = rate;
  const double r0 = 48000.0 / rate;
  const double r = rate < 32000.0f ? r0 * 0.7 : r0;
  for (int i = 0; i < 256; ++i) {
    double m = (std::exp(0.02321353211 * i) - 1.0) * 0.0141970185 * r - 1.0;
    if (!(m <= 1.0)) m = 1.0;  // also catches a NaN from a rate of 0
    const double g = (m + 1.0) * 0.5;
    double f = 0.08;
    if (i < 192) {
      f = 7.86 / (0.5 * i - 96.0) + 1.48;
      if (f < 0.08) f = 0.08;
    }
    table_[static_cast<std::size_t>(i)] = {static_cast<float>(m), static_cast<float>(g),
                                           static_cast<float>(std::exp(1.0 - g) * f * 0.99),
                                           static_cast<float>((f - 0.08) / 1.32 * 1.2 + 0.7)};
  }
  o_ = static_cast<float>(std::pow(0.01, 1.0 / (double{smoothingTime_} * rate + 1.0)));
  oneMinusO_ = 1.0f - o_;
  loadCoefficients(true);
}

void CfilterKV::setCutoffIndex(std::int32_t index, bool immediate) {
  cutoffIndex_ = clampInt(index, 0, 255);
  loadCoefficients(immediate);
}

void CfilterKV::setResonance(std::int32_t value) {
  resonance_ = clampInt(value, 0, 31);
  loadCoefficients(true);
}

void CfilterKV::setUp(std::int32_t baseCutoff, std::int32_t resonance, bool immediate) {
  baseCutoff_ = baseCutoff;
  cutoffIndex_ = clampInt(baseCutoff, 0, 255);
  resonance_ = clampInt(resonance, 0, 31);
  loadCoefficients(immediate);
}

void CfilterKV::loadCoefficients(bool immediate) {
  const Row& row = table_[static_cast<std::size_t>(cutoffIndex_)];
  const float a = static_cast<float>(resonance_) / 31.0f;
  gainCompensation_ = 1.0f - a + a * row.outGain;
  targetPole_ = row.pole;
  targetGain_ = row.gain;
  targetFeedback_ = a * row.feedback;
  if (immediate) {
    m_ = targetPole_;
    g_ = targetGain_;
    k_ = targetFeedback_;
  }
  targetPole_ *= oneMinusO_;
  targetGain_ *= oneMinusO_;
  targetFeedback_ *= oneMinusO_;
}

}  // namespace korvo
