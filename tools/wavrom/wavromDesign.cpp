#include "wavromDesign.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include "docWaveParams.h"

namespace korvo::wavrom {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Highest partial frequency a table may hold at the highest key that plays it: below the chip's
// Nyquist frequency (19158 Hz) with room for the interpolator's images.
constexpr double kBandLimitHz = 18000.0;

double keyHz(double key) { return 440.0 * std::exp2((key - 69.0) / 12.0); }

// Deterministic noise (xorshift32), one stream per use.
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : s_(seed ? seed : 1u) {}
  double next() {  // -1..1
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return static_cast<double>(s_) / 2147483648.0 - 1.0;
  }

 private:
  std::uint32_t s_;
};

// Maps -1..1 to bytes 2..254 around 128: never the end marker 0.
std::uint8_t toByte(double x) {
  const long v = std::lround(128.0 + 126.0 * std::clamp(x, -1.0, 1.0));
  return static_cast<std::uint8_t>(std::clamp(v, 2L, 254L));
}

void normalise(std::vector<double>& x, double peak = 1.0) {
  double m = 0.0;
  for (double v : x) m = std::max(m, std::fabs(v));
  if (m > 0.0)
    for (double& v : x) v *= peak / m;
}

// A partial: `bin` whole cycles per table, amplitude and phase (radians, sine phase).
struct Partial {
  int bin;
  double amp;
  double phase;
};

// Sum of partials over a table whose every partial completes whole cycles, so the loop is
// seamless; the sine of (bin * i) mod size comes from one table.
std::vector<double> periodicTable(int size, const std::vector<Partial>& partials) {
  const auto n = static_cast<std::size_t>(size);
  std::vector<double> s(n), c(n);
  for (std::size_t i = 0; i < n; ++i) {
    s[i] = std::sin(2.0 * kPi * i / size);
    c[i] = std::cos(2.0 * kPi * i / size);
  }
  std::vector<double> x(n, 0.0);
  for (const Partial& p : partials) {
    if (p.bin <= 0 || p.bin >= size / 2 || p.amp == 0.0) continue;
    const double sp = std::cos(p.phase) * p.amp, cp = std::sin(p.phase) * p.amp;
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t k = static_cast<std::size_t>(p.bin) * i % n;
      x[i] += s[k] * sp + c[k] * cp;
    }
  }
  return x;
}

// Harmonic spectrum of a looping entry: harmonic h at bin h * cycles.
using Spectrum = std::function<double(int h, double f0)>;
enum class Phases { kSine, kCosine, kSpread };

std::vector<Partial> harmonics(int count, int cycles, double f0, const Spectrum& amp, Phases phases) {
  std::vector<Partial> out;
  for (int h = 1; h <= count; ++h) {
    double ph = 0.0;
    if (phases == Phases::kCosine) ph = kPi / 2;
    if (phases == Phases::kSpread) ph = kPi * h * h / std::max(count, 1);  // low crest factor
    out.push_back({h * cycles, amp(h, f0), ph});
  }
  return out;
}

// A resonance on the frequency axis (Hz) for formant and body shapes.
double peak(double f, double centre, double width) {
  const double d = (f - centre) / width;
  return std::exp(-0.5 * d * d);
}

struct LoopDesign {
  Spectrum amp;
  Phases phases = Phases::kSpread;
};

// Harmonic number of the formant in entry 43 + j (FORMT1..5, REED 2): one zone (8 semitones)
// further up the map moves the peak down by the same ratio, so each wave's formant stays put
// in hertz across its zones, and FORMTn+1 sits one zone-step above FORMTn.
double formantHarmonic(int j) { return std::max(1.0, 24.0 / std::pow(2.0, 8.0 * j / 12.0)); }

double vowel(double f, double f1, double f2, double f3) {
  return 1.0 * peak(f, f1, 110) + 0.6 * peak(f, f2, 140) + 0.25 * peak(f, f3, 220) + 0.02;
}

