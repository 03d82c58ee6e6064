#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "decoder/Layer3Hybrid.h"

namespace tovira::layer3 {
namespace {

const Tables& T() {
  static const Tables tables;
  return tables;
}

const double kPi = std::acos(-1.0);

// The hybrid synthesis as the standard writes it, in double precision: a direct IMDCT per
// sub-band, plain windows, overlap-add, and odd samples of odd sub-bands negated afterwards.
class ReferenceHybrid {
 public:
  std::vector<std::array<double, 32>> Run(const std::vector<double>& x, int blockType, bool mixed) {
    std::vector<std::array<double, 32>> out(18);
    for (int sb = 0; sb < 32; ++sb) {
      const int type = mixed && sb < 2 ? 0 : blockType;
      double raw[36] = {};
      if (type == 2) {
        for (int w = 0; w < 3; ++w) {
          for (int i = 0; i < 12; ++i) {
            double y = 0;
            for (int k = 0; k < 6; ++k) y += x[18 * sb + 3 * k + w] * std::cos(kPi / 24 * (2 * i + 7) * (2 * k + 1));
            raw[6 + 6 * w + i] += y * std::sin(kPi * (2 * i + 1) / 24);
          }
        }
      } else {
        for (int i = 0; i < 36; ++i) {
          double y = 0;
          for (int k = 0; k < 18; ++k) y += x[18 * sb + k] * std::cos(kPi / 72 * (2 * i + 19) * (2 * k + 1));
          raw[i] = y * Window(type, i);
        }
      }
      for (int t = 0; t < 18; ++t) {
        double v = overlap_[sb][t] + raw[t];
        if ((sb & 1) && (t & 1)) v = -v;
        out[t][sb] = v;
        overlap_[sb][t] = raw[18 + t];
      }
    }
    return out;
  }

  static double Window(int type, int i) {
    const double normal = std::sin(kPi / 36 * (i + 0.5));
    switch (type) {
      case 1:
        return i < 18 ? normal : i < 24 ? 1.0 : i < 30 ? std::sin(kPi / 12 * (i - 18 + 0.5)) : 0.0;
      case 3:
        return i < 6 ? 0.0 : i < 12 ? std::sin(kPi / 12 * (i - 6 + 0.5)) : i < 18 ? 1.0 : normal;
      default:
        return normal;
    }
  }

