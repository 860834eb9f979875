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

#include "docInterp.h"
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
  if constexpr (C == Cmp::Lt)
    return a < b;
  else if constexpr (C == Cmp::Le)
    return a <= b;
  else if constexpr (C == Cmp::Ge)
    return a >= b;
  else if constexpr (C == Cmp::Eq)
    return a == b;
  else
    return a != b;
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

#if defined(__AVX2__)
// Unsigned a < b.
[[gnu::always_inline]] inline vi below(const vu& a, const vu& b) {
  const vi bias = KORVO_SPLAT(vi, INT32_MIN);
  return ((vi)a ^ bias) < ((vi)b ^ bias);
}

// One oscillator's chip step in every lane of `act` (running, due and not halted): its sample
// goes to s (0 for a zero byte, which halts it). Returns the lanes that wrapped on a non-zero
// byte. The ROM is read a word at a time from the word holding the byte, which keeps every read
// inside the 256 KiB.
[[gnu::always_inline]] inline vi stepOscillators(const vi& act, vu& acc, vu& prev, vi& halted, const vu& inc,
                                                 const vu& mask, const vu& base, const vi& oneShot,
                                                 const std::uint8_t* rom, vi& s) {
  const vu addr = (base + (acc >> 16)) & KORVO_SPLAT(vu, 0x3FFFFu);
  const __m256i word =
      _mm256_i32gather_epi32(reinterpret_cast<const int*>(rom), (__m256i)(addr & KORVO_SPLAT(vu, ~3u)), 1);
  const vi b = (vi)_mm256_srlv_epi32(word, (__m256i)((addr & KORVO_SPLAT(vu, 3u)) << 3)) & KORVO_SPLAT(vi, 0xFF);
  const vi zero = b == KORVO_SPLAT(vi, 0);
  const vi sounding = act & ~zero;
  const vi wrapped = sounding & below(acc, prev);
  halted = (halted | (act & zero)) & ~wrapped;
  halted |= wrapped & oneShot;
  s = sounding & (b - KORVO_SPLAT(vi, 128));
  prev = (vu)(((vi)acc & act) | ((vi)prev & ~act));
  acc = (vu)((vi)((acc + inc) & mask) & act) | (vu)((vi)acc & ~act);
  return wrapped;
}
#else
// One oscillator's chip step in one lane (reads its sample into s, which stays 0 for a zero
// byte). Returns whether it wrapped on a non-zero byte.
[[gnu::always_inline]] inline bool stepOscillator(State& st, int k, int l, const std::uint8_t* rom, std::int32_t& s) {
  const std::uint32_t acc = st.accumulator[k][l];
  const std::uint8_t b = rom[(st.base[k][l] + (acc >> 16)) & 0x3FFFFu];
  bool wrapped = false;
  if (b == 0) {
    st.halted[k][l] = -1;
  } else {
    s = b - 128;
    if (acc < st.previous[k][l]) {
      wrapped = true;
      st.halted[k][l] = st.mode[k][l] == 1 ? -1 : 0;  // one-shot
    }
  }
  st.previous[k][l] = acc;
  st.accumulator[k][l] = (acc + st.increment[k][l]) & st.mask[k][l];
  return wrapped;
}
#endif

