// The pitch of a recorded note, for the tests that play one through a program or a host.
#pragma once

#include <cstddef>
#include <vector>

namespace korvo {

// Pitch of a steady stretch by autocorrelation with parabolic refinement of the best lag.
inline double estimatePitch(const std::vector<float>& mono, std::size_t start, std::size_t length, int rate) {
  const int minLag = rate / 2000, maxLag = rate / 40;
  double best = -1e300;
  int bestLag = minLag;
  std::vector<double> corr(static_cast<std::size_t>(maxLag + 2), 0.0);
  for (int lag = minLag - 1; lag <= maxLag + 1; ++lag) {
    double c = 0;
    for (std::size_t i = start; i < start + length; ++i) c += mono[i] * mono[i + static_cast<std::size_t>(lag)];
    corr[static_cast<std::size_t>(lag)] = c;
  }
  // The first peak close to the maximum is the period, not a multiple of it.
  double maxCorr = 0;
  for (int lag = minLag; lag <= maxLag; ++lag) maxCorr = std::max(maxCorr, corr[static_cast<std::size_t>(lag)]);
  for (int lag = minLag; lag <= maxLag; ++lag) {
    const double c = corr[static_cast<std::size_t>(lag)];
    if (c > 0.9 * maxCorr && c >= corr[static_cast<std::size_t>(lag - 1)] &&
        c >= corr[static_cast<std::size_t>(lag + 1)]) {
      best = c;
      bestLag = lag;
      break;
    }
  }
  (void)best;
  const double a = corr[static_cast<std::size_t>(bestLag - 1)], b = corr[static_cast<std::size_t>(bestLag)],
               c = corr[static_cast<std::size_t>(bestLag + 1)];
  const double shift = (a - c) / (2.0 * (a - 2.0 * b + c));
  return rate / (bestLag + shift);
}

}  // namespace korvo
