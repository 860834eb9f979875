// Pitch of a rendered signal, for the chip and wave ROM tests: a long-lag autocorrelation
// search around a whole number of expected periods, refined by parabolic interpolation.
#pragma once

#include <cmath>
#include <vector>

namespace korvo::test {

struct PitchResult {
  double hz = 0.0;
  double peak = 0.0;     // normalised correlation at the best lag (1 = perfectly periodic)
  bool onBorder = true;  // best lag at the edge of the search range: pitch far off
};

// Searches lags within +-0.45 % (about 8 cents) of k expected periods, k chosen so that the lag
// is at most about half the signal. The signal must hold at least two expected periods.
inline constexpr double kSearch = 0.0045;

inline PitchResult measurePitch(const std::vector<float>& signal, double sampleRate, double expectedHz) {
  const int n = static_cast<int>(signal.size());
  std::vector<double> x(signal.begin(), signal.end());
  double mean = 0.0;
  for (double v : x) mean += v;
  mean /= n;
  for (double& v : x) v -= mean;
  const double period = sampleRate / expectedHz;
  // At most 60 periods, so that the search window stays inside half a period and cannot reach
  // the neighbouring correlation peaks.
  int k = static_cast<int>(std::floor((n / 2.0) / period));
  k = k < 1 ? 1 : (k > 60 ? 60 : k);
  const double centre = k * period;
  const int lo = static_cast<int>(std::floor(centre * (1.0 - kSearch))) - 1;
  const int hi = static_cast<int>(std::ceil(centre * (1.0 + kSearch))) + 1;
  const int window = n - hi;
  PitchResult res;
  if (window < n / 4 || lo < 1) return res;
  // Energies of every window position from prefix sums, so each lag costs one dot product.
  std::vector<double> prefix(x.size() + 1, 0.0);
  for (std::size_t i = 0; i < x.size(); ++i) prefix[i + 1] = prefix[i] + x[i] * x[i];
  const auto span = static_cast<std::size_t>(window);
  auto corr = [&](std::size_t lag) {
    double xy = 0;
    for (std::size_t i = 0; i < span; ++i) xy += x[i] * x[i + lag];
    const double xx = prefix[span], yy = prefix[lag + span] - prefix[lag];
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
  };
  const auto first = static_cast<std::size_t>(lo), count = static_cast<std::size_t>(hi - lo + 1);
  std::vector<double> r(count);
  std::size_t best = 0;
  for (std::size_t j = 0; j < count; ++j) {
    r[j] = corr(first + j);
    if (r[j] > r[best]) best = j;
  }
  res.peak = r[best];
  res.onBorder = best == 0 || best == count - 1;
  double lag = static_cast<double>(first + best);
  if (!res.onBorder) {
    const double a = r[best - 1], b = r[best], c = r[best + 1];
    const double d = a - 2 * b + c;
    if (d < 0) lag += 0.5 * (a - c) / d;
  }
  res.hz = k * sampleRate / lag;
  return res;
}

inline double cents(double hz, double reference) { return 1200.0 * std::log2(hz / reference); }

inline double noteHz(int note) { return 440.0 * std::exp2((note - 69) / 12.0); }

}  // namespace korvo::test
