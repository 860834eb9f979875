#include "factoryRender.h"

#include <algorithm>
#include <complex>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <numbers>

#include "VSTaux.h"
#include "plugCore.h"
#include "plugInstance.h"
#include "transTables.h"
#include "waveRomFile.h"

namespace korvo::factory {

namespace {

constexpr int kBlock = 256;

// An engine on the data folder's wave ROM, with no settings or backup of its own.
std::unique_ptr<CplugMaster> quietEngine(int rate, const std::string& dataFolder) {
  std::vector<std::uint8_t> rom;
  readWaveRomFile(joinPath(dataFolder, CplugInstance::kWaveRomName), rom);
  return std::make_unique<CplugMaster>(rate, EngineData{rom, {}});
}

void renderFrames(CplugMaster& engine, Take& take, int frames) {
  const std::size_t at = take.left.size();
  take.left.resize(at + static_cast<std::size_t>(frames));
  take.right.resize(at + static_cast<std::size_t>(frames));
  for (int done = 0; done < frames;) {
    const int n = std::min(kBlock, frames - done);
    engine.render(true, take.left.data() + at + done, n, take.right.data() + at + done);
    done += n;
  }
}

double seconds(int timeValue) { return kTimeTable[static_cast<std::size_t>(std::clamp(timeValue, 0, 63))] / 81.0; }

std::vector<double> monoSum(const Take& take, int from, int frames) {
  std::vector<double> m;
  const int end = std::min<int>(from + frames, static_cast<int>(take.left.size()));
  for (int i = std::max(0, from); i < end; ++i)
    m.push_back(
        0.5 * (static_cast<double>(take.left[static_cast<std::size_t>(i)]) + take.right[static_cast<std::size_t>(i)]));
  return m;
}

void fft(std::vector<std::complex<double>>& a) {
  const std::size_t n = a.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const double ang = -2.0 * std::numbers::pi / static_cast<double>(len);
    const std::complex<double> wl(std::cos(ang), std::sin(ang));
    for (std::size_t i = 0; i < n; i += len) {
      std::complex<double> w(1.0);
      for (std::size_t k = 0; k < len / 2; ++k) {
        const auto u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        w *= wl;
      }
    }
  }
}

// RMS of both channels in consecutive 10 ms frames.
std::vector<double> rmsFrames(const Take& take) {
  const std::size_t hop = static_cast<std::size_t>(take.rate / 100);
  std::vector<double> out;
  for (std::size_t at = 0; at + hop <= take.left.size(); at += hop) {
    double e = 0;
    for (std::size_t i = at; i < at + hop; ++i)
      e += static_cast<double>(take.left[i]) * take.left[i] + static_cast<double>(take.right[i]) * take.right[i];
    out.push_back(std::sqrt(e / static_cast<double>(2 * hop)));
  }
  return out;
}

}  // namespace

Take playSound(const ProgramRecord& sound, const Performance& how, int rate, const std::string& dataFolder) {
  auto engine = quietEngine(rate, dataFolder);
  engine->soundMan().LoadEdit(&sound);
  Take take;
  take.rate = rate;
  Take discarded;
  discarded.rate = rate;
  for (const Phrase& p : how.warmUp) {
    engine->soundMan().LoadEdit(p.sound ? p.sound : &sound);
    for (int note : p.notes) engine->keyboardNote(0, note, how.velocity);
    renderFrames(*engine, discarded, p.holdFrames);
    for (int note : p.notes) engine->keyboardNote(0, note, 0);
    renderFrames(*engine, discarded, p.restFrames);
    discarded.left.clear();
    discarded.right.clear();
  }
  if (!how.warmUp.empty()) engine->soundMan().LoadEdit(&sound);
  for (const auto& [index, value] : how.controllers) engine->controller(0, index, value);
  for (int note : how.notes) engine->keyboardNote(0, note, how.velocity);
  renderFrames(*engine, take, how.holdFrames);
  take.releaseFrame = how.holdFrames;
  for (int note : how.notes) engine->keyboardNote(0, note, 0);
  renderFrames(*engine, take, how.tailFrames);
  return take;
}

