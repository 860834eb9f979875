#include "mod_foll.h"

#include "renderMath.h"

namespace korvo {

void Cmod_foll::setControlRate(float controlRate) {
  controlRate_ = controlRate >= 1.0f ? controlRate : 1.0f;  // a NaN rate becomes 1 as well
  stepScale_ = 4096.0f / controlRate_;
  applyStepSize();
}

void Cmod_foll::setSpeed(float unitsPerSecond) {
  speed_ = unitsPerSecond;
  applyStepSize();
}

void Cmod_foll::applyStepSize() {
  const std::int32_t size = renderToInt(static_cast<double>(speed_ * stepScale_));
  // A negative speed would step away from the target for ever; only the magnitude counts.
  stepSize_ = size >= 0 ? size : (size == INT32_MIN ? INT32_MAX : -size);
  if (step_ < 0)
    step_ = -stepSize_;
  else if (step_ > 0)
    step_ = stepSize_;
}

void Cmod_foll::reset(std::int32_t value) {
  step_ = 0;
  current_ = clampInt(value, -kLimit, kLimit) * 4096;
}

void Cmod_foll::setTarget(std::int32_t value) {
  target_ = clampInt(value, -kLimit, kLimit) * 4096;
  step_ = target_ == current_ ? 0 : (current_ < target_ ? stepSize_ : -stepSize_);
}

std::int32_t Cmod_foll::tick() {
  if (current_ != target_) {
    // 64 bits: a huge step must land on the target, not wrap around.
    const std::int64_t next = std::int64_t{current_} + step_;
    if (step_ >= 0 ? next >= target_ : next <= target_) {
      current_ = target_;
      step_ = 0;
    } else {
      current_ = static_cast<std::int32_t>(next);
    }
  }
  return current_ / 4096;
}

}  // namespace korvo
