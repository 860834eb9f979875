#include "mod_amp.h"

#include <cmath>

#include "renderMath.h"
#include "transTables.h"

namespace korvo {

Camp::Camp() {
  (void)volumeCurve();
  (void)panTable();
  setSampleRate(0.0f);
  setSaturation(0);
}

void Camp::setSampleRate(float rate) {
  sampleRate_ = rate;
  slow_ = static_cast<float>(std::pow(0.01, 1.0 / (double{slowTime_} * rate + 1.0)));
  fast_ = static_cast<float>(std::pow(0.01, 1.0 / (double{fastTime_} * rate + 1.0)));
  slowComplement_ = 1.0f - slow_;
  fastComplement_ = 1.0f - fast_;
  select();
}

void Camp::select() {
  coefficient_ = mode_ == 1 ? fast_ : slow_;
  complement_ = mode_ == 1 ? fastComplement_ : slowComplement_;
}

void Camp::setSaturation(std::int32_t sat) {
  if (sat < 0) {
    saturation_ = -1;
    return;
  }
  // The clip level follows the stored (clamped) value: a value above 15 would otherwise give a
  // negative clip level and a curve that jumps between the limits.
  saturation_ = sat > 15 ? 15 : sat;
  clip_ = 1.7f - 1.58f * static_cast<float>(saturation_) / 15.0f;
  sixClip_ = 6.0f * clip_;
  curveScale_ = 1.6493361431346414f / clip_;
  const float u = clip_ * curveScale_;
  normaliser_ = 1.6f / (clip_ + (u - u * u * u / 6.0f) * sixClip_);
}

void Camp::setSmoothingMode(std::int32_t mode) {
  if (mode == mode_) return;
  mode_ = mode;
  select();
  computeTargets(false);
}

void Camp::computeTargets(bool floor) {
  const PanGains& p = panTable()[static_cast<std::size_t>(pan_ + 63)];
  const float v = volumeCurve()[static_cast<std::size_t>(volumeIndex_)];
  leftTarget_ = p.left * v * gainFactor_ * complement_;
  rightTarget_ = p.right * v * gainFactor_ * complement_;
  if (floor) {
    if (leftTarget_ < kTargetFloor) leftTarget_ = kTargetFloor;
    if (rightTarget_ < kTargetFloor) rightTarget_ = kTargetFloor;
  }
}

void Camp::update(std::int32_t volumeIndex, std::int32_t pan, float gainFactor) {
  volumeIndex_ = clampInt(volumeIndex, 0, 255);
  pan_ = clampInt(pan, -63, 63);
  gainFactor_ = gainFactor;
  computeTargets(true);
}

}  // namespace korvo