std::map<int, LoopDesign> loopDesigns() {
  std::map<int, LoopDesign> d;
  auto saw = [](int h, double) { return 1.0 / h; };
  auto square = [](int h, double) { return h % 2 ? 1.0 / h : 0.0; };
  auto pulse = [](double duty) { return [duty](int h, double) { return std::sin(kPi * h * duty) / h; }; };
  for (int e = 2; e <= 6; ++e) d[e] = {pulse(0.125), Phases::kCosine};  // PULSE: 12.5 %
  for (int e = 7; e <= 8; ++e) d[e] = {pulse(0.25), Phases::kCosine};   // PULSE2: 25 %
  // BELL: a few strong partials spread up the series, the upper ones louder than a saw's.
  auto bell = [](int h, double) {
    switch (h) {
      case 1: return 1.0;
      case 2: return 0.55;
      case 3: return 0.45;
      case 5: return 0.5;
      case 7: return 0.3;
      case 9: return 0.35;
      case 12: return 0.2;
      case 16: return 0.15;
      default: return 0.0;
    }
  };
  for (int e : {9, 10, 11, 12, 36}) d[e] = {bell};
  d[13] = {[](int h, double) {  // ORGAN: drawbars 16', 8', 5 1/3', 4', 2 2/3', 2', 1 3/5', 1'
    switch (h) {
      case 1: return 1.0;
      case 2: return 0.85;
      case 3: return 0.6;
      case 4: return 0.5;
      case 6: return 0.35;
      case 8: return 0.3;
      case 10: return 0.15;
      case 16: return 0.12;
      default: return 0.0;
    }
  }};
  d[14] = {[](int h, double) { return (h == 1 || h == 2 || h == 4 || h == 8) ? 1.0 : 0.0; }};  // 4 OCTS
  // SYNTH1: bright saw through a resonant low-pass (peak at the 6th harmonic).
  for (int e : {15, 16, 17}) d[e] = {[](int h, double) { return (1.0 / h) * (1.0 + 2.5 * peak(h, 6, 1.5)); }};
  // SYNTH2: hollow square with a resonance at the 9th harmonic.
  for (int e : {18, 19, 20})
    d[e] = {[](int h, double) { return (h % 2 ? 1.0 / h : 0.15 / h) * (1.0 + 3.0 * peak(h, 9, 2.0)); }};
  d[27] = {pulse(0.0625), Phases::kCosine};  // SYNTH3: thin 1/16 pulse
  d[28] = {[](int h, double) {               // PRIME: harmonics 1 and the primes
    static const int primes[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31};
    if (h == 1) return 1.0;
    for (int p : primes)
      if (p == h) return 1.2 / std::sqrt(h);
    return 0.0;
  }};
  d[21] = {[](int h, double) { return h == 1 ? 1.0 : 0.0; }, Phases::kSine};  // SINE (and GLINT)
  d[22] = {saw, Phases::kSine};  // top-zone saw: what is left of it below the limit
  d[23] = {[](int h, double) { return h == 1 ? 1.0 : (h == 2 ? 0.8 : 0.0); }, Phases::kSine};  // OCTAVE
  d[24] = {saw, Phases::kSine};  // SAW 2: the three-harmonic saw
  d[25] = {[](int h, double) { return h % 2 ? ((h / 2) % 2 ? -1.0 : 1.0) / (h * h) : 0.0; }, Phases::kSine};  // TRIANG
  d[26] = {[](int h, double) { return h == 1 ? 1.0 : (h == 2 ? 0.7 : (h == 3 ? 0.6 : 0.0)); }, Phases::kSine};  // OCT+5
  // REED: clarinet-like, odd harmonics strong, even ones weak.
  for (int e : {29, 30, 76, 77, 78, 79, 80, 81})
    d[e] = {[](int h, double) { return h % 2 ? 1.0 / std::pow(h, 0.8) : 0.12 / h; }};
  // KICK: a round thump, fundamental with its first two overtones in cosine phase (a peaked
  // cycle), band-limited for the whole keyboard.
  d[31] = {[](int h, double) { return h == 1 ? 1.0 : (h == 2 ? 0.5 : (h == 3 ? 0.25 : 0.0)); }, Phases::kCosine};
  // PIANO: four periods per table (resolution 3); bright attack spectrum with a soft top.
  for (int e : {33, 34, 35, 66, 67, 68, 69})
    d[e] = {[](int h, double) { return (1.0 / std::pow(h, 1.1)) * (h % 8 == 0 ? 0.3 : 1.0); }};
  // VOICE1 / VOICE2: the vowel "ah", formants fixed in hertz.
  for (int e : {37, 38, 58, 59, 60, 61, 62}) d[e] = {[](int h, double f0) { return vowel(h * f0, 730, 1090, 2440); }};
  // BASS: strong fundamental, a second and third that carry on small speakers.
  for (int e : {39, 40, 41, 42})
    d[e] = {[](int h, double) { return h == 1 ? 1.0 : (h == 2 ? 0.7 : (h == 3 ? 0.45 : 0.6 / std::pow(h, 1.6))); }};
  for (int j = 0; j <= 8; ++j) {
    const double hp = formantHarmonic(j);
    d[43 + j] = {
        [hp](int h, double) { return 0.25 / h + std::exp(-0.5 * std::pow((h - hp) / std::max(1.0, hp * 0.18), 2)); }};
  }
  for (int e = 52; e <= 57; ++e) d[e] = {saw, Phases::kSine};  // SAW
  // EL PNO / E PNO2: sine-like tine with a bell partial pair up high.
  for (int e : {63, 64, 65})
    d[e] = {[](int h, double) {
      return h == 1 ? 1.0 : (h == 2 ? 0.25 : (h == 3 ? 0.1 : (h == 7 ? 0.12 : (h == 8 ? 0.08 : 0.0))));
    }};
  for (int e = 70; e <= 75; ++e) d[e] = {square, Phases::kSine};  // SQUARE, SQR 2
  // GRIT 1..3: a dense, rough spectrum whose loud band moves down the harmonics zone by zone.
  for (int j = 0; j < 8; ++j) {
    const double centre = std::max(2.0, 30.0 / std::pow(2.0, 8.0 * j / 12.0));
    d[109 + j] = {[centre](int h, double) {
      const double jag = 0.55 + 0.45 * std::sin(h * 2.3999632);  // golden-angle roughness
      return jag * (0.6 / std::sqrt(h) + peak(h, centre, centre * 0.4));
    }};
  }
  // BRASS: a broad energy peak around 1 kHz; the short tables (256) serve the top zones.
  for (int e : {118, 123, 124})
    d[e] = {[](int h, double f0) { return (0.4 + peak(h * f0, 1100, 700)) / std::pow(h, 0.3); }};
  // BELL 2: a glassier partial set (1, 3, 4, 6, 9, 13).
  for (int e : {119, 120})
    d[e] = {[](int h, double) {
      switch (h) {
        case 1: return 1.0;
        case 3: return 0.6;
        case 4: return 0.5;
        case 6: return 0.45;
        case 9: return 0.3;
        case 13: return 0.25;
        default: return 0.0;
      }
    }};
  // STRING: saw with body resonances near 300 Hz and 2.5 kHz.
  for (int e : {125, 126, 127, 128})
    d[e] = {
        [](int h, double f0) { return (1.0 / h) * (0.6 + peak(h * f0, 300, 150) + 0.7 * peak(h * f0, 2500, 900)); }};
  // ALIEN: a sparse, uneven set: the 1st, 7th, 11th and 13th louder than the rest.
  for (int e : {129, 130, 131, 132})
    d[e] = {[](int h, double) {
      if (h == 1) return 1.0;
      if (h == 7 || h == 11 || h == 13) return 0.6;
      return h % 3 == 2 ? 0.15 / h : 0.0;
    }};
  // DIGIT1 / DIGIT2: hard-edged: loud upper harmonics as from a stepped wave.
  for (int e : {133, 134}) d[e] = {[](int h, double) { return h % 4 == 1 ? 1.0 / std::sqrt(h) : 0.08; }};
  for (int e : {135, 136})
    d[e] = {[](int h, double) { return h % 3 == 0 ? 0.9 / std::sqrt(h) : (h == 1 ? 1.0 : 0.1 / h); }};
  // CLAV: plucked near the bridge: a comb of notches over a bright slope.
  for (int e : {137, 138, 139})
    d[e] = {[](int h, double) { return std::fabs(std::sin(kPi * h * 0.13)) / std::pow(h, 0.6); }};
  // REED 3 (and CLAV up high): nasal double reed with a formant near the 5th harmonic.
  d[140] = {[](int h, double) { return (h % 2 ? 1.0 : 0.4) / h + 0.5 * peak(h, 5, 1.5); }};
  return d;
}

