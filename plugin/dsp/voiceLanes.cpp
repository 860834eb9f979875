#include "voiceLanes.h"

#define KORVO_LANES_ENTRY runBaseline
#include "voiceLanesKernel.h"

namespace korvo {

CvoiceLanes::CvoiceLanes() { select(bestAvailable()); }

CvoiceLanes::InstructionSet CvoiceLanes::bestAvailable() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return InstructionSet::Avx2;
#endif
  return InstructionSet::Baseline;
}

void CvoiceLanes::select(InstructionSet set) {
#if defined(__x86_64__) || defined(__i386__)
  if (set == InstructionSet::Avx2 && bestAvailable() == InstructionSet::Avx2) {
    set_ = set;
    kernel_ = &lanes::runAvx2;
    return;
  }
#endif
  set_ = InstructionSet::Baseline;
  kernel_ = &lanes::runBaseline;
}

const char* CvoiceLanes::instructionSetName() const {
  if (set_ == InstructionSet::Avx2) return "avx2";
#if defined(__SSE2__)
  return "sse2";
#else
  return "generic";
#endif
}

void CvoiceLanes::load(int lane, const Cdoc& chip, int voice, const CfilterKV& filter, const Camp& amp) {
  lanes::State& s = state_;
  const std::size_t l = static_cast<std::size_t>(lane);
  const Cdoc::Voice& v = chip.voices_[static_cast<std::size_t>(voice)];
  for (int i = 0; i < 4; ++i) {
    s.h[i][l] = v.h[static_cast<std::size_t>(i)];
    s.c[i][l] = v.c[static_cast<std::size_t>(i)];
  }
  for (int k = 0; k < 3; ++k) {
    const Cdoc::ChipRegisters& r = v.osc[static_cast<std::size_t>(k)].reg;
    s.gain[k][l] = r.gain;
    s.gainTarget[k][l] = r.gainTarget;
    s.accumulator[k][l] = r.accumulator;
    s.previous[k][l] = r.previousAccumulator;
    s.increment[k][l] = r.increment;
    s.mask[k][l] = static_cast<std::uint32_t>(r.accumulatorMask);
    s.base[k][l] = static_cast<std::uint32_t>(r.baseAddress);
    s.halted[k][l] = r.halted ? -1 : 0;
    s.mode[k][l] = r.mode;
  }
  s.osc1Enabled[l] = v.osc[0].enabled ? -1 : 0;
  s.am[l] = v.am ? -1 : 0;
  s.order[l] = v.order;
  s.phase[l] = v.phase;
  s.stepsDue[l] = v.stepsDue;

  for (int i = 0; i < 5; ++i) s.s[i][l] = filter.s_[static_cast<std::size_t>(i)];
  s.g[l] = filter.g_;
  s.m[l] = filter.m_;
  s.k[l] = filter.k_;
  s.targetGain[l] = filter.targetGain_;
  s.targetPole[l] = filter.targetPole_;
  s.targetFeedback[l] = filter.targetFeedback_;
  s.smoothing[l] = filter.o_;

  s.saturating[l] = amp.saturation_ >= 0 ? -1 : 0;
  s.clip[l] = amp.clip_;
  s.sixClip[l] = amp.sixClip_;
  s.curveScale[l] = amp.curveScale_;
  s.normaliser[l] = amp.normaliser_;
  s.leftGain[l] = amp.leftGain_;
  s.rightGain[l] = amp.rightGain_;
  s.leftTarget[l] = amp.leftTarget_;
  s.rightTarget[l] = amp.rightTarget_;
  s.coefficient[l] = amp.coefficient_;
}

void CvoiceLanes::store(int lane, Cdoc& chip, int voice, CfilterKV& filter, Camp& amp) const {
  const lanes::State& s = state_;
  const std::size_t l = static_cast<std::size_t>(lane);
  Cdoc::Voice& v = chip.voices_[static_cast<std::size_t>(voice)];
  for (int i = 0; i < 4; ++i) {
    v.h[static_cast<std::size_t>(i)] = s.h[i][l];
    v.c[static_cast<std::size_t>(i)] = s.c[i][l];
  }
  for (int k = 0; k < 3; ++k) {
    Cdoc::ChipRegisters& r = v.osc[static_cast<std::size_t>(k)].reg;
    r.gain = s.gain[k][l];
    r.accumulator = s.accumulator[k][l];
    r.previousAccumulator = s.previous[k][l];
    r.halted = s.halted[k][l] != 0;
  }
  v.phase = s.phase[l];
  v.stepsDue = s.stepsDue[l];

  for (int i = 0; i < 5; ++i) filter.s_[static_cast<std::size_t>(i)] = s.s[i][l];
  filter.g_ = s.g[l];
  filter.m_ = s.m[l];
  filter.k_ = s.k[l];

  amp.leftGain_ = s.leftGain[l];
  amp.rightGain_ = s.rightGain[l];
}

int CvoiceLanes::run(const Cdoc& chip, unsigned running, unsigned candidates, int frames, unsigned& finished) {
  const lanes::ChipConstants constants{chip.rom_.data(), chip.a_, chip.oneMinusA_,
                                       static_cast<std::uint32_t>(chip.phaseIncrement_)};
  if (frames > kChunk) frames = kChunk;
  return kernel_(state_, constants, running, candidates, frames, finished);
}

}  // namespace korvo
