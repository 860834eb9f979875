#include "mod_doc.h"

#include <cmath>
#include <numbers>

#include "docInterp.h"
#include "docPitch.h"
#include "docWaveParams.h"
#include "renderMath.h"
#include "transTables.h"

namespace korvo {

namespace {

constexpr std::uint32_t kPhaseOne = 1u << 30;
constexpr std::uint32_t kPhaseMask = kPhaseOne - 1;
constexpr std::uint32_t kRomMask = 0x3FFFF;
// Host rates far below anything a host uses would need more chip steps per host sample than
// this; they run slow instead of stalling the render.
constexpr std::uint64_t kMaxPhaseIncrement = std::uint64_t{kPhaseOne} * 64;
using interp::kInv127;

// Registers taken from a placed control byte.
struct PlacedRegisters {
  std::int32_t bankBit1 = 0;
  std::int32_t bankBit0 = 0;
  std::int32_t tableExponent = 8;
  std::int32_t resolution = 0;
};

PlacedRegisters decodeControl(std::int32_t r) { return {(r >> 6) & 1, (r >> 7) & 1, ((r >> 3) & 7) + 8, r & 7}; }

void deriveRegisters(Cdoc::ChipRegisters& reg) {
  reg.tableSize = 1 << reg.tableExponent;
  reg.shift = reg.tableExponent - 1 - reg.resolution;
  reg.increment = static_cast<std::uint32_t>(reg.frequencyWord) << reg.shift;
  reg.baseAddress = reg.bank * 65536 + reg.page * 256;
  reg.accumulatorMask = static_cast<std::int32_t>((static_cast<std::uint32_t>(reg.tableSize) << 16) - 1u);
}

std::int32_t pitchOf(std::int32_t placedSemitones, std::int32_t fine, std::int32_t entryFine) {
  return clampWide(std::int64_t{placedSemitones} * 256 + std::int64_t{fine} * 8 + entryFine, INT32_MIN / 2,
                   INT32_MAX / 2);
}

}  // namespace

Cdoc::Cdoc(int voiceCount, float hostRate)
    : voiceCount_(voiceCount > kMaxVoices ? kMaxVoices : (voiceCount < 0 ? 0 : voiceCount)), rom_(kRomSize, 0) {
  (void)frequencyTable();
  (void)levelCurve();
  a_ = static_cast<float>(std::pow(0.01, 1.0 / (1.0 + 0.0003 * double{kChipRate})));
  oneMinusA_ = 1.0f - a_;
  setHostRate(hostRate_);
  setHostRate(hostRate);
}

void Cdoc::loadRom(const std::uint8_t* data, std::size_t size) {
  const std::size_t n = data == nullptr ? 0 : (size < kRomSize ? size : kRomSize);
  for (std::size_t i = 0; i < n; ++i) rom_[i] = data[i];
  for (std::size_t i = n; i < kRomSize; ++i) rom_[i] = 0;
}

void Cdoc::setHostRate(float hostRate) {
  if (!(hostRate > 0.0f) || !std::isfinite(hostRate)) return;
  hostRate_ = hostRate;
  const double inc = std::nearbyint(1073741824.0 / double{hostRate} * double{kChipRate});
  phaseIncrement_ =
      inc < 1.0 ? 1 : (inc > double(kMaxPhaseIncrement) ? kMaxPhaseIncrement : static_cast<std::uint64_t>(inc));
  designBandLimit();
}

namespace {
// The modified Bessel function I0 by its power series (converges fast for the window's range).
double besselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 50; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
    if (term < 1e-12 * sum) break;
  }
  return sum;
}
}  // namespace