const std::vector<std::vector<int>>& worstCaseChords() {
  static const std::vector<std::vector<int>> chords = {
      {48, 52, 55, 60, 64, 67, 72, 76}, {48, 55, 60, 64, 67, 72, 76, 79}, {36, 43, 48, 52, 55, 60, 64, 67}};
  return chords;
}

std::vector<Phrase> seededWarmUp(int seed, int rate, const std::vector<ProgramRecord>& library) {
  std::uint32_t x = 2654435761u * static_cast<std::uint32_t>(seed) + 12345u;
  auto next = [&x](int below) {
    x = x * 1664525u + 1013904223u;
    return static_cast<int>((x >> 8) % static_cast<std::uint32_t>(below));
  };
  std::vector<Phrase> phrases(static_cast<std::size_t>(1 + next(3)));
  for (Phrase& p : phrases) {
    if (!library.empty() && seed % 2 == 0)
      p.sound = &library[static_cast<std::size_t>(next(static_cast<int>(library.size())))];
    const int count = 1 + next(8);
    for (int i = 0; i < count; ++i) p.notes.push_back(36 + next(49));
    p.holdFrames = rate / 50 + next(rate * 2 / 5);
    p.restFrames = next(rate * 3 / 10);
  }
  return phrases;
}

WorstPeak worstChordPeak(const ProgramRecord& sound, int rate, const std::string& dataFolder, int warmStates,
                         const std::vector<ProgramRecord>& library) {
  const double hold = std::clamp(attackSeconds(sound) + 0.3, 0.3, 1.3);
  WorstPeak worst;
  for (int state = 0; state <= warmStates; ++state)
    for (std::size_t c = 0; c < worstCaseChords().size(); ++c) {
      Performance chord{worstCaseChords()[c], {}, 127, static_cast<int>(hold * rate), rate / 20, {}};
      if (state > 0) chord.warmUp = seededWarmUp(state, rate, library);
      const Levels l = measureLevels(playSound(sound, chord, rate, dataFolder));
      worst.finite = worst.finite && l.finite;
      if (l.peak > worst.peak) worst = {l.peak, static_cast<int>(c), state, worst.finite};
    }
  return worst;
}

double settleSeconds(const ProgramRecord& sound) {
  double longest = 0;
  for (int e = 0; e < 4; ++e) {
    const std::int16_t* b = sound.words + word::kEnv[e];
    longest = std::max(longest, seconds(b[word::kEnvT1]) + seconds(b[word::kEnvT2]) + seconds(b[word::kEnvT3]));
  }
  return longest;
}

double attackSeconds(const ProgramRecord& sound) {
  double longest = 0;
  for (int e = 0; e < 4; ++e) longest = std::max(longest, seconds(sound.words[word::kEnv[e] + word::kEnvT1]));
  return longest;
}

double releaseSeconds(const ProgramRecord& sound) {
  const std::int16_t t4 = sound.words[word::kEnv[3] + word::kEnvT4];
  return seconds(t4 & 63) + ((t4 & 64) ? seconds(39) : 0.0);
}

Levels measureLevels(const Take& take) {
  Levels l;
  double e = 0;
  const std::size_t n = take.left.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double a = take.left[i], b = take.right[i];
    if (!std::isfinite(a) || !std::isfinite(b)) {
      l.finite = false;
      continue;
    }
    l.peak = std::max({l.peak, std::fabs(a), std::fabs(b)});
    e += a * a + b * b;
  }
  if (n) l.rms = std::sqrt(e / static_cast<double>(2 * n));
  const std::size_t window = static_cast<std::size_t>(take.rate / 5);
  const std::size_t end = std::min(n, static_cast<std::size_t>(take.releaseFrame));
  const std::size_t begin = end > window ? end - window : 0;
  double h = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const double a = take.left[i], b = take.right[i];
    if (std::isfinite(a) && std::isfinite(b)) h += a * a + b * b;
  }
  if (end > begin) l.heldRms = std::sqrt(h / static_cast<double>(2 * (end - begin)));
  const std::size_t hop = static_cast<std::size_t>(take.rate / 20);
  for (std::size_t at = 0; at + window <= n; at += hop) {
    double w = 0;
    for (std::size_t i = at; i < at + window; ++i) {
      const double a = take.left[i], b = take.right[i];
      if (std::isfinite(a) && std::isfinite(b)) w += a * a + b * b;
    }
    const double r = std::sqrt(w / static_cast<double>(2 * window));
    if (r > l.loudRms) {
      l.loudRms = r;
      l.loudFrame = static_cast<int>(at);
    }
  }
  return l;
}