// Resolution-4 looping tables that hold many periods (VOICE3, BREATH) or none (STEAM, METAL,
// CHIME): partials on whole bins of the table.
std::vector<Partial> multiPeriodPartials(const EntryUse& u, double f0) {
  std::vector<Partial> p;
  const double cycles = u.cyclesPerTable();
  const int c = static_cast<int>(std::lround(cycles));
  const double topHz = keyHz(std::min(u.maxKey, 111));
  Noise rng(0x5eed0000u + static_cast<std::uint32_t>(u.entry));
  switch (u.entry) {
    case 101:
    case 102: {  // VOICE3: a small choir on "ah" (64 periods); every harmonic has a pair of
                 // side partials one bin off either way, a slow beating like voices slightly apart
      const int n = static_cast<int>(kBandLimitHz / keyHz(u.maxKey));
      for (int h = 1; h <= n; ++h) {
        const double a = vowel(h * f0, 700, 1150, 2600);
        const double ph = kPi * h * h / n;
        p.push_back({h * c, a, ph});
        p.push_back({h * c - 1, 0.25 * a, ph + 0.5});
        p.push_back({h * c + 1, 0.25 * a, ph - 0.5});
      }
      break;
    }
    case 103: {  // BREATH: a soft tone (32 periods) under air noise between the harmonics
      const int n = static_cast<int>(kBandLimitHz / keyHz(u.maxKey));
      for (int h = 1; h <= std::min(n, 8); ++h) p.push_back({h * c, 1.0 / (h * h), 0.0});
      const int topBin = static_cast<int>(n * c);
      for (int b = 1; b < topBin && b < u.size / 2; ++b)
        if (b % c != 0) p.push_back({b, 0.006 * peak(b / cycles * f0, 1800, 1200), rng.next() * kPi});
      break;
    }
    case 100: {  // STEAM: hiss, a broad noise band high up made of every bin
      const int limit = static_cast<int>(kBandLimitHz / topHz * cycles);
      for (int b = 1; b < std::min(limit, u.size / 2); ++b)
        p.push_back({b, peak(b / cycles, 14.0, 8.0) + 0.1, rng.next() * kPi});
      break;
    }
    case 99: {  // METAL: inharmonic plate modes, bins at ratios 1, 1.59, 2.14, 2.65, 3.16, 3.65, 4.06, 4.6
      static const double ratios[] = {1.0, 1.593, 2.136, 2.653, 3.156, 3.652, 4.06, 4.6, 5.12, 5.95};
      for (int i = 0; i < 10; ++i) {
        const int bin = static_cast<int>(std::lround(ratios[i] * cycles * 1.0));
        if (ratios[i] * topHz < kBandLimitHz) p.push_back({bin, 1.0 / (1.0 + 0.35 * i), rng.next() * kPi});
      }
      break;
    }
    case 104:
    case 105: {  // CHIME: tubular-bell partials 1, 2.76, 5.40, 8.93, 13.34 above a quiet hum at 0.5
      static const double ratios[] = {0.5, 1.0, 2.756, 5.404, 8.933, 13.34};
      static const double amps[] = {0.2, 1.0, 0.7, 0.45, 0.3, 0.2};
      for (int i = 0; i < 6; ++i) {
        const int bin = std::max(1, static_cast<int>(std::lround(ratios[i] * cycles)));
        if (ratios[i] * topHz < kBandLimitHz) p.push_back({bin, amps[i], rng.next() * kPi});
      }
      break;
    }
    default: break;
  }
  return p;
}

