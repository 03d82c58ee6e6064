#include <gtest/gtest.h>

#include <cmath>

#include "decoder/Tables.h"
#include "decoder/generated/IsoTables.h"

namespace tovira {
namespace {

TEST(Tables, SynthesisWindowHasItsTellingValues) {
  const int32_t* w = iso::kSynthesisWindow;
  EXPECT_EQ(w[0], 0);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(w[i], -1) << i;
  for (int i = 7; i <= 10; ++i) EXPECT_EQ(w[i], -2) << i;
  EXPECT_EQ(w[255], 74992);
  EXPECT_EQ(w[256], 75038);
  // The sign alternation is removed: the prototype window is smooth everywhere.
  for (int i = 1; i < 256; ++i) EXPECT_LE(std::abs(w[i + 1] - 2 * w[i] + w[i - 1]), 100) << i;
}

TEST(Tables, Layer2AllocationTablesMatchTheStandardsShape) {
  const int limits[5] = {27, 30, 8, 12, 30};
  for (int t = 0; t < 5; ++t) {
    const iso::Layer2Alloc& a = iso::kLayer2Alloc[t];
    EXPECT_EQ(a.subbandLimit, limits[t]);
    for (int sb = 0; sb < 32; ++sb) {
      const int nbal = a.rows[sb][0].bits;
      if (sb >= a.subbandLimit) {
        EXPECT_EQ(nbal, 0) << t << "/" << sb;
        continue;
      }
      ASSERT_TRUE(nbal >= 2 && nbal <= 4) << t << "/" << sb;
      int lastSteps = 1;
      for (int v = 1; v < (1 << nbal); ++v) {
        const iso::Layer2Quant q = a.rows[sb][v];
        const int steps = q.d > 0 ? q.d : (1 << q.bits) - 1;
        EXPECT_GT(steps, lastSteps) << t << "/" << sb << "/" << v;  // step counts increase
        lastSteps = steps;
        if (q.d > 0) {
          EXPECT_EQ(q.bits, q.d == 3 ? 5 : q.d == 5 ? 7 : 10);
        } else {
          EXPECT_EQ(q.d, -((1 << (q.bits - 1)) - 1));
        }
      }
    }
  }
  // Spot checks: B.2a sub-band 0 starts 3, 7, 15 steps and ends at 65535; B.2c sub-band 2 ends at 127.
  EXPECT_EQ(iso::kLayer2Alloc[0].rows[0][1].d, 3);
  EXPECT_EQ(iso::kLayer2Alloc[0].rows[0][2].bits, 3);
  EXPECT_EQ(iso::kLayer2Alloc[0].rows[0][15].bits, 16);
  EXPECT_EQ(iso::kLayer2Alloc[2].rows[2][7].bits, 7);
  EXPECT_EQ(iso::kLayer2Alloc[4].rows[29][0].bits, 2);
}

TEST(Tables, MultipliersRequantiseEveryCodeToItsLevel) {
  const Layer12Tables t;
  // Column 63 silences; column 3 is the unscaled multiplier.
  for (int k = 0; k < Layer12Tables::kRows; ++k) {
    EXPECT_EQ(t.muls[k][63], 0.0f);
    EXPECT_FLOAT_EQ(t.muls[k][3], static_cast<float>(Layer12Tables::Multiplier(k)));
  }
  EXPECT_FLOAT_EQ(t.muls[2][0], 4.0f / 3.0f);
  EXPECT_NEAR(t.muls[16][62], 2.0 / 65535.0 * std::exp2((3 - 62) / 3.0), 1e-12);
  // Ungrouped classes: (code + d) * m_bits is the level (2 code - (steps - 1)) / steps.
  for (int bits = 3; bits <= 16; ++bits) {
    const int steps = (1 << bits) - 1, d = -((1 << (bits - 1)) - 1);
    for (int code : {0, 1, steps / 2, steps - 1}) {
      const double level = (2.0 * code - (steps - 1)) / steps;
      EXPECT_NEAR((code + d) * Layer12Tables::Multiplier(bits), level, 1e-12) << bits << "/" << code;
    }
  }
}

TEST(Tables, GroupingTablesDegroupLeastSignificantDigitFirst) {
  const Layer12Tables t;
  struct Case {
    const uint8_t (*table)[3];
    int steps, codes;
  };
  const Case cases[] = {{t.group3, 3, 32}, {t.group5, 5, 128}, {t.group9, 9, 1024}};
  for (const Case& c : cases) {
    for (int code = 0; code < c.codes; ++code) {
      const int digits[3] = {code % c.steps, (code / c.steps) % c.steps, code / (c.steps * c.steps)};
      for (int k = 0; k < 3; ++k) {
        const double got = Layer12Tables::Multiplier(c.table[code][k]);
        if (code >= c.steps * c.steps * c.steps) {
          EXPECT_EQ(c.table[code][k], 0) << c.steps << "/" << code;  // beyond the last group: silence
        } else {
          EXPECT_NEAR(got, (2.0 * digits[k] - (c.steps - 1)) / c.steps, 1e-12) << c.steps << "/" << code << "/" << k;
        }
      }
    }
  }
  EXPECT_EQ(t.group3[27][0], 0);
  EXPECT_EQ(t.group3[26][2], 2);  // the top level, 2/3
}

}  // namespace
}  // namespace tovira