double spectralCentroid(const Take& take, int from, int frames) {
  const std::vector<double> m = monoSum(take, from, frames);
  std::size_t n = 1;
  while (n * 2 <= m.size()) n *= 2;
  if (n < 256) return 0;
  std::vector<std::complex<double>> a(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n - 1));
    a[i] = m[i] * w;
  }
  fft(a);
  double num = 0, den = 0;
  for (std::size_t k = 1; k < n / 2; ++k) {
    const double mag = std::abs(a[k]);
    num += mag * static_cast<double>(k) * take.rate / static_cast<double>(n);
    den += mag;
  }
  return den > 1e-9 ? num / den : 0.0;
}

double fundamental(const Take& take, int from, int frames) {
  const std::vector<double> m = monoSum(take, from, frames);
  const int minLag = take.rate / 4000, maxLag = take.rate / 25;
  if (static_cast<int>(m.size()) < 2 * maxLag) return 0;
  const int n = static_cast<int>(m.size()) - maxLag;
  std::vector<double> r(static_cast<std::size_t>(maxLag + 1));
  double e0 = 0;
  for (int i = 0; i < n; ++i) e0 += m[static_cast<std::size_t>(i)] * m[static_cast<std::size_t>(i)];
  if (e0 < 1e-12) return 0;
  for (int lag = minLag; lag <= maxLag; ++lag) {
    double c = 0, e1 = 0;
    for (int i = 0; i < n; ++i) {
      c += m[static_cast<std::size_t>(i)] * m[static_cast<std::size_t>(i + lag)];
      e1 += m[static_cast<std::size_t>(i + lag)] * m[static_cast<std::size_t>(i + lag)];
    }
    r[static_cast<std::size_t>(lag)] = c / std::sqrt(e0 * e1 + 1e-30);
  }
  // The first lag whose correlation comes close to the best one: the period, not a multiple.
  double best = 0;
  for (int lag = minLag; lag <= maxLag; ++lag) best = std::max(best, r[static_cast<std::size_t>(lag)]);
  if (best < 0.5) return 0;
  for (int lag = minLag + 1; lag < maxLag; ++lag) {
    const double c = r[static_cast<std::size_t>(lag)];
    if (c >= 0.9 * best && c >= r[static_cast<std::size_t>(lag - 1)] && c >= r[static_cast<std::size_t>(lag + 1)]) {
      // Parabolic interpolation around the peak.
      const double a = r[static_cast<std::size_t>(lag - 1)], b = c, d = r[static_cast<std::size_t>(lag + 1)];
      const double den = a - 2 * b + d;
      const double shift = std::fabs(den) > 1e-12 ? 0.5 * (a - d) / den : 0.0;
      return take.rate / (lag + shift);
    }
  }
  return 0;
}

Shape measureShape(const Take& take) {
  Shape s;
  const std::vector<double> r = rmsFrames(take);
  if (r.empty()) return s;
  const double top = *std::max_element(r.begin(), r.end());
  if (top <= 0) return s;
  const std::size_t release = static_cast<std::size_t>(take.releaseFrame / (take.rate / 100));
  for (std::size_t i = 0; i < r.size(); ++i)
    if (r[i] >= 0.9 * top) {
      s.attackSeconds = static_cast<double>(i + 1) * 0.01;
      break;
    }
  if (release >= 1 && release <= r.size()) s.sustainRatio = r[release - 1] / top;
  std::size_t last = release;
  for (std::size_t i = release; i < r.size(); ++i)
    if (r[i] >= 0.01 * top) last = i + 1;
  s.tailSeconds = static_cast<double>(last - std::min(last, release)) * 0.01;
  return s;
}

}  // namespace korvo::factory