// Below the chip rate the host cannot carry what the chip makes between the host's Nyquist
// frequency and its own; resampled as it is, that folds down onto the notes (inharmonic partials
// that pull bright waves off pitch). A Kaiser-windowed sinc at the chip rate takes it out first:
// flat to 0.8 of the host's Nyquist frequency, 60 dB down from the Nyquist frequency on (less
// where a host rate far below the chip rate would need more than kMaxBandTaps taps).
void Cdoc::designBandLimit() {
  bandTaps_ = 0;
  bandCoefficients_.fill(0.0f);
  for (Voice& v : voices_) {
    v.band.fill(0.0f);
    v.bandPos = 0;
  }
  if (!(double{hostRate_} < double{kChipRate})) return;
  constexpr double kStopDb = 60.0;
  const double nyquist = 0.5 * double{hostRate_};
  const double cutoff = 0.9 * nyquist / double{kChipRate};      // -6 dB, in cycles per chip sample
  const double transition = 0.2 * nyquist / double{kChipRate};  // pass edge to stop edge
  int taps = static_cast<int>(std::ceil((kStopDb - 8.0) / (2.285 * 2.0 * std::numbers::pi * transition))) + 1;
  taps |= 1;
  if (taps > kMaxBandTaps) taps = kMaxBandTaps;
  const double beta = 0.1102 * (kStopDb - 8.7);
  const double middle = 0.5 * (taps - 1);
  std::array<double, kMaxBandTaps> h{};
  double sum = 0.0;
  for (int n = 0; n < taps; ++n) {
    const double x = n - middle;
    const double sinc =
        x == 0.0 ? 2.0 * cutoff : std::sin(2.0 * std::numbers::pi * cutoff * x) / (std::numbers::pi * x);
    const double r = x / middle;
    h[static_cast<std::size_t>(n)] = sinc * besselI0(beta * std::sqrt(1.0 - r * r)) / besselI0(beta);
    sum += h[static_cast<std::size_t>(n)];
  }
  for (int n = 0; n < taps; ++n)
    bandCoefficients_[static_cast<std::size_t>(n)] = static_cast<float>(h[static_cast<std::size_t>(n)] / sum);
  bandTaps_ = taps;
}

float Cdoc::bandLimit(Voice& v, float y) const {
  const int taps = bandTaps_;
  int pos = v.bandPos + 1;
  if (pos >= taps) pos = 0;
  v.bandPos = pos;
  v.band[static_cast<std::size_t>(pos)] = y;
  v.band[static_cast<std::size_t>(pos + taps)] = y;
  // The oldest of the latest `taps` samples is at pos + 1; the filter is symmetric, so the
  // direction of the sum does not matter.
  const float* x = v.band.data() + pos + 1;
  float acc = 0.0f;
  for (int n = 0; n < taps; ++n) acc += bandCoefficients_[static_cast<std::size_t>(n)] * x[n];
  return acc;
}

void Cdoc::setGainTarget(ChipRegisters& r, std::int32_t volume) const {
  r.chipVolume = levelCurve()[static_cast<std::size_t>(2 * volume)];
  r.gainTarget = static_cast<float>(r.chipVolume) / 255.0f * oneMinusA_;
}

void Cdoc::startVoice(int voice, int note, bool amBug, bool restart, bool am, bool sync,
                      const std::array<OscSetup, 3>& setup) {
  if (!validVoice(voice)) return;
  Voice& v = voiceAt(voice);
  v.am = am;
  bool osc1Configured = false;
  std::int32_t osc1Control = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    Oscillator& o = v.osc[k];
    const OscSetup& s = setup[k];
    ChipRegisters& reg = o.reg;
    const bool configured = s.enabled || (k == 0 && setup[1].enabled && (am || sync));
    if (!configured) {
      o.enabled = o.running = false;
      o.pitch = o.pitchWithModulation = o.pitchModulation = 0;
      o.baseVolume = o.currentVolume = o.volumeModulation = 0;
      reg.chipVolume = 0;
      reg.gainTarget = 0.0f;
      reg.halted = true;
      continue;
    }
    o.wave = s.wave;
    o.transpose = clampWide(std::int64_t{12} * s.octave + s.semitone, -100000, 100000);
    o.fine = s.fine;
    const std::int32_t key = clampWide(std::int64_t{note} + o.transpose, -100000, 100000);
    const WaveEntry entry = waveEntryFor(s.wave, key);
    const PlacedPitch placed = placeOctave(key + entry.semitone, entry.control);
    o.pitch = pitchOf(placed.semitones, o.fine, entry.fine);

    const bool oneShotWave = s.wave >= kFirstOneShotWave;
    bool forceRestart = false;
    Mode mode = oneShotWave ? kOneShot : kFreeRunning;
    if (k == 1 && sync) {
      mode = kSynced;
    } else if (k == 1 && am) {
      mode = kFreeRunning;
      forceRestart = oneShotWave;
    } else {
      forceRestart = oneShotWave;
    }
    o.baseVolume = clampInt(2 * clampInt(s.level, -1000, 1000), 0, 127);

    const PlacedRegisters pr = decodeControl(placed.control);
    reg.page = entry.page;
    reg.frequencyWord = pitchToFrequencyWord(o.pitch);
    reg.mode = mode;
    reg.bankLink = amBug && am && k == 1;
    const std::int32_t bit0 = reg.bankLink ? (osc1Configured ? decodeControl(osc1Control).bankBit0 : 0) : pr.bankBit0;
    reg.bank = pr.bankBit1 << 1 | bit0;
    reg.tableExponent = pr.tableExponent;
    reg.resolution = pr.resolution;
    if (restart || forceRestart) reg.accumulator = reg.previousAccumulator = 0;
    setGainTarget(reg, o.baseVolume);
    reg.halted = false;
    if (k == 0) {
      osc1Configured = true;
      osc1Control = placed.control;
      ChipRegisters& r2 = v.osc[1].reg;
      if (r2.mode == kSynced) r2.accumulator = r2.previousAccumulator = 0;
    }
    deriveRegisters(reg);
    o.enabled = s.enabled;
    o.running = true;
    o.pitchWithModulation = o.pitch;
    o.pitchModulation = 0;
    o.currentVolume = o.baseVolume;
    o.volumeModulation = 0;
  }
  updateInterpolationOrder(voice);
}

