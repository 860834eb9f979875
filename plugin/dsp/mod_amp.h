// Camp: the voice's final amplifier. A volume index and a pan position per control tick become
// smoothed left and right gains; the voice signal is optionally saturated first and then added
// into the stereo sums once per host sample.
#pragma once

#include <cstdint>

namespace korvo {

class Camp {
 public:
  static constexpr float kSilence = 0.0005f;
  static constexpr float kTargetFloor = 1e-6f;

  Camp();

  void setSampleRate(float rate);
  // SAT: below 0 is off (-1), above 15 is 15.
  void setSaturation(std::int32_t sat);
  // 1 = fast (voice start, fade out), anything else = slow.
  void setSmoothingMode(std::int32_t mode);
  void update(std::int32_t volumeIndex, std::int32_t pan, float gainFactor);
  void fadeOut() { update(0, pan_, 1.0f); }

  void process(float sample, float& left, float& right) {
    const float y = saturation_ >= 0 ? saturate(sample) : sample;
    leftGain_ = leftGain_ * coefficient_ + leftTarget_;
    left += y * leftGain_;
    rightGain_ = rightGain_ * coefficient_ + rightTarget_;
    right += y * rightGain_;
  }

  bool silent() const {
    return (leftGain_ < 0 ? -leftGain_ : leftGain_) < kSilence &&
           (rightGain_ < 0 ? -rightGain_ : rightGain_) < kSilence;
  }

  float saturate(float s) const {
    if (s <= -clip_) return -1.6f;
    if (s >= clip_) return 1.6f;
    const float f = s * curveScale_;
    return (s + (f - f * f * f * (1.0f / 6.0f)) * sixClip_) * normaliser_;
  }

  std::int32_t volumeIndex() const { return volumeIndex_; }
  std::int32_t pan() const { return pan_; }
  std::int32_t saturation() const { return saturation_; }
  float clipLevel() const { return clip_; }
  float coefficient() const { return coefficient_; }
  float slowCoefficient() const { return slow_; }
  float fastCoefficient() const { return fast_; }
  float leftTarget() const { return leftTarget_; }
  float rightTarget() const { return rightTarget_; }
  float leftGain() const { return leftGain_; }
  float rightGain() const { return rightGain_; }

 private:
  friend class CvoiceLanes;  // loads and stores the per-sample state of the lane render
  void computeTargets(bool floor);
  void select();

  std::int32_t volumeIndex_ = 0;
  std::int32_t pan_ = 0;
  float gainFactor_ = 1.0f;
  float sampleRate_ = 0.0f;
  float slowTime_ = 0.011f;
  float fastTime_ = 0.004f;
  float coefficient_ = 0.0f;
  float complement_ = 1.0f;
  float slow_ = 0.0f;
  float fast_ = 0.0f;
  float slowComplement_ = 1.0f;
  float fastComplement_ = 1.0f;
  std::int32_t mode_ = 0;
  float leftTarget_ = 0.0f;
  float rightTarget_ = 0.0f;
  float leftGain_ = 0.0f;
  float rightGain_ = 0.0f;
  std::int32_t saturation_ = 0;
  float clip_ = 1.7f;
  float sixClip_ = 6.0f * 1.7f;
  float curveScale_ = 1.6493361431346414f / 1.7f;
  float normaliser_ = 1.0f;
};

}  // namespace korvo