// One-shot transients. A table plays one note period every `period` samples at the key's own
// pitch (from the entry's size, resolution and offset). Each sound is designed to a nominal
// length that fills the room its table has; `sampleRate` = room / length, so the times below
// are seconds of that nominal length (longer on low keys, shorter on high ones, as a sampler).
struct OneShot {
  double period;
  double sampleRate;
  int maxHarmonic;  // partials above this multiple of the note alias at the highest key
};

double envelope(double t, double attack, double decay) {
  return (attack > 0 ? std::min(1.0, t / attack) : 1.0) * std::exp(-t / decay);
}

std::vector<double> renderOneShot(int entry, const OneShot& s, std::size_t length) {
  std::vector<double> x(length, 0.0);
  Noise rng(0x0E5407u + static_cast<std::uint32_t>(entry));
  const double w = 2.0 * kPi / s.period;  // radians per sample of the note
  auto sr = s.sampleRate;
  auto pluck = [&](double position, double decay, double brightLoss, double click) {
    double lp = 0.0;
    for (std::size_t n = 0; n < length; ++n) {
      const double t = n / sr;
      double v = 0.0;
      for (int h = 1; h <= s.maxHarmonic; ++h) {
        const double a = std::fabs(std::sin(kPi * h * position)) / h;
        v += a * std::exp(-t * (1.0 + brightLoss * h) / decay) * std::sin(w * h * n);
      }
      lp += 0.3 * (rng.next() - lp);
      x[n] = v + click * lp * std::exp(-t / 0.004);
    }
  };
  auto drum = [&](double f0Ratio, double sweep, double sweepTime, double decay, double noise, double noiseDecay) {
    double phase = 0.0, lp = 0.0;
    for (std::size_t n = 0; n < length; ++n) {
      const double t = n / sr;
      const double ratio = f0Ratio * (1.0 + sweep * std::exp(-t / sweepTime));
      phase += w * std::min(ratio, s.maxHarmonic * 1.0);
      lp += 0.5 * (rng.next() - lp);
      x[n] = std::sin(phase) * std::exp(-t / decay) + noise * lp * std::exp(-t / noiseDecay);
    }
  };
  switch (entry) {
    case 82:
    case 85: {  // BOWING: a bowed-string attack: saw-like tone swelling in and dying away, bow noise on top
      double lp = 0.0;
      for (std::size_t n = 0; n < length; ++n) {
        const double t = n / sr;
        double v = 0.0;
        for (int h = 1; h <= s.maxHarmonic; ++h) v += std::sin(w * h * n + 0.3 * h) / h;
        lp += 0.2 * (rng.next() - lp);
        const double fade = std::min(1.0, (length - n) / (0.15 * length));
        const double swell = std::min(1.0, t / 0.06) * std::exp(-t / (0.35 * length / sr));
        x[n] = (v * swell + 0.5 * lp * std::exp(-t / 0.05)) * fade;
      }
      break;
    }
    case 91:
    case 92: pluck(0.22, 0.15, 0.15, 0.3); break;  // PICK 1: mellow guitar pick
    case 86:
    case 88: pluck(0.09, 0.2, 0.25, 0.6); break;  // PICK 2: bright pick near the bridge
    case 87: pluck(0.05, 0.05, 0.4, 0.4); break;  // PLINK: short and glassy
    case 84: pluck(0.3, 0.15, 0.2, 0.1); break;   // PLUCK: a round string
    case 83: pluck(0.5, 0.06, 0.8, 0.05); break;  // PLUNK: dull and quickly damped
    case 93: pluck(0.12, 0.1, 0.6, 1.0); break;   // SLAP: thumped bass, hard click
    case 94: {                                    // MALLET: marimba bar modes 1, 3.93, 9.2 with a soft knock
      static const double ratios[] = {1.0, 3.93, 9.2};
      static const double decays[] = {0.12, 0.04, 0.015};
      static const double amps[] = {1.0, 0.5, 0.25};
      for (std::size_t n = 0; n < length; ++n) {
        const double t = n / sr;
        double v = 0.0;
        for (int i = 0; i < 3; ++i)
          if (ratios[i] <= s.maxHarmonic) v += amps[i] * std::exp(-t / decays[i]) * std::sin(w * ratios[i] * n);
        x[n] = v;
      }
      break;
    }
    case 121: {  // CLICK: 3 ms of noise and a fast high ping
      for (std::size_t n = 0; n < length; ++n) {
        const double t = n / sr;
        x[n] = rng.next() * std::exp(-t / 0.002) +
               0.6 * std::sin(w * std::min(6.0, s.maxHarmonic * 1.0) * n) * std::exp(-t / 0.01);
      }
      break;
    }
    case 89:
    case 90: {  // CHIFF: the breathy spit of a flue pipe, band noise around the 3rd harmonic
      double y1 = 0, y2 = 0;
      const double r = 0.97, cw = std::cos(w * std::min(3.0, s.maxHarmonic * 1.0));
      for (std::size_t n = 0; n < length; ++n) {
        const double t = n / sr;
        const double y = rng.next() + 2 * r * cw * y1 - r * r * y2;
        y2 = y1;
        y1 = y;
        x[n] = 0.08 * y * envelope(t, 0.004, 0.05) + 0.4 * std::sin(w * n) * envelope(t, 0.03, 0.08);
      }
      break;
    }
    case 122: drum(1.0, 1.0, 0.015, 0.03, 0.2, 0.003); break;  // THUMP: low, short, soft
    case 107: {                                                // LOGDRM (and DRUMS): wooden slit drum
      for (std::size_t n = 0; n < length; ++n) {
        const double t = n / sr;
        x[n] = std::sin(w * n) * std::exp(-t / 0.12) +
               (2.0 <= s.maxHarmonic ? 0.4 * std::sin(w * 2.0 * n) * std::exp(-t / 0.04) : 0.0) +
               0.3 * rng.next() * std::exp(-t / 0.003);
      }
      break;
    }
    case 106: drum(0.5, 3.0, 0.02, 0.08, 0.4, 0.004); break;  // KICK 2: falling sine thump
    case 95: drum(0.5, 0.5, 0.04, 0.15, 0.25, 0.01); break;   // TOMTOM
    case 97: {                                                // SNARE: two shell modes and wires
      double lp = 0.0;
      for (std::size_t n = 0; n < length; ++n) {
        const double t = n / sr;
        const double prev = lp;
        lp += 0.7 * (rng.next() - lp);
        x[n] = 0.6 * (std::sin(w * n) + 0.6 * std::sin(w * 1.6 * n)) * std::exp(-t / 0.05) +
               (lp - 0.5 * prev) * std::exp(-t / 0.07);
      }
      break;
    }
    case 117: {  // HI-HAT: metallic square partials and high-passed noise, short
      static const double ratios[] = {2.0, 3.0, 4.16, 5.43, 6.79, 8.21};
      double prev = 0.0;
      for (std::size_t n = 0; n < length; ++n) {
        const double t = n / sr;
        double v = 0.0;
        for (double r : ratios)
          if (r <= s.maxHarmonic) v += std::sin(w * r * n) > 0 ? 0.12 : -0.12;
        const double nz = rng.next();
        x[n] = (v + (nz - prev)) * std::exp(-t / 0.03);
        prev = nz;
      }
      break;
    }
    default: break;
  }
  // Fade the last 5 % so that no sample ends on a step.
  const std::size_t tail = std::max<std::size_t>(1, length / 20);
  for (std::size_t n = length - tail; n < length; ++n) x[n] *= static_cast<double>(length - n) / tail;
  return x;
}

