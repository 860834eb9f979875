// Ckv_env: the four-segment envelope of a voice (levels L1..L3 over T1..T3, release over T4,
// optionally in two phases), run at the control rate in fixed point (level x 256).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace korvo {

class Ckv_env {
 public:
  // Fields of the envelope's parameter block that are read here.
  enum Param {
    kStart = 0,
    kL1 = 1,
    kL2 = 2,
    kL3 = 3,
    kLV = 5,
    kT1V = 6,
    kT1 = 7,
    kT2 = 8,
    kT3 = 9,
    kT4 = 10,
    kTK = 11
  };
  // The 12 words of the parameter block, as they stand in the sound record.
  using Block = std::span<const std::int16_t, 12>;

  enum class Step : std::uint8_t { kIdle, kRise, kFall, kHold };
  enum class Next : std::uint8_t { kNone, kDecay1, kDecay2, kSustain, kSecondRelease, kFinish };

  explicit Ckv_env(float controlRate);

  // Stops the envelope and clears it, as construction does.
  void setControlRate(float controlRate);
  void start(Block block, int note, bool cycle, bool restart, int velocity);
  void release();
  // Advances one control tick and returns the level after it in level units (the fixed-point
  // state / 256, the scale of the velocity-scaled L1..L3); 0 once the envelope has ended.
  std::int32_t tick();
  std::int32_t level() const { return current_ / 256; }
  bool active() const { return active_; }

  bool sustaining() const { return sustaining_; }
  bool released() const { return released_; }
  std::int32_t levelScale() const { return levelScale_; }
  std::int32_t keyTimeOffset() const { return keyTimeOffset_; }
  std::int32_t ticksLeft() const { return ticksLeft_; }
  std::int32_t delta() const { return delta_; }
  std::int32_t target() const { return target_; }
  std::int32_t storedLevel(int i) const { return levels_[static_cast<std::size_t>(i)]; }
  Step step() const { return step_; }

 private:
  void segment(std::int32_t level, std::int32_t time);
  void endSegment();
  void runNext();
  void startRelease();
  std::int32_t scaled(std::int32_t level) const;

  std::array<std::int32_t, 5> levels_{};
  std::array<std::int32_t, 4> times_{};
  std::int32_t levelScale_ = 0;
  std::int32_t keyTimeOffset_ = 0;
  bool secondRelease_ = false;
  bool cycle_ = false;
  float controlRate_ = 0.0f;
  float ticksPerUnit_ = 0.0f;
  Step step_ = Step::kIdle;
  Next next_ = Next::kNone;
  bool active_ = false;
  bool sustaining_ = false;
  bool released_ = false;
  std::int32_t current_ = 0;
  std::int32_t target_ = 0;
  std::int32_t delta_ = 0;
  std::int32_t ticksLeft_ = 0;
};

}  // namespace korvo