void Cdoc::retuneVoice(int voice, int note, int extraFine) {
  if (!validVoice(voice)) return;
  for (Oscillator& o : voiceAt(voice).osc) {
    if (!o.running) continue;
    ChipRegisters& reg = o.reg;
    const std::int32_t key = clampWide(std::int64_t{note} + o.transpose, -100000, 100000);
    const WaveEntry entry = waveEntryFor(o.wave, key);
    const PlacedPitch placed = placeOctave(key + entry.semitone, entry.control);
    o.pitch = pitchOf(placed.semitones, clampWide(std::int64_t{o.fine} + extraFine, -1000000, 1000000), entry.fine);
    const PlacedRegisters pr = decodeControl(placed.control);
    reg.resolution = pr.resolution;
    reg.tableExponent = pr.tableExponent;
    reg.bank = pr.bankBit1 << 1 | (reg.bank & 1);
    o.pitchWithModulation = clampWide(std::int64_t{o.pitch} + o.pitchModulation, INT32_MIN, INT32_MAX);
    // The new frequency word goes into the increment at once: a retune without a later change
    // of pitch modulation must still sound at the new pitch.
    reg.frequencyWord = pitchToFrequencyWord(o.pitchWithModulation);
    deriveRegisters(reg);
  }
}

void Cdoc::haltVoice(int voice) {
  if (!validVoice(voice)) return;
  for (Oscillator& o : voiceAt(voice).osc) o.reg.halted = true;
}

void Cdoc::modulateOscillator(int voice, int oscillator, int volumeModulation, int pitchModulation) {
  if (!validVoice(voice) || oscillator < 0 || oscillator > 2) return;
  Oscillator& o = voiceAt(voice).osc[static_cast<std::size_t>(oscillator)];
  ChipRegisters& reg = o.reg;
  if (pitchModulation != o.pitchModulation) {
    o.pitchModulation = pitchModulation;
    o.pitchWithModulation = clampWide(std::int64_t{o.pitch} + pitchModulation, 0, INT32_MAX);
    reg.frequencyWord = pitchToFrequencyWord(o.pitchWithModulation);
    reg.increment = static_cast<std::uint32_t>(reg.frequencyWord) << reg.shift;
  }
  if (volumeModulation != o.volumeModulation) {
    o.volumeModulation = volumeModulation;
    o.currentVolume = clampWide(std::int64_t{o.baseVolume} + volumeModulation, 0, 127);
    setGainTarget(reg, o.currentVolume);
  }
}

