// CfilterKV: four identical first-order low-pass stages (zero at half the sample rate, unity gain
// at DC) in a resonance feedback loop. Coefficients come from a 256-row table built per sample
// rate and glide toward their targets per sample so that control-rate steps do not click.
#pragma once

#include <array>

#include "mod_filtBase.h"

namespace korvo {

class CfilterKV final : public CfilterBase {
 public:
  struct Row {
    float pole = 0.0f;      // m
    float gain = 0.0f;      // g, input gain of each stage
    float feedback = 0.0f;  // k at full resonance
    float outGain = 0.0f;   // q at full resonance
  };

  explicit CfilterKV(float sampleRate);

  void setSampleRate(float rate) override;
  void setCutoffIndex(std::int32_t index, bool immediate) override;
  void setResonance(std::int32_t value) override;
  void construct(float sampleRate) override;
  void resetState() override { s_ = {}; }
  void setUp(std::int32_t baseCutoff, std::int32_t resonance, bool immediate) override;

  float process(float x) {
    const float s0 = x - k_ * s_[4];
    const float s1 = g_ * (s_[0] + s0) - m_ * s_[1];
    const float s2 = g_ * (s_[1] + s1) - m_ * s_[2];
    const float s3 = g_ * (s_[2] + s2) - m_ * s_[3];
    const float s4 = g_ * (s_[3] + s3) - m_ * s_[4];
    s_ = {s0, s1, s2, s3, s4};
    g_ = g_ * o_ + targetGain_;
    m_ = m_ * o_ + targetPole_;
    k_ = k_ * o_ + targetFeedback_;
    return s4;
  }

  // Rises with resonance; the amplifier multiplies its gains by it.
  float gainCompensation() const { return gainCompensation_; }
  const Row& row(int i) const { return table_[static_cast<std::size_t>(i & 255)]; }
  float smoothing() const { return o_; }
  float currentGain() const { return g_; }
  float currentPole() const { return m_; }
  float currentFeedback() const { return k_; }

 private:
  friend class CvoiceLanes;  // loads and stores the per-sample state of the lane render
  void loadCoefficients(bool immediate);

  std::array<Row, 256> table_{};
  float smoothingTime_ = 0.011970313f;
  float o_ = 0.0f;
  float oneMinusO_ = 1.0f;
  float targetGain_ = 0.0f;
  float targetFeedback_ = 0.0f;
  float targetPole_ = 0.0f;
  float g_ = 0.0f;
  float k_ = 0.0f;
  float m_ = 0.0f;
  std::array<float, 5> s_{};
  float gainCompensation_ = 1.0f;
};

}  // namespace korvo