// Order: the interpolation order of every running lane, or -1 when they differ (then each lane
// selects its own order's formulas).
template <int Order>
[[gnu::always_inline]] inline int kernel(State& st, const ChipConstants& chip, unsigned running, unsigned candidates,
                                         int frames, unsigned& finished) {
  constexpr bool kMixed = Order < 0;
  using namespace interp;
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

#if defined(__AVX2__)
  vu acc0, acc1, acc2, prev0, prev1, prev2, inc0, inc1, inc2, mask0, mask1, mask2, base0, base1, base2;
  vi halted0, halted1, halted2, mode0, mode1, mode2;
  load(acc0, st.accumulator[0]), load(acc1, st.accumulator[1]), load(acc2, st.accumulator[2]);
  load(prev0, st.previous[0]), load(prev1, st.previous[1]), load(prev2, st.previous[2]);
  load(inc0, st.increment[0]), load(inc1, st.increment[1]), load(inc2, st.increment[2]);
  load(mask0, st.mask[0]), load(mask1, st.mask[1]), load(mask2, st.mask[2]);
  load(base0, st.base[0]), load(base1, st.base[1]), load(base2, st.base[2]);
  load(halted0, st.halted[0]), load(halted1, st.halted[1]), load(halted2, st.halted[2]);
  load(mode0, st.mode[0]), load(mode1, st.mode[1]), load(mode2, st.mode[2]);
  const vi oneShot0 = mode0 == KORVO_SPLAT(vi, 1), oneShot1 = mode1 == KORVO_SPLAT(vi, 1);
  const vi oneShot2 = mode2 == KORVO_SPLAT(vi, 1), synced1 = mode1 == KORVO_SPLAT(vi, 2);
  vi runningMask;
  {
    alignas(32) std::int32_t bits[kLanes];
    for (int l = 0; l < kLanes; ++l) bits[l] = (running >> l) & 1u ? -1 : 0;
    load(runningMask, bits);
  }
#endif

  int done = frames;
  finished = 0;
  for (int j = 0; j < frames; ++j) {
    vi stepping;
    compareU<Cmp::Ne>(stepping, steps, KORVO_SPLAT(vu, 0u));
    const unsigned steppingLanes = lanesOf(stepping) & running;
    if (steppingLanes != 0) {
      vi i0, i1, i2;
#if defined(__AVX2__)
      const vi due = stepping & runningMask;
      // Oscillator 1 wrapping restarts a synced oscillator 2 before it reads this step's sample.
      const vi wrapped =
          stepOscillators(due & ~halted0, acc0, prev0, halted0, inc0, mask0, base0, oneShot0, chip.rom, i0);
      const vi restart = wrapped & synced1;
      acc1 = (vu)((vi)acc1 & ~restart), prev1 = (vu)((vi)prev1 & ~restart);
      stepOscillators(due & ~halted1, acc1, prev1, halted1, inc1, mask1, base1, oneShot1, chip.rom, i1);
      stepOscillators(due & ~halted2, acc2, prev2, halted2, inc2, mask2, base2, oneShot2, chip.rom, i2);
#else
      alignas(32) std::int32_t smp[3][kLanes] = {};
      for (unsigned b = steppingLanes; b; b &= b - 1) {
        const int l = __builtin_ctz(b);
        // Oscillator 1 wrapping restarts a synced oscillator 2 before it reads this step's sample.
        if (!st.halted[0][l] && stepOscillator(st, 0, l, chip.rom, smp[0][l]) && st.mode[1][l] == 2)
          st.accumulator[1][l] = st.previous[1][l] = 0;
        if (!st.halted[1][l]) stepOscillator(st, 1, l, chip.rom, smp[1][l]);
        if (!st.halted[2][l]) stepOscillator(st, 2, l, chip.rom, smp[2][l]);
      }
      load(i0, smp[0]), load(i1, smp[1]), load(i2, smp[2]);
#endif
      const vf x0 = __builtin_convertvector(i0, vf) * inv127;
      const vf x1 = __builtin_convertvector(i1, vf) * inv127;
      const vf x2 = __builtin_convertvector(i2, vf) * inv127;
      const vf p1 = x1 * g2, p2 = x2 * g3;
      const vf yPlain = (KORVO_SEL(en0, x0 * g1, zero) + p1) + p2;
      const vf y = KORVO_SEL(am, p1 + p2, yPlain);
      // Under AM oscillator 1's gain is neither used nor advanced.
      const vf g1n = KORVO_SEL(am, g1, a * g1 + t1);
      const vf g2n =
          KORVO_SEL(am, a * g2 + oneMinusA * (KORVO_SPLAT(vf, 0.4f) + KORVO_SPLAT(vf, 0.6f) * x0), a * g2 + t2);
      const vf g3n = a * g3 + t3;

      const vf n0 = h1, n1 = h2, n2 = h3, n3 = y;
      vf d0 = c0, d1 = c1, d2 = c2, d3 = c3;
#define KORVO_BY_ORDER(mask, a, b) (kMixed ? KORVO_SEL(mask, a, b) : (a))
      if (kMixed ? (present & 2u) != 0 : Order == 1) d0 = KORVO_BY_ORDER(ord1, n1 - n0, d0);
      if (kMixed ? (present & 4u) != 0 : Order == 2) {
        d0 = KORVO_BY_ORDER(ord2,
                            KORVO_SPLAT(vf, 2.0f) * n1 - (KORVO_SPLAT(vf, 1.5f) * n0 + KORVO_SPLAT(vf, 0.5f) * n2), d0);
        d1 = KORVO_BY_ORDER(ord2, KORVO_SPLAT(vf, 0.5f) * (n0 + n2) - n1, d1);
      }
      if (kMixed ? (present & 8u) != 0 : Order == 3) {
        const vf e = (c0 + KORVO_SPLAT(vf, 2.0f) * c1) + KORVO_SPLAT(vf, 3.0f) * c2;
        vi flat;
        compareF<Cmp::Lt>(flat, (vf)((vi)e & absMask), small);
        const vf b1 = KORVO_SPLAT(vf, 2.0f) * n1 - (KORVO_SPLAT(vf, 1.75f) * n0 + KORVO_SPLAT(vf, 0.25f) * n2);
        const vf b2 = (KORVO_SPLAT(vf, 0.75f) * n0 + KORVO_SPLAT(vf, 0.25f) * n2) - n1;
        d0 = KORVO_BY_ORDER(ord3, e, d0);
        d1 = KORVO_BY_ORDER(ord3, KORVO_SEL(flat, b1, b1 - KORVO_SPLAT(vf, 1.5f) * e), d1);
        d2 = KORVO_BY_ORDER(ord3, KORVO_SEL(flat, b2, b2 + KORVO_SPLAT(vf, 0.5f) * e), d2);
      }
      if (kMixed ? (present & 16u) != 0 : Order == 4) {
        const vf e = ((c0 + KORVO_SPLAT(vf, 2.0f) * c1) + KORVO_SPLAT(vf, 3.0f) * c2) + KORVO_SPLAT(vf, 4.0f) * c3;
        vi flat;
        compareF<Cmp::Lt>(flat, (vf)((vi)e & absMask), small);
        const vf b1 = (KORVO_SPLAT(vf, 3.0f) * n1 - (KORVO_SPLAT(vf, k85_36) * n0 + KORVO_SPLAT(vf, 0.75f) * n2)) +
                      n3 * KORVO_SPLAT(vf, k1_9);
        const vf b2 = ((KORVO_SPLAT(vf, k5_3) * n0 + n2) - KORVO_SPLAT(vf, 2.5f) * n1) - n3 * KORVO_SPLAT(vf, k1_6);
        const vf b3 = (KORVO_SPLAT(vf, 0.5f) * n1 - (KORVO_SPLAT(vf, k11_36) * n0 + KORVO_SPLAT(vf, 0.25f) * n2)) +
                      n3 * KORVO_SPLAT(vf, k1_18);
        d0 = KORVO_BY_ORDER(ord4, e, d0);
        d1 = KORVO_BY_ORDER(ord4, KORVO_SEL(flat, b1, b1 - KORVO_SPLAT(vf, k11_6) * e), d1);
        d2 = KORVO_BY_ORDER(ord4, KORVO_SEL(flat, b2, b2 + e), d2);
        d3 = KORVO_BY_ORDER(ord4, KORVO_SEL(flat, b3, b3 - e * KORVO_SPLAT(vf, k1_6)), d3);
      }
#undef KORVO_BY_ORDER
      if (steppingLanes == running) {
        // Every running lane steps (the voices share their phase unless one was held back).
        g1 = g1n, g2 = g2n, g3 = g3n;
        h0 = n0, h1 = n1, h2 = n2, h3 = n3;
        c0 = d0, c1 = d1, c2 = d2, c3 = d3;
      } else {
        g1 = KORVO_SEL(stepping, g1n, g1), g2 = KORVO_SEL(stepping, g2n, g2), g3 = KORVO_SEL(stepping, g3n, g3);
        h0 = KORVO_SEL(stepping, n0, h0), h1 = KORVO_SEL(stepping, n1, h1);
        h2 = KORVO_SEL(stepping, n2, h2), h3 = KORVO_SEL(stepping, n3, h3);
        c0 = KORVO_SEL(stepping, d0, c0), c1 = KORVO_SEL(stepping, d1, c1);
        c2 = KORVO_SEL(stepping, d2, c2), c3 = KORVO_SEL(stepping, d3, c3);
      }
    }

    // Interpolation: each order's polynomial is the one below it plus one more term.
    const vf t = __builtin_convertvector((vi)phase, vf) * KORVO_SPLAT(vf, kPhaseScale);
    vf x = h0;
    const vf tt2 = t * t;
    const vf tt3 = tt2 * t;
    if constexpr (kMixed) {
      x = KORVO_SEL(ge1, x + c0 * t, x);
      x = KORVO_SEL(ge2, x + c1 * tt2, x);
      x = KORVO_SEL(ge3, x + c2 * tt3, x);
      x = KORVO_SEL(ge4, x + c3 * (tt3 * t), x);
    } else {
      if constexpr (Order >= 1) x = x + c0 * t;
      if constexpr (Order >= 2) x = x + c1 * tt2;
      if constexpr (Order >= 3) x = x + c2 * tt3;
      if constexpr (Order >= 4) x = x + c3 * (tt3 * t);
    }
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
#if defined(__AVX2__)
  store(st.accumulator[0], acc0), store(st.accumulator[1], acc1), store(st.accumulator[2], acc2);
  store(st.previous[0], prev0), store(st.previous[1], prev1), store(st.previous[2], prev2);
  store(st.halted[0], halted0), store(st.halted[1], halted1), store(st.halted[2], halted2);
#endif
  return done;
}

}  // namespace

int KORVO_LANES_ENTRY(State& st, const ChipConstants& chip, unsigned running, unsigned candidates, int frames,
                      unsigned& finished) {
  int order = -1;
  for (unsigned b = running; b; b &= b - 1) {
    const int o = st.order[__builtin_ctz(b)];
    if (order == -1) {
      order = o;
    } else if (order != o) {
      order = -1;
      break;
    }
  }
  switch (order) {
    case 0: return kernel<0>(st, chip, running, candidates, frames, finished);
    case 1: return kernel<1>(st, chip, running, candidates, frames, finished);
    case 2: return kernel<2>(st, chip, running, candidates, frames, finished);
    case 3: return kernel<3>(st, chip, running, candidates, frames, finished);
    case 4: return kernel<4>(st, chip, running, candidates, frames, finished);
    default: return kernel<-1>(st, chip, running, candidates, frames, finished);
  }
}

#undef KORVO_SPLAT
#undef KORVO_SEL

}  // namespace korvo::lanes