void Cdoc::updateInterpolationOrder(int voice) {
  if (!validVoice(voice)) return;
  Voice& v = voiceAt(voice);
  std::uint32_t m = 0;
  for (const Oscillator& o : v.osc)
    if (o.enabled && o.reg.increment > m) m = o.reg.increment;
  // The thresholds in wave samples per chip step (increment / 65536): 8.8, 24.9 and 105.6; the
  // faster the tables are read, the higher the order of the polynomial between chip steps.
  constexpr std::uint32_t kOrder2From = 576717, kOrder3From = 1631846, kOrder4From = 6918636;
  v.order = m < kOrder2From ? 1 : (m < kOrder3From ? 2 : (m < kOrder4From ? 3 : 4));
}

namespace {

// A running oscillator's step: reads its sample into `s` and advances. A zero byte halts it,
// a wrap ends a one-shot. Returns true when it wrapped on a non-zero byte (what syncs
// oscillator 2 to oscillator 1).
inline bool stepOscillator(Cdoc::ChipRegisters& r, const std::uint8_t* rom, std::int32_t& s) {
  const std::uint32_t acc = r.accumulator;
  const std::uint8_t b = rom[(static_cast<std::uint32_t>(r.baseAddress) + (acc >> 16)) & kRomMask];
  bool wrapped = false;
  if (b == 0) {
    r.halted = true;
  } else {
    s = b - 128;
    if (acc < r.previousAccumulator) {
      wrapped = true;
      r.halted = r.mode == Cdoc::kOneShot;
    }
  }
  r.previousAccumulator = acc;
  r.accumulator = (acc + r.increment) & static_cast<std::uint32_t>(r.accumulatorMask);
  return wrapped;
}

}  // namespace

template <int Order, bool BandLimit>
inline void Cdoc::chipStep(Voice& v) {
  ChipRegisters& r1 = v.osc[0].reg;
  ChipRegisters& r2 = v.osc[1].reg;
  ChipRegisters& r3 = v.osc[2].reg;
  const std::uint8_t* const rom = rom_.data();
  std::int32_t s0 = 0, s1 = 0, s2 = 0;
  // Oscillator 1 wrapping restarts a synced oscillator 2 before it reads this step's sample.
  if (!r1.halted && stepOscillator(r1, rom, s0) && r2.mode == kSynced) r2.accumulator = r2.previousAccumulator = 0;
  if (!r2.halted) stepOscillator(r2, rom, s1);
  if (!r3.halted) stepOscillator(r3, rom, s2);

  float y;
  if (!v.am) {
    y = (v.osc[0].enabled ? static_cast<float>(s0) * kInv127 * r1.gain : 0.0f) +
        static_cast<float>(s1) * kInv127 * r2.gain + static_cast<float>(s2) * kInv127 * r3.gain;
    r1.gain = a_ * r1.gain + r1.gainTarget;
    r2.gain = a_ * r2.gain + r2.gainTarget;
    r3.gain = a_ * r3.gain + r3.gainTarget;
  } else {
    y = static_cast<float>(s1) * kInv127 * r2.gain + static_cast<float>(s2) * kInv127 * r3.gain;
    r2.gain = a_ * r2.gain + oneMinusA_ * (0.4f + 0.6f * (static_cast<float>(s0) * kInv127));
    r3.gain = a_ * r3.gain + r3.gainTarget;
  }
  if constexpr (BandLimit) y = bandLimit(v, y);

  auto& h = v.h;
  h[0] = h[1];
  h[1] = h[2];
  h[2] = h[3];
  h[3] = y;

  auto& c = v.c;
  if constexpr (Order == 1) {
    c[0] = h[1] - h[0];
  } else if constexpr (Order == 2) {
    c[0] = 2.0f * h[1] - (1.5f * h[0] + 0.5f * h[2]);
    c[1] = 0.5f * (h[0] + h[2]) - h[1];
  } else if constexpr (Order == 3) {
    const float e = c[0] + 2.0f * c[1] + 3.0f * c[2];
    c[0] = e;
    if (std::fabs(e) < 0.001f) {
      c[1] = 2.0f * h[1] - (1.75f * h[0] + 0.25f * h[2]);
      c[2] = 0.75f * h[0] + 0.25f * h[2] - h[1];
    } else {
      c[1] = 2.0f * h[1] - (1.75f * h[0] + 0.25f * h[2]) - 1.5f * e;
      c[2] = 0.75f * h[0] + 0.25f * h[2] - h[1] + 0.5f * e;
    }
  } else if constexpr (Order == 4) {
    using namespace interp;
    const float e = c[0] + 2.0f * c[1] + 3.0f * c[2] + 4.0f * c[3];
    c[0] = e;
    if (std::fabs(e) < 0.001f) {
      c[1] = 3.0f * h[1] - (k85_36 * h[0] + 0.75f * h[2]) + h[3] * k1_9;
      c[2] = k5_3 * h[0] + h[2] - 2.5f * h[1] - h[3] * k1_6;
      c[3] = 0.5f * h[1] - (k11_36 * h[0] + 0.25f * h[2]) + h[3] * k1_18;
    } else {
      c[1] = 3.0f * h[1] - (k85_36 * h[0] + 0.75f * h[2]) + h[3] * k1_9 - k11_6 * e;
      c[2] = k5_3 * h[0] + h[2] - 2.5f * h[1] - h[3] * k1_6 + e;
      c[3] = 0.5f * h[1] - (k11_36 * h[0] + 0.25f * h[2]) + h[3] * k1_18 - e * k1_6;
    }
  }
}