// Nominal length in seconds of each one-shot design.
double designLength(int entry) {
  switch (entry) {
    case 82: return 1.0;
    case 85: return 0.6;
    case 83: return 0.25;
    case 84:
    case 91:
    case 92: return 0.6;
    case 86:
    case 88: return 0.8;
    case 87: return 0.2;
    case 89:
    case 90: return 0.25;
    case 93: return 0.4;
    case 94: return 0.5;
    case 95: return 0.6;
    case 97: return 0.3;
    case 106: return 0.35;
    case 107: return 0.45;
    case 117: return 0.12;
    case 121: return 0.04;
    case 122: return 0.12;
    default: return 0.3;
  }
}

}  // namespace

double EntryUse::cyclesPerTable() const { return std::exp2(resolution - 1) * std::exp2(-offset / 12.0); }

bool isPitchedLoop(int wave) {
  return wave >= 0 && wave < kFirstOneShotWave && !(wave >= 5 && wave <= 7) && !(wave >= 39 && wave <= 41) &&
         !(wave >= 51 && wave <= 53);
}

std::vector<EntryUse> entryUses() {
  std::vector<EntryUse> uses(kWaveEntryCount);
  const auto& entries = waveEntryTable();
  for (int e = 0; e < kWaveEntryCount; ++e) {
    EntryUse& u = uses[static_cast<std::size_t>(e)];
    const WaveEntry& we = entries[static_cast<std::size_t>(e)];
    u.entry = e;
    u.bank = entryBank(we.control);
    u.page = we.page;
    u.address = u.bank * 65536 + u.page * 256;
    u.size = 1 << entryTableExponent(we.control);
    u.resolution = entryResolution(we.control);
    u.offset = we.semitone + we.fine / 256.0;
  }
  const auto& zones = waveZoneTable();
  for (int w = 0; w < kWaveCount; ++w)
    for (int z = 0; z < kZoneCount; ++z) {
      EntryUse& u = uses[zones[static_cast<std::size_t>(w)][static_cast<std::size_t>(z)]];
      u.minKey = std::min(u.minKey, 8 * z);
      u.maxKey = std::max(u.maxKey, 8 * z + 7);
      (w < kFirstOneShotWave ? u.loops : u.oneShot) = true;
      if (std::find(u.waves.begin(), u.waves.end(), w) == u.waves.end()) u.waves.push_back(w);
    }
  return uses;
}

