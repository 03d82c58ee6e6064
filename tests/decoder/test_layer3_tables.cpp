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
      }
    }
    seenTables.insert(kHuffTreeOffset[table]);
    const int xlen = table == 1 ? 2 : table < 4 ? 3 : table < 7 ? 4 : table < 10 ? 6 : table < 13 ? 8 : 16;
    EXPECT_EQ(codes, xlen * xlen) << "table " << table;
  }
  EXPECT_EQ(seenTables.size(), 15u);  // 0, 4 and 14 have no codes; 16-23 and 24-31 share theirs
  for (int table : {0, 4, 14}) EXPECT_EQ(kHuffRootBits[table], 0);
}

TEST(Layer3Tables, Count1LookupAgreesWithTrees) {
  for (int t = 0; t < 2; ++t) {
    for (int vwxy = 0; vwxy < 16; ++vwxy) {
      const std::vector<int> code = test::QuadCode(t, vwxy);
      const int shift = 6 - static_cast<int>(code.size());
      int prefix = 0;
      for (int b : code) prefix = 2 * prefix + b;
      for (int tail = 0; tail < (1 << shift); ++tail) {  // whatever bits follow the code word
        EXPECT_EQ(kCount1Lookup[64 * t + (prefix << shift) + tail] & 0xFF, vwxy);
        EXPECT_EQ(kCount1Lookup[64 * t + (prefix << shift) + tail] >> 8, code.size());
      }
    }
  }
  // Table B is the complement of v w x y in four bits.
  for (int code = 0; code < 64; ++code) EXPECT_EQ(kCount1Lookup[64 + code] & 15, 15 - (code >> 2));
}

}  // namespace
}  // namespace tovira::layer3
