#include <gtest/gtest.h>

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

TEST(Layer3Hybrid, FastTransformsMatchTheDirectSums) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> d(-1.0f, 1.0f);
  for (int round = 0; round < 20; ++round) {
    float in[18], z[18];
    for (float& v : in) v = d(rng);
    Imdct36(in, z, T());
    for (int i = 0; i < 36; ++i) {
      double ref = 0;
      for (int k = 0; k < 18; ++k) ref += in[k] * std::cos(kPi / 72 * (2 * i + 19) * (2 * k + 1));
      const int m = i < 9 ? i + 9 : i < 27 ? 26 - i : i - 27;
      EXPECT_NEAR(z[m] * 0.5 / std::cos(kPi * (2 * i + 19) / 72), ref, 2e-5) << i;
    }
    float in6[6], z6[6];
    for (float& v : in6) v = d(rng);
    Imdct12(in6, z6, T());
    for (int i = 0; i < 12; ++i) {
      double ref = 0;
      for (int k = 0; k < 6; ++k) ref += in6[k] * std::cos(kPi / 24 * (2 * i + 7) * (2 * k + 1));
      const int m = i < 3 ? i + 3 : i < 9 ? 8 - i : i - 9;
      EXPECT_NEAR(z6[m] * 0.5 / std::cos(kPi * (2 * i + 7) / 24), ref, 1e-5) << i;
    }
  }
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
    GranuleInfo gi;
    gi.block_type = s.type;
    gi.mixed_block_flag = s.mixed;
    gi.maxb = 32;
    float out[18][32];
    HybridSynthesis(x.data(), overlap, out, gi, T());
    const auto expected = ref.Run(spectrum, s.type, s.mixed);
    for (int t = 0; t < 18; ++t) {
      for (int sb = 0; sb < 32; ++sb) ASSERT_NEAR(out[t][sb], expected[t][sb], 2e-5) << t << " " << sb;
    }
  }
}

// With maxb = 1 only the first pair of sub-bands is transformed; the rest play their overlap
// tails and are silent after that, whatever the spectrum holds there.
TEST(Layer3Hybrid, SubbandsAboveMaxbOnlyPlayTheirTail) {
  std::mt19937 rng(3);
  ReferenceHybrid ref;
  alignas(16) float overlap[576] = {};
  GranuleInfo gi;
  gi.maxb = 32;
  const std::vector<double> loud = RandomSpectrum(rng, 0.5);
  std::vector<float> x(loud.begin(), loud.end());
  float out[18][32];
  HybridSynthesis(x.data(), overlap, out, gi, T());
  ref.Run(loud, 0, false);

  // A silent granule: only the tail of the loud one comes out.
  std::vector<double> quiet(576, 0.0);
  std::vector<float> xq(576, 0.0f);
  for (int i = 36; i < 576; ++i) xq[i] = 1000.0f;  // above maxb: must be ignored
  gi.maxb = 1;
  HybridSynthesis(xq.data(), overlap, out, gi, T());
  const auto tail = ref.Run(quiet, 0, false);
  double energy = 0;
  for (int t = 0; t < 18; ++t) {
    for (int sb = 0; sb < 32; ++sb) {
      ASSERT_NEAR(out[t][sb], tail[t][sb], 2e-5);
      energy += out[t][sb] * out[t][sb];
    }
  }
  EXPECT_GT(energy, 0.1);
  HybridSynthesis(xq.data(), overlap, out, gi, T());
  for (int t = 0; t < 18; ++t) {
    for (int sb = 2; sb < 32; ++sb) EXPECT_EQ(out[t][sb], 0.0f);
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
    GranuleInfo gi;
    gi.block_type = c.type;
    gi.mixed_block_flag = c.mixed;
    gi.maxb = c.maxb;
    AntiAlias(x.data(), gi, T());
    ReferenceButterflies(expected, c.boundaries);
    for (int i = 0; i < 576; ++i) ASSERT_NEAR(x[i], expected[i], 1e-6) << "type " << c.type << " at " << i;
  }
}

TEST(Layer3Hybrid, IntensityStereoLongBlocks) {
  const int rate = 0;  // 44.1 kHz
  const auto& b = T().bands[rate];
  std::vector<float> left(576, 0.0f), right(576, 0.0f);
  for (int i = 0; i < 576; ++i) left[i] = 1.0f + static_cast<float>(i % 7);
  for (int i = 0; i < b.longBoundary[10]; ++i) right[i] = -2.0f;  // channel 1 coded up to band 9
  const std::vector<float> l0 = left, r0 = right;
  ScaleFactors sf;
  for (int band = 0; band < 22; ++band) sf.v[band] = band % 8;  // band 15 has position 7
  sf.v[20] = 2;
  GranuleInfo gi;
  gi.maxbandl = 10;
  ApplyIntensityStereo(left.data(), right.data(), sf, gi, rate, false, false, T());
  for (int band = 0; band < 22; ++band) {
    const int p = band == 21 ? sf.v[20] : sf.v[band];
    for (int i = b.longBoundary[band]; i < b.longBoundary[band + 1]; ++i) {
      if (band < 10 || p == 7) {
        EXPECT_EQ(left[i], l0[i]);
        EXPECT_EQ(right[i], r0[i]);
      } else {
        const double t = std::tan(p * kPi / 12);
        EXPECT_NEAR(left[i], l0[i] * t / (1 + t), 1e-5) << band;
        EXPECT_NEAR(right[i], l0[i] / (1 + t), 1e-5) << band;
      }
    }
  }
}

// MPEG-2 with mid/side: the ratios carry sqrt 2, positions above 15 follow the same formula,
// and short windows use their own bands from each window's last coded band on.
TEST(Layer3Hybrid, IntensityStereoLsfShortBlocksWithMidSide) {
  const int rate = 3;  // 22.05 kHz
  const auto& b = T().bands[rate];
  std::vector<float> left(576, 0.5f), right(576, 0.0f);
  ScaleFactors sf;
  for (int k = 0; k < 39; ++k) sf.v[k] = 16 + (k % 16);
  GranuleInfo gi;
  gi.block_type = 2;
  gi.scalefac_compress = 1;  // intensity scale k = 1
  gi.maxband[0] = 5;
  gi.maxband[1] = 13;
  gi.maxband[2] = 12;
  ApplyIntensityStereo(left.data(), right.data(), sf, gi, rate, true, true, T());
  const double base = std::pow(2.0, -0.5);
  auto ratio = [&](int p, bool leftSide) {
    if (p & 1) return leftSide ? std::pow(base, (p + 1) / 2) : 1.0;
    return leftSide ? 1.0 : std::pow(base, p / 2);
  };
  for (int w = 0; w < 3; ++w) {
    for (int band = 0; band < 13; ++band) {
      const int p = sf.v[3 * std::min(band, 11) + w];
      const bool processed = band >= gi.maxband[w];
      for (int i = b.shortBoundary[band] + w, n = 0; n < b.shortWidth[band]; ++n, i += 3) {
        const double l = processed ? 0.5 * std::sqrt(2.0) * ratio(p, true) : 0.5;
        const double r = processed ? 0.5 * std::sqrt(2.0) * ratio(p, false) : 0.0;
        ASSERT_NEAR(left[i], l, 1e-6) << "window " << w << " band " << band;
        ASSERT_NEAR(right[i], r, 1e-6) << "window " << w << " band " << band;
      }
    }
  }
}

}  // namespace
}  // namespace tovira::layer3
