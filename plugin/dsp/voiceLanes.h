// CvoiceLanes: the per-sample work of up to eight voices (chip step and interpolator, filter,
// amplifier) run side by side, one voice per vector lane. The engine loads the voices it is about
// to run from their modules, runs as many samples as pass without a control tick, a MIDI event
// or a voice ending, and stores them back; each lane's result is bit for bit what the voice's
// own modules would have computed, and the engine adds the lanes into the stereo sums in the
// order of its active voice list, as the one-voice path does.
//
// The kernel is built for SSE2 (the baseline of every build, the 32-bit one included) and, on
// x86, for AVX2, which is chosen at construction when the processor has it.
//
// Real-time: nothing here allocates or locks.
#pragma once

#include "mod_amp.h"
#include "mod_doc.h"
#include "mod_filter.h"
#include "voiceLanesState.h"

namespace korvo {

class CvoiceLanes {
 public:
  static constexpr int kLanes = lanes::kLanes;
  static constexpr int kChunk = lanes::kChunk;

  enum class InstructionSet { Baseline, Avx2 };

  CvoiceLanes();

  // The widest set this processor runs; tests pick the baseline on purpose to cover both.
  static InstructionSet bestAvailable();
  void select(InstructionSet set);
  InstructionSet instructionSet() const { return set_; }
  // "avx2", or "sse2" for the baseline on x86 ("generic" elsewhere).
  const char* instructionSetName() const;

  // The chip can run in lanes only where it makes at most one chip step per host sample and
  // its output is not band-limited, that is at host rates from the chip rate up.
  static bool supports(const Cdoc& chip) { return chip.bandLimitTaps() == 0 && chip.phaseIncrement() <= (1u << 30); }

  void load(int lane, const Cdoc& chip, int voice, const CfilterKV& filter, const Camp& amp);
  void store(int lane, Cdoc& chip, int voice, CfilterKV& filter, Camp& amp) const;

  // Runs up to kChunk samples of the lanes in `running` (bit n = lane n); see lanes::KernelFn.
  int run(const Cdoc& chip, unsigned running, unsigned candidates, int frames, unsigned& finished);

  // What lane `lane` added to the left and right sums at sample `j` of the last run.
  float left(int j, int lane) const { return state_.left[j][lane]; }
  float right(int j, int lane) const { return state_.right[j][lane]; }

 private:
  lanes::State state_{};
  lanes::KernelFn kernel_ = &lanes::runBaseline;
  InstructionSet set_ = InstructionSet::Baseline;
};

}  // namespace korvo
