#pragma once
// Comparing interleaved stereo PCM with a reference: correlation at a lag, the best lag near 0,
// and runs of near silence.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace tovira::test {

// Normalised correlation of the mono mixes of b[i] and a[i + lag], over b's length.
inline double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, long lag) {
  double dot = 0, ea = 0, eb = 0;
  for (long i = 0; i < long(b.size() / 2); ++i) {
    const long j = i + lag;
    if (j < 0 || 2 * j + 1 >= long(a.size())) continue;
    const double x = double(a[2 * j]) + a[2 * j + 1], y = double(b[2 * i]) + b[2 * i + 1];
    dot += x * y, ea += x * x, eb += y * y;
  }
  return ea > 0 && eb > 0 ? dot / std::sqrt(ea * eb) : 0;
}

// The lag in [-reach, reach] at which `b` correlates best with `a`.
inline long BestLag(const std::vector<int16_t>& a, const std::vector<int16_t>& b, long reach = 8) {
  long best = -reach;
  double top = Correlation(a, b, best);
  for (long lag = -reach + 1; lag <= reach; ++lag) {
    const double r = Correlation(a, b, lag);
    if (r > top) top = r, best = lag;
  }
  return best;
}

// The longest run of stereo samples within `reach` of `at` where both channels stay within ±32.
inline long QuietRun(const std::vector<int16_t>& pcm, long at, long reach = 2048) {
  long run = 0, longest = 0;
  for (long i = std::max(0L, at - reach); i < std::min(long(pcm.size() / 2), at + reach); ++i) {
    run = (std::abs(pcm[2 * i]) <= 32 && std::abs(pcm[2 * i + 1]) <= 32) ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

}  // namespace tovira::test
