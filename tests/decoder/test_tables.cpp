#include <gtest/gtest.h>

#include <cmath>

#include "decoder/Tables.h"

namespace tovira {
namespace {

TEST(Tables, MultipliersRequantiseEveryCodeToItsLevel) {
  const Layer12Tables t;
  // Column 63 (the forbidden index) silences.
  for (int k = 0; k < Layer12Tables::kRows; ++k) EXPECT_EQ(t.muls[k][63], 0.0f);
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
}

}  // namespace
}  // namespace tovira
