#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "decoder/Layer3Hybrid.h"

namespace tovira::layer3 {
namespace {

const Tables& T() {
  static const Tables tables;
  return tables;
}

// The IMDCT, windows, overlap, alias butterflies and the long-block intensity rules are checked
// sample by sample by the Layer III compliance streams (every block type, mixed blocks, odd
// sub-band limits, intensity in both versions); here MPEG-2 short blocks with mid/side and
// positions above 15, which those streams do not reach.

// Left and right factors of MPEG-2 intensity position p, from the standard's formula.
double Ratio(int p, int intensityScale, bool leftSide) {
  const double base = std::pow(2.0, -(intensityScale + 1) / 4.0);
  if (p & 1) return leftSide ? std::pow(base, (p + 1) / 2) : 1.0;
  return leftSide ? 1.0 : std::pow(base, p / 2);
}

// MPEG-2 short blocks with mid/side: the ratios carry sqrt 2, positions above 15 follow the same
// formula, each window starts at its own last coded band, and band 12 follows band 11 (neutral
// when band 11 is coded, not intensity-coded when band 11 is not).
TEST(Layer3Hybrid, IntensityStereoLsfShortBlocksWithMidSide) {
  const int rate = 3;  // 22.05 kHz
  const auto& b = T().bands[rate];
  std::vector<float> left(576, 0.5f), right(576, 0.0f);
  ScaleFactors sf;
  for (int k = 0; k < 39; ++k) {
    sf.v[k] = 16 + (k % 15);
    sf.maxPosition[k] = 31;
  }
  sf.v[3 * 7 + 0] = sf.v[3 * 11 + 0] = 31;  // window 0: bands 7 and 11 (so 12) not intensity-coded
  const GranuleInfo gi{.scalefac_compress = 1, .block_type = 2, .maxband = {5, 12, 13}};  // intensity scale k = 1
  ApplyIntensityStereo(left.data(), right.data(), sf, gi, rate, true, true, T());
  for (int w = 0; w < 3; ++w) {
    for (int band = 0; band < 13; ++band) {
      const int k = 3 * std::min(band, 11) + w;
      const bool neutral = band == 12 && gi.maxband[w] == 12;
      const bool processed = band >= gi.maxband[w] && (neutral || sf.v[k] != 31);
      const int p = neutral ? 0 : sf.v[k];
      for (int i = b.shortBoundary[band] + w, n = 0; n < b.shortWidth[band]; ++n, i += 3) {
        const double l = processed ? 0.5 * std::sqrt(2.0) * Ratio(p, 1, true) : 0.5;
        const double r = processed ? 0.5 * std::sqrt(2.0) * Ratio(p, 1, false) : 0.0;
        ASSERT_NEAR(left[i], l, 1e-6) << "window " << w << " band " << band;
        ASSERT_NEAR(right[i], r, 1e-6) << "window " << w << " band " << band;
      }
    }
  }
}

}  // namespace
}  // namespace tovira::layer3
