// The body of the lane render's kernel: the chip's chip step and interpolator, the filter and the
// amplifier of up to eight voices, one voice per vector lane. Included by exactly one translation
// unit per instruction set (voiceLanes.cpp for the baseline, voiceLanesAvx2.cpp for AVX2), each
// of which names KORVO_LANES_ENTRY. Every lane performs the operations of the one-voice code in
// the same order and with the same constants, so each lane's result is that code's result bit
// for bit (the build contracts no multiply-adds); where the one-voice code branches per voice
// (interpolation order, AM, saturation, a chip step due or not) both sides are computed and the
// lane's own is selected.
//
// Generic vector types only: 8 floats are one AVX register where the unit is built for AVX and
// a pair of SSE registers otherwise.

#include <cstdint>

#include "voiceLanesState.h"

#if defined(__AVX__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#ifndef KORVO_LANES_ENTRY
#error "name the kernel's entry point (KORVO_LANES_ENTRY) before including this file"
#endif

namespace korvo::lanes {
namespace {

typedef float vf __attribute__((vector_size(32)));
typedef std::int32_t vi __attribute__((vector_size(32)));
typedef std::uint32_t vu __attribute__((vector_size(32)));

#define KORVO_SPLAT(T, x) (T{(x), (x), (x), (x), (x), (x), (x), (x)})
// Lane-wise m ? a : b for a mask of all-ones or all-zero lanes.
#define KORVO_SEL(m, a, b) ((vf)(((m) & (vi)(a)) | (~(m) & (vi)(b))))

template <class V, class T>
[[gnu::always_inline]] inline void load(V& v, const T* p) {
  __builtin_memcpy(&v, p, sizeof v);
}
template <class V, class T>
[[gnu::always_inline]] inline void store(T* p, const V& v) {
  __builtin_memcpy(p, &v, sizeof v);
}

typedef float vf4 __attribute__((vector_size(16)));
typedef std::int32_t vi4 __attribute__((vector_size(16)));
typedef std::uint32_t vu4 __attribute__((vector_size(16)));

enum class Cmp { Lt, Le, Ge, Eq, Ne };

template <Cmp C, class V>
[[gnu::always_inline]] inline auto apply(const V& a, const V& b) {
  if constexpr (C == Cmp::Lt) return a < b;
  else if constexpr (C == Cmp::Le) return a <= b;
  else if constexpr (C == Cmp::Ge) return a >= b;
  else if constexpr (C == Cmp::Eq) return a == b;
  else return a != b;
}

// r = a op b lane by lane (all-ones or zero). Without AVX the compiler would compare 8-lane
// vectors element by element, so there they are compared as two halves of 4.
template <Cmp C, class V8, class V4>
[[gnu::always_inline]] inline void compare(vi& r, const V8& a, const V8& b) {
#if defined(__AVX__) || !defined(__SSE2__)
  r = (vi)apply<C>(a, b);
#else
  V4 a0, a1, b0, b1;
  __builtin_memcpy(&a0, &a, sizeof a0);
  __builtin_memcpy(&a1, reinterpret_cast<const char*>(&a) + sizeof a0, sizeof a1);
  __builtin_memcpy(&b0, &b, sizeof b0);
  __builtin_memcpy(&b1, reinterpret_cast<const char*>(&b) + sizeof b0, sizeof b1);
  const vi4 r0 = (vi4)apply<C>(a0, b0), r1 = (vi4)apply<C>(a1, b1);
  __builtin_memcpy(&r, &r0, sizeof r0);
  __builtin_memcpy(reinterpret_cast<char*>(&r) + sizeof r0, &r1, sizeof r1);
#endif
}
template <Cmp C>
[[gnu::always_inline]] inline void compareF(vi& r, const vf& a, const vf& b) {
  compare<C, vf, vf4>(r, a, b);
}
template <Cmp C>
[[gnu::always_inline]] inline void compareI(vi& r, const vi& a, const vi& b) {
  compare<C, vi, vi4>(r, a, b);
}
template <Cmp C>
[[gnu::always_inline]] inline void compareU(vi& r, const vu& a, const vu& b) {
  compare<C, vu, vu4>(r, a, b);
}

[[gnu::always_inline]] inline unsigned lanesOf(const vi& m) {
#if defined(__AVX__)
  __m256 x;
  __builtin_memcpy(&x, &m, sizeof x);
  return static_cast<unsigned>(_mm256_movemask_ps(x));
#elif defined(__SSE2__)
  __m128 lo, hi;
  __builtin_memcpy(&lo, &m, sizeof lo);
  __builtin_memcpy(&hi, reinterpret_cast<const char*>(&m) + sizeof lo, sizeof hi);
  return static_cast<unsigned>(_mm_movemask_ps(lo)) | static_cast<unsigned>(_mm_movemask_ps(hi)) << 4;
#else
  unsigned bits = 0;
  for (int l = 0; l < kLanes; ++l)
    if (m[l]) bits |= 1u << l;
  return bits;
#endif
}

// One oscillator's chip step (reads its sample into s, which stays 0 for a zero byte). Returns
// whether it wrapped on a non-zero byte.
[[gnu::always_inline]] inline bool stepOscillator(OscRegs& r, const std::uint8_t* rom, std::int32_t& s) {
  const std::uint32_t acc = r.accumulator;
  const std::uint8_t b = rom[(r.base + (acc >> 16)) & 0x3FFFFu];
  bool wrapped = false;
  if (b == 0) {
    r.halted = 1;
  } else {
    s = b - 128;
    if (acc < r.previous) {
      wrapped = true;
      r.halted = r.mode == 1;  // one-shot
    }
  }
  r.previous = acc;
  r.accumulator = (acc + r.increment) & r.mask;
  return wrapped;
}

}  // namespace

int KORVO_LANES_ENTRY(State& st, const ChipConstants& chip, unsigned running, unsigned candidates, int frames,
                      unsigned& finished) {
  constexpr float kInv127 = 1.0f / 127.0f;
  constexpr float kPhaseScale = 1.0f / 1073741824.0f;
  constexpr float k85_36 = 85.0f / 36.0f;
  constexpr float k11_6 = 11.0f / 6.0f;
  constexpr float k5_3 = 5.0f / 3.0f;
  constexpr float k11_36 = 11.0f / 36.0f;
  constexpr float k1_9 = 1.0f / 9.0f;
  constexpr float k1_6 = 1.0f / 6.0f;
  constexpr float k1_18 = 1.0f / 18.0f;
  constexpr float kSilence = 0.0005f;

  vf h0, h1, h2, h3, c0, c1, c2, c3, g1, g2, g3, t1, t2, t3;
  load(h0, st.h[0]), load(h1, st.h[1]), load(h2, st.h[2]), load(h3, st.h[3]);
  load(c0, st.c[0]), load(c1, st.c[1]), load(c2, st.c[2]), load(c3, st.c[3]);
  load(g1, st.gain[0]), load(g2, st.gain[1]), load(g3, st.gain[2]);
  load(t1, st.gainTarget[0]), load(t2, st.gainTarget[1]), load(t3, st.gainTarget[2]);
  vi en0, am, ord;
  load(en0, st.osc1Enabled), load(am, st.am), load(ord, st.order);
  vu phase, steps;
  load(phase, st.phase), load(steps, st.stepsDue);
  vf s0, s1, s2, s3, s4, fg, fm, fk, ftg, ftm, ftk, fo;
  load(s0, st.s[0]), load(s1, st.s[1]), load(s2, st.s[2]), load(s3, st.s[3]), load(s4, st.s[4]);
  load(fg, st.g), load(fm, st.m), load(fk, st.k);
  load(ftg, st.targetGain), load(ftm, st.targetPole), load(ftk, st.targetFeedback), load(fo, st.smoothing);
  vi satOn;
  vf clip, six, scale, norm, lg, rg, lt, rt, coef;
  load(satOn, st.saturating), load(clip, st.clip), load(six, st.sixClip), load(scale, st.curveScale);
  load(norm, st.normaliser), load(lg, st.leftGain), load(rg, st.rightGain), load(lt, st.leftTarget);
  load(rt, st.rightTarget), load(coef, st.coefficient);

  vi ord1, ord2, ord3, ord4, ge1, ge2, ge3, ge4;
  compareI<Cmp::Eq>(ord1, ord, KORVO_SPLAT(vi, 1)), compareI<Cmp::Eq>(ord2, ord, KORVO_SPLAT(vi, 2));
  compareI<Cmp::Eq>(ord3, ord, KORVO_SPLAT(vi, 3)), compareI<Cmp::Eq>(ord4, ord, KORVO_SPLAT(vi, 4));
  compareI<Cmp::Ge>(ge1, ord, KORVO_SPLAT(vi, 1)), compareI<Cmp::Ge>(ge2, ord, KORVO_SPLAT(vi, 2));
  compareI<Cmp::Ge>(ge3, ord, KORVO_SPLAT(vi, 3)), compareI<Cmp::Ge>(ge4, ord, KORVO_SPLAT(vi, 4));
  // The coefficient formulas of orders no running lane uses are skipped.
  unsigned present = 0;
  for (unsigned b = running; b; b &= b - 1) present |= 1u << (st.order[__builtin_ctz(b)] & 7);

  const vf a = KORVO_SPLAT(vf, chip.a), oneMinusA = KORVO_SPLAT(vf, chip.oneMinusA);
  const vf zero = KORVO_SPLAT(vf, 0.0f), inv127 = KORVO_SPLAT(vf, kInv127);
  const vu increment = KORVO_SPLAT(vu, chip.phaseIncrement), phaseMask = KORVO_SPLAT(vu, (1u << 30) - 1u);
  const vi absMask = KORVO_SPLAT(vi, 0x7FFFFFFF);
  const vf silence = KORVO_SPLAT(vf, kSilence), small = KORVO_SPLAT(vf, 0.001f);
  const vf plusLimit = KORVO_SPLAT(vf, 1.6f), minusLimit = KORVO_SPLAT(vf, -1.6f);

  int done = frames;
  finished = 0;
  for (int j = 0; j < frames; ++j) {
    vi stepping;
    compareU<Cmp::Ne>(stepping, steps, KORVO_SPLAT(vu, 0u));
    const unsigned steppingLanes = lanesOf(stepping) & running;
    if (steppingLanes != 0) {
      alignas(32) std::int32_t smp[3][kLanes] = {};
      for (unsigned b = steppingLanes; b; b &= b - 1) {
        const int l = __builtin_ctz(b);
        OscRegs* o = st.osc[l];
        // Oscillator 1 wrapping restarts a synced oscillator 2 before it reads this step's sample.
        if (!o[0].halted && stepOscillator(o[0], chip.rom, smp[0][l]) && o[1].mode == 2)
          o[1].accumulator = o[1].previous = 0;
        if (!o[1].halted) stepOscillator(o[1], chip.rom, smp[1][l]);
        if (!o[2].halted) stepOscillator(o[2], chip.rom, smp[2][l]);
      }
      vi i0, i1, i2;
      load(i0, smp[0]), load(i1, smp[1]), load(i2, smp[2]);
      const vf x0 = __builtin_convertvector(i0, vf) * inv127;
      const vf x1 = __builtin_convertvector(i1, vf) * inv127;
      const vf x2 = __builtin_convertvector(i2, vf) * inv127;
      const vf p1 = x1 * g2, p2 = x2 * g3;
      const vf yPlain = (KORVO_SEL(en0, x0 * g1, zero) + p1) + p2;
      const vf y = KORVO_SEL(am, p1 + p2, yPlain);
      // Under AM oscillator 1's gain is neither used nor advanced.
      const vf g1n = KORVO_SEL(am, g1, a * g1 + t1);
      const vf g2n = KORVO_SEL(am, a * g2 + oneMinusA * (KORVO_SPLAT(vf, 0.4f) + KORVO_SPLAT(vf, 0.6f) * x0), a * g2 + t2);
      const vf g3n = a * g3 + t3;

      const vf n0 = h1, n1 = h2, n2 = h3, n3 = y;
      vf d0 = c0, d1 = c1, d2 = c2, d3 = c3;
      if (present & 2u) d0 = KORVO_SEL(ord1, n1 - n0, d0);
      if (present & 4u) {
        d0 = KORVO_SEL(ord2, KORVO_SPLAT(vf, 2.0f) * n1 - (KORVO_SPLAT(vf, 1.5f) * n0 + KORVO_SPLAT(vf, 0.5f) * n2), d0);
        d1 = KORVO_SEL(ord2, KORVO_SPLAT(vf, 0.5f) * (n0 + n2) - n1, d1);
      }
      if (present & 8u) {
        const vf e = (c0 + KORVO_SPLAT(vf, 2.0f) * c1) + KORVO_SPLAT(vf, 3.0f) * c2;
        vi flat;
        compareF<Cmp::Lt>(flat, (vf)((vi)e & absMask), small);
        const vf b1 = KORVO_SPLAT(vf, 2.0f) * n1 - (KORVO_SPLAT(vf, 1.75f) * n0 + KORVO_SPLAT(vf, 0.25f) * n2);
        const vf b2 = (KORVO_SPLAT(vf, 0.75f) * n0 + KORVO_SPLAT(vf, 0.25f) * n2) - n1;
        d0 = KORVO_SEL(ord3, e, d0);
        d1 = KORVO_SEL(ord3, KORVO_SEL(flat, b1, b1 - KORVO_SPLAT(vf, 1.5f) * e), d1);
        d2 = KORVO_SEL(ord3, KORVO_SEL(flat, b2, b2 + KORVO_SPLAT(vf, 0.5f) * e), d2);
      }
      if (present & 16u) {
        const vf e = ((c0 + KORVO_SPLAT(vf, 2.0f) * c1) + KORVO_SPLAT(vf, 3.0f) * c2) + KORVO_SPLAT(vf, 4.0f) * c3;
        vi flat;
        compareF<Cmp::Lt>(flat, (vf)((vi)e & absMask), small);
        const vf b1 = (KORVO_SPLAT(vf, 3.0f) * n1 - (KORVO_SPLAT(vf, k85_36) * n0 + KORVO_SPLAT(vf, 0.75f) * n2)) +
                      n3 * KORVO_SPLAT(vf, k1_9);
        const vf b2 = ((KORVO_SPLAT(vf, k5_3) * n0 + n2) - KORVO_SPLAT(vf, 2.5f) * n1) - n3 * KORVO_SPLAT(vf, k1_6);
        const vf b3 = (KORVO_SPLAT(vf, 0.5f) * n1 - (KORVO_SPLAT(vf, k11_36) * n0 + KORVO_SPLAT(vf, 0.25f) * n2)) +
                      n3 * KORVO_SPLAT(vf, k1_18);
        d0 = KORVO_SEL(ord4, e, d0);
        d1 = KORVO_SEL(ord4, KORVO_SEL(flat, b1, b1 - KORVO_SPLAT(vf, k11_6) * e), d1);
        d2 = KORVO_SEL(ord4, KORVO_SEL(flat, b2, b2 + e), d2);
        d3 = KORVO_SEL(ord4, KORVO_SEL(flat, b3, b3 - e * KORVO_SPLAT(vf, k1_6)), d3);
      }
      g1 = KORVO_SEL(stepping, g1n, g1), g2 = KORVO_SEL(stepping, g2n, g2), g3 = KORVO_SEL(stepping, g3n, g3);
      h0 = KORVO_SEL(stepping, n0, h0), h1 = KORVO_SEL(stepping, n1, h1);
      h2 = KORVO_SEL(stepping, n2, h2), h3 = KORVO_SEL(stepping, n3, h3);
      c0 = KORVO_SEL(stepping, d0, c0), c1 = KORVO_SEL(stepping, d1, c1);
      c2 = KORVO_SEL(stepping, d2, c2), c3 = KORVO_SEL(stepping, d3, c3);
    }

    // Interpolation: each order's polynomial is the one below it plus one more term.
    const vf t = __builtin_convertvector((vi)phase, vf) * KORVO_SPLAT(vf, kPhaseScale);
    vf x = h0;
    x = KORVO_SEL(ge1, x + c0 * t, x);
    const vf tt2 = t * t;
    x = KORVO_SEL(ge2, x + c1 * tt2, x);
    const vf tt3 = tt2 * t;
    x = KORVO_SEL(ge3, x + c2 * tt3, x);
    x = KORVO_SEL(ge4, x + c3 * (tt3 * t), x);
    const vu next = phase + increment;
    steps = next >> 30;
    phase = next & phaseMask;

    // Filter.
    const vf u0 = x - fk * s4;
    const vf u1 = fg * (s0 + u0) - fm * s1;
    const vf u2 = fg * (s1 + u1) - fm * s2;
    const vf u3 = fg * (s2 + u2) - fm * s3;
    const vf u4 = fg * (s3 + u3) - fm * s4;
    s0 = u0, s1 = u1, s2 = u2, s3 = u3, s4 = u4;
    fg = fg * fo + ftg;
    fm = fm * fo + ftm;
    fk = fk * fo + ftk;

    // Amplifier.
    const vf f = u4 * scale;
    const vf curve = (u4 + (f - f * f * f * KORVO_SPLAT(vf, k1_6)) * six) * norm;
    vi below, above;
    compareF<Cmp::Le>(below, u4, -clip), compareF<Cmp::Ge>(above, u4, clip);
    const vf limited = KORVO_SEL(below, minusLimit, KORVO_SEL(above, plusLimit, curve));
    const vf out = KORVO_SEL(satOn, limited, u4);
    lg = lg * coef + lt;
    rg = rg * coef + rt;
    store(st.left[j], out * lg);
    store(st.right[j], out * rg);

    if (candidates != 0) {
      vi quietLeft, quietRight;
      compareF<Cmp::Lt>(quietLeft, (vf)((vi)lg & absMask), silence);
      compareF<Cmp::Lt>(quietRight, (vf)((vi)rg & absMask), silence);
      const unsigned silent = lanesOf(quietLeft & quietRight) & candidates;
      if (silent != 0) {
        finished = silent;
        done = j + 1;
        break;
      }
    }
  }

  store(st.h[0], h0), store(st.h[1], h1), store(st.h[2], h2), store(st.h[3], h3);
  store(st.c[0], c0), store(st.c[1], c1), store(st.c[2], c2), store(st.c[3], c3);
  store(st.gain[0], g1), store(st.gain[1], g2), store(st.gain[2], g3);
  store(st.phase, phase), store(st.stepsDue, steps);
  store(st.s[0], s0), store(st.s[1], s1), store(st.s[2], s2), store(st.s[3], s3), store(st.s[4], s4);
  store(st.g, fg), store(st.m, fm), store(st.k, fk);
  store(st.leftGain, lg), store(st.rightGain, rg);
  return done;
}

#undef KORVO_SPLAT
#undef KORVO_SEL

}  // namespace korvo::lanes