template <int Order, bool BandLimit>
inline float Cdoc::renderAtOrder(Voice& v) {
  // At host rates from the chip rate up the phase wraps at most once per host sample and this
  // is exactly one step when the phase fell below its previous value. Below the chip rate the
  // phase step exceeds one chip sample, and every step that fell due is run so that pitch and
  // time stay right; the interpolator then reads the latest segment.
  for (std::uint32_t i = v.stepsDue; i != 0; --i) chipStep<Order, BandLimit>(v);

  const float t = static_cast<float>(v.phase) * interp::kPhaseScale;
  float y = v.h[0];
  if constexpr (Order == 1) {
    y = y + v.c[0] * t;
  } else if constexpr (Order == 2) {
    const float t2 = t * t;
    y = y + v.c[0] * t + v.c[1] * t2;
  } else if constexpr (Order == 3) {
    const float t2 = t * t;
    y = y + v.c[0] * t + v.c[1] * t2 + v.c[2] * (t2 * t);
  } else if constexpr (Order == 4) {
    const float t2 = t * t;
    const float t3 = t2 * t;
    y = y + v.c[0] * t + v.c[1] * t2 + v.c[2] * t3 + v.c[3] * (t3 * t);
  }

  const std::uint64_t next = std::uint64_t{v.phase} + phaseIncrement_;
  v.stepsDue = static_cast<std::uint32_t>(next >> 30);
  v.phase = static_cast<std::uint32_t>(next) & kPhaseMask;
  return y;
}

float Cdoc::renderVoice(int voice) {
  if (!validVoice(voice)) return 0.0f;
  Voice& v = voiceAt(voice);
  if (bandTaps_ != 0) {
    switch (v.order) {
      case 1: return renderAtOrder<1, true>(v);
      case 2: return renderAtOrder<2, true>(v);
      case 3: return renderAtOrder<3, true>(v);
      case 4: return renderAtOrder<4, true>(v);
      default: return renderAtOrder<0, true>(v);
    }
  }
  switch (v.order) {
    case 1: return renderAtOrder<1, false>(v);
    case 2: return renderAtOrder<2, false>(v);
    case 3: return renderAtOrder<3, false>(v);
    case 4: return renderAtOrder<4, false>(v);
    default: return renderAtOrder<0, false>(v);
  }
}

void Cdoc::resetVoice(int voice) {
  if (!validVoice(voice)) return;
  voiceAt(voice) = Voice{};
}

void Cdoc::resetAll() {
  for (int v = 0; v < voiceCount_; ++v) resetVoice(v);
}

const Cdoc::Oscillator& Cdoc::oscillator(int voice, int oscillator) const {
  const int v = voice < 0 ? 0 : (voice >= kMaxVoices ? kMaxVoices - 1 : voice);
  const int o = oscillator < 0 ? 0 : (oscillator > 2 ? 2 : oscillator);
  return voiceAt(v).osc[static_cast<std::size_t>(o)];
}

int Cdoc::interpolationOrder(int voice) const { return validVoice(voice) ? voiceAt(voice).order : 0; }

bool Cdoc::amFlag(int voice) const { return validVoice(voice) && voiceAt(voice).am; }

}  // namespace korvo
