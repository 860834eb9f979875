// Ckv_lfo: the low-frequency oscillator of a voice, four waves at a rate set by FREQ, with an
// amplitude fading from L1 to L2 and a depth added by a modulation source. Control rate.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace korvo {

class Ckv_lfo {
 public:
  enum Param { kFreq = 0, kReset = 1, kHuman = 2, kWave = 3, kL1 = 4, kDelay = 5, kL2 = 6 };
  // The 12 words of the parameter block, as they stand in the sound record.
  using Block = std::span<const std::int16_t, 12>;

  explicit Ckv_lfo(float controlRate) : controlRate_(controlRate) {}

  // Stores the rate and clears everything else, the phase included.
  void setControlRate(float controlRate) { *this = Ckv_lfo(controlRate); }
  void start(Block block, int phaseOffset, bool reset);
  // value = source x MOD.AMT / 63, as the engine computes it once per control tick.
  void setModulation(std::int32_t value);
  // Advances one control tick and returns the output: the wave (-128..127) times (amplitude +
  // depth) / 4096, so about +-125 at L1 = 63 without modulation depth and up to about +-250 with
  // it. The engine hands its sources half of it (see CplugMaster::controlTick).
  std::int32_t tick();

  std::int32_t output() const { return output_; }
  std::int32_t amplitude() const { return amplitude_; }
  std::int32_t fadeStep() const { return fadeStep_; }
  bool fading() const { return fading_; }
  std::int32_t modulationDepth() const { return depth_; }
  std::uint32_t phase() const { return phase_; }
  std::int32_t phaseIncrement() const { return phaseIncrement_; }
  bool human() const { return human_; }

 private:
  float controlRate_ = 0.0f;
  std::int32_t wave_ = 0;
  bool human_ = false;  // HUMAN is kept for the sound but has no effect
  std::int32_t amplitude_ = 0;
  std::int32_t finalAmplitude_ = 0;
  std::int32_t fadeStep_ = 0;
  bool fading_ = false;
  std::int32_t depth_ = 0;
  std::int32_t output_ = 0;
  std::uint32_t phase_ = 0;  // bits 7..14 select the wave position
  std::int32_t phaseIncrement_ = 0;
};

// The smooth random curve of wave 3, indexed by a signed byte (-128..127) + 128.
const std::array<std::int8_t, 256>& lfoNoiseTable();

}  // namespace korvo
