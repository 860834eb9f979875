// The per-sample state of up to eight voices laid out side by side, one lane per voice, for the
// lane render (voiceLanes.h). Plain data and <cstdint> only: the kernel that works on it is
// compiled once per instruction set, and a translation unit built for a wider set must not
// emit inline library code that the rest of the program could end up sharing.
#pragma once

#include <cstdint>

namespace korvo::lanes {

constexpr int kLanes = 8;
// Samples per kernel call; the lane products of one call are kept for the ordered stereo sum.
constexpr int kChunk = 64;

struct alignas(32) State {
  // Chip: interpolator history and coefficients, oscillator gains, phase.
  float h[4][kLanes];
  float c[4][kLanes];
  float gain[3][kLanes];
  float gainTarget[3][kLanes];
  std::int32_t osc1Enabled[kLanes];  // -1 or 0
  std::int32_t am[kLanes];           // -1 or 0
  std::int32_t order[kLanes];        // interpolation order 0..4
  std::uint32_t phase[kLanes];
  std::uint32_t stepsDue[kLanes];
  // The oscillators' integer registers (halted: -1 or 0; mode as in Cdoc::Mode).
  std::uint32_t accumulator[3][kLanes], previous[3][kLanes], increment[3][kLanes], mask[3][kLanes], base[3][kLanes];
  std::int32_t halted[3][kLanes], mode[3][kLanes];
  // Filter: stages, current and target coefficients, smoothing.
  float s[5][kLanes];
  float g[kLanes], m[kLanes], k[kLanes];
  float targetGain[kLanes], targetPole[kLanes], targetFeedback[kLanes], smoothing[kLanes];
  // Amplifier.
  std::int32_t saturating[kLanes];  // -1 when SAT is on, else 0
  float clip[kLanes], sixClip[kLanes], curveScale[kLanes], normaliser[kLanes];
  float leftGain[kLanes], rightGain[kLanes], leftTarget[kLanes], rightTarget[kLanes], coefficient[kLanes];
  // What each lane adds to the stereo sums, per sample of the last kernel call.
  float left[kChunk][kLanes];
  float right[kChunk][kLanes];
};

// Chip-wide values the kernel needs.
struct ChipConstants {
  const std::uint8_t* rom;  // 256 KiB, addresses masked to 18 bits
  float a, oneMinusA;
  std::uint32_t phaseIncrement;  // at most 2^30: one chip step per host sample at most
};

// Runs `frames` (1..kChunk) samples of the lanes in `running` (bit n = lane n). Stops after the
// first sample at which a lane of `candidates` has a silent amplifier; `finished` then holds
// those lanes. Returns the number of samples run.
using KernelFn = int (*)(State& state, const ChipConstants& chip, unsigned running, unsigned candidates, int frames,
                         unsigned& finished);

int runBaseline(State& state, const ChipConstants& chip, unsigned running, unsigned candidates, int frames,
                unsigned& finished);
#if defined(__x86_64__) || defined(__i386__)
int runAvx2(State& state, const ChipConstants& chip, unsigned running, unsigned candidates, int frames,
            unsigned& finished);
#endif

}  // namespace korvo::lanes
