#include "mod_env.h"

#include "renderMath.h"
#include "transTables.h"

namespace korvo {

namespace {
// Levels are kept as 2v (v >= 0) or 2v - 2 (v < 0), so -63..+63 spans -128..+126.
std::int32_t storeLevel(std::int32_t v) { return v >= 0 ? 2 * v : 2 * v - 2; }
}  // namespace

Ckv_env::Ckv_env(float controlRate) { setControlRate(controlRate); }

void Ckv_env::setControlRate(float controlRate) {
  levels_ = {};
  times_ = {};
  levelScale_ = keyTimeOffset_ = 0;
  secondRelease_ = cycle_ = false;
  controlRate_ = controlRate;
  ticksPerUnit_ = controlRate / 81.0f;
  step_ = Step::kIdle;
  next_ = Next::kNone;
  active_ = sustaining_ = released_ = false;
  current_ = target_ = delta_ = ticksLeft_ = 0;
}

std::int32_t Ckv_env::scaled(std::int32_t level) const { return level * levelScale_ / 256; }

void Ckv_env::start(Block b, int note, bool cycle, bool restart, int velocity) {
  for (std::size_t i = 0; i < 5; ++i) levels_[i] = storeLevel(b[i]);
  for (std::size_t i = 0; i < 4; ++i) times_[i] = b[kT1 + i] & 63;
  keyTimeOffset_ = (note > 36 ? 2 * (note - 36) : 0) * b[kTK] / 256;
  secondRelease_ = b[kT4] >= 64;
  cycle_ = cycle;

  const int v = clampInt(velocity, 0, 127);
  const std::int32_t amount = b[kLV] & 63;
  const auto& curve = (b[kLV] & 64) ? kVelocityCurveB : kVelocityCurveA;
  levelScale_ = ((amount * curve[static_cast<std::size_t>(v)]) >> 5) + (63 - amount) * 4;

  step_ = Step::kIdle;
  next_ = Next::kDecay1;
  if (restart) current_ = levels_[0] * 256;
  active_ = true;
  sustaining_ = false;
  released_ = false;
  segment(scaled(levels_[1]), times_[0] - (b[kT1V] * v) / 128);
}

void Ckv_env::segment(std::int32_t level, std::int32_t time) {
  target_ = level;
  const std::int32_t t = clampInt(time, 0, 63);
  const std::int32_t ticks = renderToInt(static_cast<float>(kTimeTable[static_cast<std::size_t>(t)]) * ticksPerUnit_);
  ticksLeft_ = ticks < 1 ? 1 : ticks;
  std::int32_t d = level - current_ / 256;
  if (d == 0) {
    step_ = Step::kHold;
  } else if (d > 0) {
    step_ = Step::kRise;
  } else {
    step_ = Step::kFall;
    d = -d;
  }
  delta_ = (d * 256) / ticksLeft_;
}

void Ckv_env::endSegment() {
  if (--ticksLeft_ <= 0) {
    current_ = target_ * 256 + (current_ & 255);
    runNext();
  }
}

void Ckv_env::runNext() {
  switch (next_) {
    case Next::kDecay1:
      next_ = Next::kDecay2;
      segment(scaled(levels_[2]), clampInt(times_[1] - keyTimeOffset_, 0, 63));
      break;
    case Next::kDecay2:
      next_ = Next::kSustain;
      segment(scaled(levels_[3]), clampInt(times_[2] - keyTimeOffset_, 0, 63));
      break;
    case Next::kSustain:
      // The level, not the raw field: fractional bits left over from the ramps must not keep a
      // zero sustain alive.
      if (current_ / 256 == 0) {
        next_ = Next::kFinish;
        runNext();
      } else if (released_ || cycle_) {
        startRelease();
      } else {
        sustaining_ = true;
        step_ = Step::kIdle;
      }
      break;
    case Next::kSecondRelease:
      sustaining_ = false;
      next_ = Next::kFinish;
      segment(0, 39);
      break;
    case Next::kFinish:
      step_ = Step::kIdle;
      active_ = false;
      sustaining_ = false;
      break;
    case Next::kNone: break;
  }
}

void Ckv_env::startRelease() {
  if (secondRelease_) {
    next_ = Next::kSecondRelease;
    segment(current_ / 512 - 12, times_[3]);
  } else {
    next_ = Next::kFinish;
    segment(0, times_[3]);
  }
}

void Ckv_env::release() {
  if (cycle_) return;
  released_ = true;
  startRelease();
}

std::int32_t Ckv_env::tick() {
  if (!active_) return 0;
  switch (step_) {
    case Step::kIdle: break;
    case Step::kRise:
      current_ += delta_;
      if (current_ / 256 > target_) current_ = target_ * 256 + (current_ & 255);
      endSegment();
      break;
    case Step::kFall:
      current_ -= delta_;
      if (current_ / 256 < target_) current_ = target_ * 256 + (current_ & 255);
      endSegment();
      break;
    case Step::kHold: endSegment(); break;
  }
  return current_ / 256;
}

}  // namespace korvo
