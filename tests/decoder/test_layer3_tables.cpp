#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "Layer3TestBits.h"
#include "decoder/Layer3Tables.h"
#include "decoder/generated/layer3_tables.h"

namespace tovira::layer3 {
namespace {

const Tables& T() {
  static const Tables tables;
  return tables;
}

TEST(Layer3Tables, GainAndPowerEntries) {
  EXPECT_EQ(T().gain[46], 1.0f);  // global_gain 210 gives a factor of 1
  EXPECT_FLOAT_EQ(T().gain[50], 0.5f);
  EXPECT_FLOAT_EQ(T().gain[0], static_cast<float>(std::pow(2.0, 11.5)));
  EXPECT_EQ(T().power[0], 0.0f);
  EXPECT_EQ(T().power[1], 1.0f);
  EXPECT_FLOAT_EQ(T().power[8], 16.0f);
  // The largest value reachable with 13 linbits.
  EXPECT_FLOAT_EQ(T().power[8206], static_cast<float>(std::pow(8206.0, 4.0 / 3.0)));
}

TEST(Layer3Tables, LsfScaleFactorLengths) {
  const uint16_t w = T().lsfSlen[511];
  EXPECT_EQ(w & 7, 3);
  EXPECT_EQ((w >> 3) & 7, 2);
  EXPECT_EQ((w >> 12) & 7, 2);
  EXPECT_EQ(w >> 15, 1);
  const uint16_t first = T().lsfSlen[399];  // last entry of row 0: 24 / 5, 24 % 5, 15 / 4, 15 % 4
  EXPECT_EQ(first & 7, 4);
  EXPECT_EQ((first >> 3) & 7, 4);
  EXPECT_EQ((first >> 6) & 7, 3);
  EXPECT_EQ((first >> 9) & 7, 3);
  EXPECT_EQ((first >> 12) & 7, 0);
  const uint16_t is = T().lsfSlenIntensity[179];  // 179 / 36 = 4, 35 / 6 = 5, 179 % 6 = 5, row 3
  EXPECT_EQ(is & 7, 4);
  EXPECT_EQ((is >> 3) & 7, 5);
  EXPECT_EQ((is >> 6) & 7, 5);
  EXPECT_EQ((is >> 12) & 7, 3);
  EXPECT_EQ(is >> 15, 0);
}

// Each map writes inside the 576 values, never twice to one place; long and short maps cover
// every place, and a mixed map keeps its long bands below line 36.
TEST(Layer3Tables, BandMapsCoverTheSpectrumOnce) {
  for (int rate = 0; rate < kRates; ++rate) {
    for (int kind = 0; kind < 3; ++kind) {
      SCOPED_TRACE(::testing::Message() << "rate " << rate << " kind " << kind);
      const BandMap& m = T().map[rate][kind];
      std::vector<int> hits(576, 0);
      for (int e = 0; e < m.count; ++e) {
        const BandMapEntry& b = m.entries[e];
        const int step = b.window == 3 ? 1 : 3;
        for (int i = 0; i < 2 * b.pairs; ++i) {
          const int at = b.start + i * step;
          ASSERT_LT(at, 576);
          ++hits[at];
        }
        if (kind == kMapMixed && b.window == 3) {
          EXPECT_LE(b.start + 2 * b.pairs, 36);
        }
        if (kind == kMapMixed && b.window != 3) {
          EXPECT_GE(b.start, 36);
        }
      }
      for (int i = 0; i < 576; ++i) {
        EXPECT_LE(hits[i], 1) << i;
        if (kind != kMapMixed || rate != 8) {
          EXPECT_EQ(hits[i], 1) << i;
        }
      }
      EXPECT_LE(m.count, kMaxMapEntries);
    }
  }
  EXPECT_EQ(T().map[0][kMapMixed].longBands, 8);
  EXPECT_EQ(T().map[3][kMapMixed].longBands, 6);
  EXPECT_EQ(T().map[0][kMapLong].count, 22);
  EXPECT_EQ(T().map[0][kMapShort].count, 39);
  EXPECT_EQ(T().map[0][kMapMixed].count, 38);
}

TEST(Layer3Tables, SubbandLimits) {
  for (int rate = 0; rate < kRates; ++rate) {
    EXPECT_EQ(T().shortLimit[rate][0], 1);
    EXPECT_EQ(T().longLimit[rate][0], 1);
    EXPECT_EQ(T().longLimit[rate][22], 32);
    EXPECT_EQ(T().shortLimit[rate][13], 32);
    for (int i = 1; i < 23; ++i) EXPECT_GE(T().longLimit[rate][i], T().longLimit[rate][i - 1]);
  }
  // 44.1 kHz long band 8 starts at line 36: data below it reaches sub-band 2 after alias reduction.
  EXPECT_EQ(T().longLimit[0][8], 3);
}

TEST(Layer3Tables, IntensityRatios) {
  // MPEG-1 position 6: tan(pi / 2) is huge, so everything goes left.
  EXPECT_NEAR(T().intensity1[0][6], 1.0f, 1e-6);
  EXPECT_NEAR(T().intensity1[1][6], 0.0f, 1e-6);
  EXPECT_FLOAT_EQ(T().intensity1[0][0], 0.0f);
  EXPECT_FLOAT_EQ(T().intensity1[1][0], 1.0f);
  EXPECT_FLOAT_EQ(T().intensity1[0][3] + T().intensity1[1][3], 1.0f);
  EXPECT_FLOAT_EQ(T().intensity1[2][2], std::sqrt(2.0f) * T().intensity1[0][2]);
  // MPEG-2: odd positions scale the left channel, even positions the right, up to position 31.
  for (int k = 0; k < 2; ++k) {
    const double base = std::pow(2.0, -0.25 * (k + 1));
    EXPECT_FLOAT_EQ(T().intensity2[0][k][0], 1.0f);
    EXPECT_FLOAT_EQ(T().intensity2[1][k][0], 1.0f);
    EXPECT_FLOAT_EQ(T().intensity2[0][k][5], static_cast<float>(std::pow(base, 3)));
    EXPECT_FLOAT_EQ(T().intensity2[1][k][5], 1.0f);
    EXPECT_FLOAT_EQ(T().intensity2[1][k][30], static_cast<float>(std::pow(base, 15)));
    EXPECT_FLOAT_EQ(T().intensity2[0][k][31], static_cast<float>(std::pow(base, 16)));
  }
}

TEST(Layer3Tables, WindowsCarryTheTransformNormalisation) {
  const double pi = std::acos(-1.0);
  for (int i = 0; i < 36; ++i) {
    const double plain = std::sin(pi * (2 * i + 1) / 72);
    EXPECT_NEAR(T().window[0][0][i] * 2 * std::cos(pi * (2 * i + 19) / 72), plain, 1e-6) << i;
    EXPECT_EQ(T().window[1][0][i], (i & 1) ? -T().window[0][0][i] : T().window[0][0][i]);
  }
  for (int i = 30; i < 36; ++i) EXPECT_EQ(T().window[0][1][i], 0.0f);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(T().window[0][3][i], 0.0f);
}

// Walks a tree array: a negative word branches (a 1 bit skips -w words), a leaf is the value.
int WalkTree(const int16_t* tree, const std::vector<int>& bits, size_t& used) {
  int i = 0;
  used = 0;
  while (tree[i] < 0) {
    const int b = bits.at(used++);
    i = i + 1 + (b ? -tree[i] : 0);
  }
  return tree[i];
}

// Decodes through the lookup tables the way the spectrum decoder does.
int LookupDecode(int table, const std::vector<int>& bits, int& length) {
  uint32_t window = 0;
  for (size_t i = 0; i < 32; ++i) window = (window << 1) | (i < bits.size() ? bits[i] : 0);
  uint32_t e = kHuffLookup[kHuffRoot[table] + (window >> (32 - kHuffRootBits[table]))];
  uint32_t used = kHuffRootBits[table];
  while (e & 0x80000000u) {
    const uint32_t w = (e >> 24) & 15;
    e = kHuffLookup[(e & 0xFFFFFFu) + ((window << used) >> (32 - w))];
    used += w;
  }
  length = static_cast<int>((e >> 8) & 0xFF);
  return static_cast<int>(e & 0xFF);
}

// Enumerates every code word of a tree array, then checks the lookup decodes each one to the
// same value with the same length, whatever bits follow it.
TEST(Layer3Tables, LookupAgreesWithTreeArrays) {
  const int16_t table1[] = {-5, -3, -1, 17, 1, 16, 0};
  EXPECT_TRUE(std::equal(table1, table1 + 7, kHuffTree + kHuffTreeOffset[1]));
  std::set<int> seenTables;
  for (int table = 1; table < 32; ++table) {
    if (kHuffTreeOffset[table] < 0) continue;
    const int16_t* tree = kHuffTree + kHuffTreeOffset[table];
    const auto codeWords = test::CodesOf(tree);
    const int codes = static_cast<int>(codeWords.size());
    for (const auto& [value, prefix] : codeWords) {
      for (int tail : {0, 1}) {
        std::vector<int> bits = prefix;
        bits.insert(bits.end(), 24, tail);
        int length = 0;
        ASSERT_EQ(LookupDecode(table, bits, length), value) << "table " << table;
        ASSERT_EQ(length, static_cast<int>(prefix.size())) << "table " << table;
        size_t used = 0;
        ASSERT_EQ(WalkTree(tree, bits, used), value);
      }
    }
    seenTables.insert(kHuffTreeOffset[table]);
    const int xlen = table == 1 ? 2 : table < 4 ? 3 : table < 7 ? 4 : table < 10 ? 6 : table < 13 ? 8 : 16;
    EXPECT_EQ(codes, xlen * xlen) << "table " << table;
  }
  EXPECT_EQ(seenTables.size(), 15u);  // 0, 4 and 14 have no codes; 16-23 and 24-31 share theirs
  for (int table : {0, 4, 14}) EXPECT_EQ(kHuffRootBits[table], 0);
  EXPECT_EQ(kLinbits[16], 1);
  EXPECT_EQ(kLinbits[23], 13);
  EXPECT_EQ(kLinbits[24], 4);
  EXPECT_EQ(kLinbits[31], 13);
}

TEST(Layer3Tables, Count1LookupAgreesWithTrees) {
  for (int t = 0; t < 2; ++t) {
    const int8_t* tree = kCount1Tree + kCount1TreeOffset[t];
    for (int code = 0; code < 64; ++code) {
      int i = 0;
      int used = 0;
      while (tree[i] < 0) {
        const int b = (code >> (5 - used)) & 1;
        ++used;
        i = i + 1 + (b ? -tree[i] : 0);
      }
      EXPECT_EQ(kCount1Lookup[64 * t + code] & 0xFF, tree[i]);
      EXPECT_EQ(kCount1Lookup[64 * t + code] >> 8, used);
    }
  }
  // Table B is the complement of v w x y in four bits.
  for (int code = 0; code < 64; ++code) EXPECT_EQ(kCount1Lookup[64 + code] & 15, 15 - (code >> 2));
}

}  // namespace
}  // namespace tovira::layer3
