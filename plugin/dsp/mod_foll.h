// Cmod_foll: a linear follower in fixed point (value x 4096), one step per control tick. The
// engine uses it for glide: it ramps a pitch offset from 0 to the interval at a set speed.
#pragma once

#include <cstdint>

namespace korvo {

class Cmod_foll {
 public:
  static constexpr std::int32_t kLimit = 524287;

  explicit Cmod_foll(float controlRate) { setControlRate(controlRate); }

  void setControlRate(float controlRate);
  // Units per second; the step keeps its direction.
  void setSpeed(float unitsPerSecond);
  void reset(std::int32_t value);
  void setTarget(std::int32_t value);
  std::int32_t tick();

  std::int32_t value() const { return current_ / 4096; }
  std::int32_t stepSize() const { return stepSize_; }
  std::int32_t step() const { return step_; }

 private:
  void applyStepSize();

  float controlRate_ = 1.0f;
  float speed_ = 0.0f;
  float stepScale_ = 4096.0f;
  std::int32_t stepSize_ = 0;
  std::int32_t current_ = 0;
  std::int32_t step_ = 0;
  std::int32_t target_ = 0;
};

}  // namespace korvo
