#include "mod_filtBase.h"

#include "renderMath.h"

namespace korvo {

namespace {
// Index sums stay in range however large the sound's values are.
std::int32_t sum(std::int32_t a, std::int32_t b) { return clampWide(std::int64_t{a} + b, INT32_MIN, INT32_MAX); }
}  // namespace

void CfilterBase::setCutoffIndex(std::int32_t index, bool) { cutoffIndex_ = index; }

void CfilterBase::setBaseCutoff(std::int32_t value) {
  setCutoffIndex(sum(value, cutoffModulation_), true);
  baseCutoff_ = value;
}

void CfilterBase::setCutoffModulation(std::int32_t value) {
  setCutoffIndex(sum(baseCutoff_, value), false);
  cutoffModulation_ = value;
}

void CfilterBase::construct(float sampleRate) {
  setting1_ = 0;
  setting2_ = 0;
  setSampleRate(sampleRate);
  setCutoffIndex(0, true);
  setResonance(0);
  setCutoffModulation(0);
  resetState();
}

void CfilterBase::setUp(std::int32_t baseCutoff, std::int32_t resonance, bool immediate) {
  baseCutoff_ = baseCutoff;
  setCutoffIndex(baseCutoff, immediate);
  setResonance(resonance);
}

void CfilterBase::applyCutoffModulation(std::int32_t value, bool immediate) {
  setCutoffIndex(sum(baseCutoff_, value), immediate);
  cutoffModulation_ = value;
}

}  // namespace korvo
