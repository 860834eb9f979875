// CfilterBase: the voice filter's interface. Cutoff is an index 0..255 made of a base (from the
// sound) and a modulation (per control tick); resonance 0..31. Derived filters decide how the
// index and resonance become coefficients.
#pragma once

#include <cstdint>

namespace korvo {

class CfilterBase {
 public:
  virtual ~CfilterBase() = default;
  CfilterBase(const CfilterBase&) = delete;
  CfilterBase& operator=(const CfilterBase&) = delete;

  virtual void setSampleRate(float rate) { sampleRate_ = rate; }
  virtual void setSetting1(std::int32_t value) { setting1_ = value; }
  virtual void setSetting2(std::int32_t value) { setting2_ = value; }
  virtual void setCutoffIndex(std::int32_t index, bool immediate);
  virtual void setBaseCutoff(std::int32_t value);
  virtual void setCutoffModulation(std::int32_t value);
  virtual void setResonance(std::int32_t value) { resonance_ = value; }
  // Runs once the derived filter has set its own constants (the virtual constructor).
  virtual void construct(float sampleRate);
  virtual void resetState() {}
  virtual void setUp(std::int32_t baseCutoff, std::int32_t resonance, bool immediate);
  // The per-control-tick form: index = base + value, immediate only on a voice's first tick.
  virtual void applyCutoffModulation(std::int32_t value, bool immediate);

  float sampleRate() const { return sampleRate_; }
  std::int32_t baseCutoff() const { return baseCutoff_; }
  std::int32_t resonance() const { return resonance_; }
  std::int32_t cutoffIndex() const { return cutoffIndex_; }
  std::int32_t cutoffModulation() const { return cutoffModulation_; }

 protected:
  CfilterBase() = default;

  float sampleRate_ = 0.0f;
  std::int32_t setting1_ = 0;  // kept for the interface; no effect in these filters
  std::int32_t setting2_ = 0;
  std::int32_t baseCutoff_ = 0;
  std::int32_t resonance_ = 0;
  std::int32_t cutoffIndex_ = 0;
  std::int32_t cutoffModulation_ = 0;
};

}  // namespace korvo