std::vector<std::uint8_t> buildWaveRom() {
  std::vector<std::uint8_t> rom(kRomSize, 128);
  const std::vector<EntryUse> uses = entryUses();
  const auto designs = loopDesigns();
  std::map<int, bool> written;  // by address: entries that share a start share their data

  for (const EntryUse& u : uses) {
    if (!u.used() || written[u.address]) continue;
    const auto base = static_cast<std::size_t>(u.address);
    const double f0 = keyHz((u.minKey + u.maxKey) / 2.0);
    if (u.entry == 0 || u.entry == 32) {
      // NOISE1 (and NOISE3, which reads the first half of it faster): white noise.
      // NOISE2: a darker noise, smoothed with a wrap-around low-pass so its loop has no seam.
      Noise rng(u.entry == 0 ? 0xA5A5u : 0x3C3Cu);
      std::vector<double> x(static_cast<std::size_t>(u.size));
      for (double& v : x) v = rng.next();
      if (u.entry == 32)
        for (int pass = 0; pass < 2; ++pass) {
          double lp = x.back();
          for (double& v : x) v = lp += 0.25 * (v - lp);
        }
      normalise(x);
      for (std::size_t i = 0; i < x.size(); ++i) rom[base + i] = toByte(x[i]);
    } else if (u.loops && designs.count(u.entry)) {
      const LoopDesign& d = designs.at(u.entry);
      const int cycles = static_cast<int>(std::lround(u.cyclesPerTable()));
      const int topKey = u.entry == 31 ? 111 : u.maxKey;
      const int count =
          std::max(1, std::min(static_cast<int>(kBandLimitHz / keyHz(topKey)), u.size / (2 * cycles) - 1));
      std::vector<double> x = periodicTable(u.size, harmonics(count, cycles, f0, d.amp, d.phases));
      normalise(x);
      for (std::size_t i = 0; i < x.size(); ++i) rom[base + i] = toByte(x[i]);
    } else if (u.loops) {
      std::vector<double> x = periodicTable(u.size, multiPeriodPartials(u, f0));
      normalise(x);
      for (std::size_t i = 0; i < x.size(); ++i) rom[base + i] = toByte(x[i]);
    } else {
      // One-shot: the sample, then the end marker, within the room left before the next table
      // that starts inside this one.
      int room = u.size;
      for (const EntryUse& o : uses)
        if (o.used() && o.bank == u.bank && o.page > u.page && o.address < u.address + u.size)
          room = std::min(room, o.address - u.address);
      OneShot s;
      s.period = u.size / std::exp2(u.resolution - 1) * std::exp2(u.offset / 12.0);
      s.sampleRate = (room - 1) / designLength(u.entry);
      s.maxHarmonic = std::max(1, std::min(static_cast<int>(kBandLimitHz / keyHz(std::min(u.maxKey, 108))),
                                           static_cast<int>(s.period / 2.0)));
      std::vector<double> x = renderOneShot(u.entry, s, static_cast<std::size_t>(room - 1));
      normalise(x, 0.98);
      for (std::size_t i = 0; i < x.size(); ++i) rom[base + i] = toByte(x[i]);
      rom[base + x.size()] = 0;
    }
    written[u.address] = true;
  }
  return rom;
}

}  // namespace korvo::wavrom