 private:
  double overlap_[32][18] = {};
};

std::vector<double> RandomSpectrum(std::mt19937& rng, double amplitude) {
  std::uniform_real_distribution<double> d(-amplitude, amplitude);
  std::vector<double> x(576);
  for (double& v : x) v = d(rng);
  return x;
}

// A sequence of granules through every block type and window transition, mixed blocks included,
// so the overlap and the sign-alternating windows are checked across granule boundaries.
TEST(Layer3Hybrid, MatchesTheDirectFormAcrossBlockTypes) {
  struct Step {
    int type;
    bool mixed;
  };
  const Step steps[] = {{0, false}, {1, false}, {2, false}, {2, true}, {3, false}, {0, false},
                        {1, true},  {2, true},  {3, true},  {0, false}, {2, false}, {3, false}};
  std::mt19937 rng(11);
  ReferenceHybrid ref;
  alignas(16) float overlap[576] = {};
  for (const Step& s : steps) {
    SCOPED_TRACE(::testing::Message() << "block type " << s.type << " mixed " << s.mixed);
    const std::vector<double> spectrum = RandomSpectrum(rng, 0.2);
    std::vector<float> x(spectrum.begin(), spectrum.end());
    const GranuleInfo gi{.block_type = s.type, .mixed_block_flag = s.mixed, .maxb = 32};
    float out[18][32];
    HybridSynthesis(x.data(), overlap, out, gi, T());
    const auto expected = ref.Run(spectrum, s.type, s.mixed);
    for (int t = 0; t < 18; ++t) {
      for (int sb = 0; sb < 32; ++sb) ASSERT_NEAR(out[t][sb], expected[t][sb], 2e-5) << t << " " << sb;
    }
  }
}

void ReferenceButterflies(std::vector<float>& x, int boundaries) {
  const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
  for (int sb = 1; sb <= boundaries; ++sb) {
    for (int i = 0; i < 8; ++i) {
      const double cs = 1 / std::sqrt(1 + c[i] * c[i]);
      const double ca = c[i] / std::sqrt(1 + c[i] * c[i]);
      const double bu = x[18 * sb - 1 - i];
      const double bd = x[18 * sb + i];
      x[18 * sb - 1 - i] = static_cast<float>(bu * cs - bd * ca);
      x[18 * sb + i] = static_cast<float>(bd * cs + bu * ca);
    }
  }
}

TEST(Layer3Hybrid, AliasReductionByBlockType) {
  std::mt19937 rng(5);
  const std::vector<double> s = RandomSpectrum(rng, 1.0);
  const std::vector<float> base(s.begin(), s.end());
  struct Case {
    int type, mixed, maxb, boundaries;
  };
  // Long: maxb - 1 boundaries; mixed: only between sub-bands 0 and 1; short: none.
  for (const Case c : {Case{0, 0, 32, 31}, Case{0, 0, 1, 0}, Case{1, 0, 7, 6}, Case{2, 1, 32, 1}, Case{2, 0, 32, 0},
                       Case{3, 1, 32, 31}}) {
    std::vector<float> x = base;
    std::vector<float> expected = base;
    const GranuleInfo gi{.block_type = c.type, .mixed_block_flag = c.mixed, .maxb = c.maxb};
    AntiAlias(x.data(), gi, T());
    ReferenceButterflies(expected, c.boundaries);
    for (int i = 0; i < 576; ++i) ASSERT_NEAR(x[i], expected[i], 1e-6) << "type " << c.type << " at " << i;
  }
}

// Left and right factors of intensity position p, from the standard's formulas.
double Ratio(int p, bool lsf, int intensityScale, bool leftSide) {
  if (!lsf) {
    const double t = std::tan(p * kPi / 12);
    return leftSide ? t / (1 + t) : 1 / (1 + t);
  }
  const double base = std::pow(2.0, -(intensityScale + 1) / 4.0);
  if (p & 1) return leftSide ? std::pow(base, (p + 1) / 2) : 1.0;
  return leftSide ? 1.0 : std::pow(base, p / 2);
}

struct IntensityCase {
  bool lsf;
  int maxbandl;
  int unusable;  // a band whose position marks it as not intensity-coded
};

class IntensityLong : public ::testing::TestWithParam<IntensityCase> {};

// Long blocks from the last coded band of channel 1 on. MPEG-1 marks uncoded bands with position
// 7; MPEG-2 with 2^slen - 1. Band 21 takes band 20's position, in MPEG-2 the neutral one when
// band 20 is coded below the bound.
TEST_P(IntensityLong, BandsAboveTheBound) {
  const IntensityCase c = GetParam();
  const int rate = c.lsf ? 3 : 0;
  const auto& b = T().bands[rate];
  std::vector<float> left(576), right(576, 0.0f);
  for (int i = 0; i < 576; ++i) left[i] = 1.0f + static_cast<float>(i % 7);
  for (int i = 0; i < b.longBoundary[c.maxbandl]; ++i) right[i] = -2.0f;
  const std::vector<float> l0 = left, r0 = right;
  ScaleFactors sf;
  for (int band = 0; band < 22; ++band) {
    sf.maxPosition[band] = band < 11 ? 15 : 7;  // 4-bit, then 3-bit scale factors
    sf.v[band] = band % 7;
  }
  sf.v[c.unusable] = c.lsf ? sf.maxPosition[c.unusable] : 7;
  if (!c.lsf) std::copy(sf.v, sf.v + 22, sf.maxPosition);  // MPEG-1 must not look at these
  const GranuleInfo gi{.scalefac_compress = 1, .maxbandl = c.maxbandl};
  ApplyIntensityStereo(left.data(), right.data(), sf, gi, rate, false, c.lsf, T());
  for (int band = 0; band < 22; ++band) {
    const int source = band == 21 ? 20 : band;
    const bool unusable = source == c.unusable;
    const bool neutral = band == 21 && c.lsf && c.maxbandl == 21;
    const int p = neutral ? 0 : sf.v[source];
    for (int i = b.longBoundary[band]; i < b.longBoundary[band + 1]; ++i) {
      if (band < c.maxbandl || (unusable && !neutral)) {
        ASSERT_EQ(left[i], l0[i]) << band;
        ASSERT_EQ(right[i], r0[i]) << band;
      } else {
        ASSERT_NEAR(left[i], l0[i] * Ratio(p, c.lsf, 1, true), 1e-5) << band;
        ASSERT_NEAR(right[i], l0[i] * Ratio(p, c.lsf, 1, false), 1e-5) << band;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, IntensityLong,
                         ::testing::Values(IntensityCase{false, 10, 15}, IntensityCase{false, 10, 20},
                                           IntensityCase{true, 10, 14}, IntensityCase{true, 10, 20},
                                           IntensityCase{true, 21, 20}));

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
        const double l = processed ? 0.5 * std::sqrt(2.0) * Ratio(p, true, 1, true) : 0.5;
        const double r = processed ? 0.5 * std::sqrt(2.0) * Ratio(p, true, 1, false) : 0.0;
        ASSERT_NEAR(left[i], l, 1e-6) << "window " << w << " band " << band;
        ASSERT_NEAR(right[i], r, 1e-6) << "window " << w << " band " << band;
      }
    }
  }
}

}  // namespace
}  // namespace tovira::layer3
