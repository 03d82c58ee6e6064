#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <vector>

#include "Layer3TestBits.h"
#include "decoder/Layer3Spectrum.h"

namespace tovira::layer3 {
namespace {

using test::BitWriter;
using test::PairCode;
using test::QuadCode;

const Tables& T() {
  static const Tables tables;
  return tables;
}

// A long-block granule at 44.1 kHz with gain 1 and the given Huffman data length.
GranuleInfo LongGranule(int part23, int bigValues, int table0 = 0) {
  return {.part2_3_length = part23, .big_values = bigValues, .table_select = {table0}, .region1start = 288,
          .region2start = 288, .windowGainBase = {46, 46, 46}, .gainBase = 46};
}

struct Decoded {
  std::vector<float> x = std::vector<float>(576 + 16, 12345.0f);  // 16 sentinels past the end
  int result = 0;
  uint32_t position = 0;
};

Decoded Decode(const BitWriter& w, GranuleInfo& gi, const ScaleFactors& sf, int rate = 0, int part2 = 0) {
  Decoded d;
  const std::vector<uint8_t> bytes = w.Bytes();
  BitReader br(bytes.data(), static_cast<uint32_t>(bytes.size() - 32));
  d.result = DecodeSpectrum(br, d.x.data(), sf, gi, rate, part2, 32, T());
  d.position = br.Position();
  return d;
}

void Sign(BitWriter& w, bool negative) { w.PutBit(negative ? 1 : 0); }

// Region tables, pretab and the scale factor shift are checked by the compliance streams; here the
// corners they do not reach.
TEST(Layer3Spectrum, LinbitsReachTheTopOfThePowerTable) {
  BitWriter w;
  w.Append(PairCode(23, 15, 15));
  w.Put(8191, 13), Sign(w, true);
  w.Put(0, 13), Sign(w, false);
  GranuleInfo gi = LongGranule(w.Count(), 1, 23);
  const Decoded d = Decode(w, gi, ScaleFactors{});
  EXPECT_EQ(d.result, 0);
  EXPECT_FLOAT_EQ(d.x[0], -static_cast<float>(std::pow(8206.0, 4.0 / 3.0)));
  EXPECT_FLOAT_EQ(d.x[1], static_cast<float>(std::pow(15.0, 4.0 / 3.0)));
}

// Tables 4 and 14 decode zeros and read nothing: the count1 data starts right after.
TEST(Layer3Spectrum, MissingTablesReadNoBitsAndCount1Follows) {
  BitWriter w;
  w.Append(QuadCode(1, 0b1000)), Sign(w, true);   // table B
  w.Append(QuadCode(1, 0b0011)), Sign(w, false), Sign(w, true);
  GranuleInfo gi = LongGranule(w.Count(), 4);
  gi.region1start = 2;
  gi.table_select[0] = 4;
  gi.table_select[1] = 14;
  gi.count1table_select = 1;
  const Decoded d = Decode(w, gi, ScaleFactors{});
  EXPECT_EQ(d.result, 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(d.x[i], 0.0f);
  EXPECT_EQ(d.x[8], -1.0f);
  EXPECT_EQ(d.x[9], 0.0f);
  EXPECT_EQ(d.x[13], 0.0f);
  EXPECT_EQ(d.x[14], 1.0f);
  EXPECT_EQ(d.x[15], -1.0f);
  EXPECT_EQ(d.position, static_cast<uint32_t>(w.Count()));
}

// A count1 code cut by the budget gives a zero quadruple and no error; a big-values overrun does.
TEST(Layer3Spectrum, BudgetEndsCount1QuietlyButBigValuesOverrunFails) {
  BitWriter w;
  w.Append(QuadCode(0, 0b0100)), Sign(w, false);  // table A
  const int cut = w.Count() + 2;
  w.Append(QuadCode(0, 0b0001)), Sign(w, false);  // 4-bit code, only 2 bits of budget
  GranuleInfo gi = LongGranule(cut, 0);
  const Decoded d = Decode(w, gi, ScaleFactors{});
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.x[1], 1.0f);
  for (int i = 2; i < 576; ++i) ASSERT_EQ(d.x[i], 0.0f);

  // A sign bit beyond the budget abandons the quadruple: the values before it stay.
  BitWriter s;
  s.Append(QuadCode(0, 0b1010)), Sign(s, true);
  GranuleInfo gs = LongGranule(s.Count(), 0);
  const Decoded ds = Decode(s, gs, ScaleFactors{});
  EXPECT_EQ(ds.result, 0);
  EXPECT_EQ(ds.x[0], -1.0f);
  EXPECT_EQ(ds.x[2], 0.0f);

  BitWriter o;
  o.Append(PairCode(1, 1, 1)), Sign(o, false), Sign(o, false);
  GranuleInfo go = LongGranule(o.Count() - 1, 1, 1);
  EXPECT_EQ(Decode(o, go, ScaleFactors{}).result, 1);
}

// Extreme gains (global_gain 0, subblock gain 7, 5-bit scale factors shifted by 2) reach past
// the gain table: they are clamped to its last entry.
TEST(Layer3Spectrum, GainIndexBeyondTheTableIsClamped) {
  BitWriter w;
  w.Append(PairCode(1, 1, 0)), Sign(w, true);
  GranuleInfo gi = LongGranule(w.Count(), 1, 1);
  gi.block_type = 2;
  gi.region1start = 18;
  gi.scalefac_scale = 1;
  gi.gainBase = 256 + 4 + 2;
  gi.windowGainBase[0] = gi.gainBase + 8 * 7;
  ScaleFactors sf;
  sf.v[0] = 31;  // 262 + 56 + (31 << 2) = 442
  const Decoded d = Decode(w, gi, sf);
  EXPECT_EQ(d.result, 0);
  EXPECT_FLOAT_EQ(d.x[0], -static_cast<float>(std::exp2((46.0 - (kGainEntries - 1)) / 4)));
}

// Whatever the side information says, nothing is written past the 576 values.
TEST(Layer3Spectrum, RandomDataNeverWritesPastTheSpectrum) {
  std::mt19937 rng(1);
  for (int round = 0; round < 400; ++round) {
    BitWriter w;
    for (int i = 0; i < 4000; ++i) w.PutBit(rng() & 1);
    GranuleInfo gi = LongGranule(static_cast<int>(rng() % 4096), 288);
    gi.block_type = static_cast<int>(rng() % 4);
    gi.mixed_block_flag = static_cast<int>(rng() & 1);
    gi.region1start = gi.block_type ? 18 : static_cast<int>(rng() % 289);
    gi.region2start = gi.block_type ? 288 : gi.region1start + static_cast<int>(rng() % (289 - gi.region1start));
    for (int& t : gi.table_select) t = static_cast<int>(rng() % 32);
    gi.count1table_select = static_cast<int>(rng() & 1);
    ScaleFactors sf;
    for (int& v : sf.v) v = static_cast<int>(rng() % 32);
    const int rate = static_cast<int>(rng() % 9);
    const Decoded d = Decode(w, gi, sf, rate);
    for (int i = 576; i < 592; ++i) ASSERT_EQ(d.x[i], 12345.0f) << "round " << round;
    for (int i = 0; i < 576; ++i) ASSERT_TRUE(std::isfinite(d.x[i]));
    ASSERT_GE(gi.maxb, 1);
    ASSERT_LE(gi.maxb, 32);
  }
}


// The decoder's lookups (one or two whole pairs per look, count1 with its signs) and its 64-bit
// bit window against a plain reading of the code trees bit by bit, on random data of random
// length: values, the budget's end, overrun and the highest band with a value must all agree.
class TreeReader {
 public:
  TreeReader(const std::vector<uint8_t>& bytes, uint32_t sizeBytes) : bytes_(bytes), bits_(sizeBytes * 8) {}
  uint32_t Bit() {
    const uint32_t b = pos_ < bits_ ? (bytes_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1 : 0;
    ++pos_;
    return b;
  }
  uint32_t Get(uint32_t n) {
    uint32_t v = 0;
    while (n--) v = v << 1 | Bit();
    return v;
  }
  template <typename Tree>
  int Walk(const Tree* tree) {
    int i = 0;
    while (tree[i] < 0) i += 1 + (Bit() ? -tree[i] : 0);
    return tree[i];
  }
  uint32_t pos_ = 0;

 private:
  const std::vector<uint8_t>& bytes_;
  uint32_t bits_;
};

struct Reference {
  std::vector<float> x = std::vector<float>(576, 0.0f);
  int result = 0;
  int maxbandl = 0;
};

// Long blocks at 44.1 kHz: each band's gain from its scale factor.
Reference DecodeByTrees(const std::vector<uint8_t>& bytes, uint32_t sizeBytes, const GranuleInfo& gi, const ScaleFactors& sf) {
  Reference r;
  TreeReader br(bytes, sizeBytes);
  const uint32_t end = static_cast<uint32_t>(gi.part2_3_length);
  const auto& boundary = T().bands[0].longBoundary;
  float gain = 0.0f;
  auto at = [&](int i) {
    int band = 0;
    while (boundary[band + 1] <= i) ++band;
    gain = T().gain[std::clamp(gi.gainBase + (sf.v[band] << (1 + gi.scalefac_scale)), 0, kGainEntries - 1)];
  };
  auto value = [&](uint32_t v, uint32_t linbits) -> float {
    if (v == 15 && linbits) v += br.Get(linbits);
    if (v == 0) return 0.0f;
    const float m = T().power[v] * gain;
    return br.Bit() ? -m : m;
  };
  for (int pair = 0; pair < gi.big_values; ++pair) {
    const int table = gi.table_select[pair < gi.region1start ? 0 : pair < gi.region2start ? 1 : 2];
    if (kHuffTreeOffset[table] < 0) continue;
    const int leaf = br.Walk(kHuffTree + kHuffTreeOffset[table]);
    at(2 * pair);
    r.x[2 * pair] = value(static_cast<uint32_t>(leaf) >> 4, kLinbits[table]);
    r.x[2 * pair + 1] = value(static_cast<uint32_t>(leaf) & 15, kLinbits[table]);
  }
  if (br.pos_ > end) {
    r.result = 1;
  } else {
    const int8_t* tree = kCount1Tree + kCount1TreeOffset[gi.count1table_select & 1];
    for (int q = 0, at4 = 2 * gi.big_values; q < (288 - gi.big_values) / 2 && br.pos_ < end; ++q, at4 += 4) {
      TreeReader probe = br;
      probe.Walk(tree);
      if (probe.pos_ > end) break;  // a code cut by the budget
      const int v = br.Walk(tree);
      bool cut = false;
      for (int i = 0; i < 4 && !cut; ++i) {
        if (!(v & (8 >> i))) continue;
        if (br.pos_ >= end) {
          cut = true;  // a sign past the budget ends the region; the values before it stay
        } else {
          at(at4 + i);  // a quadruple may straddle a band boundary
          r.x[at4 + i] = br.Bit() ? -gain : gain;
        }
      }
      if (cut) break;
    }
  }
  for (int band = 0; band < 22; ++band) {
    for (int i = boundary[band]; i < boundary[band + 1]; ++i) {
      if (r.x[i] != 0.0f) r.maxbandl = band + 1;
    }
  }
  return r;
}

// Each round's stream is decoded alone, and again as the second channel beside the last round's
// (with mid/side every third time): the channels read in one loop must not touch each other.
TEST(Layer3Spectrum, LookupsAndBitWindowMatchTheCodeTreesBitForBit) {
  std::mt19937 rng(7);
  struct Channel {
    std::vector<uint8_t> bytes;
    uint32_t size = 0;
    GranuleInfo gi;
    ScaleFactors sf;
    Reference ref;
  } last;
  for (int round = 0; round < 6000; ++round) {
    const uint32_t size = 1 + rng() % 300;
    std::vector<uint8_t> bytes(size + 32, 0);
    for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(rng());
    GranuleInfo gi = LongGranule(static_cast<int>(rng() % (size * 8 + 100)), static_cast<int>(rng() % 289));
    gi.region1start = static_cast<int>(rng() % 289);
    gi.region2start = gi.region1start + static_cast<int>(rng() % (289 - gi.region1start));
    // Every table in turn in region 0, the others at random.
    gi.table_select[0] = round % 32;
    gi.table_select[1] = static_cast<int>(rng() % 32);
    gi.table_select[2] = static_cast<int>(rng() % 32);
    gi.count1table_select = static_cast<int>(rng() & 1);
    gi.gainBase = 20 + static_cast<int>(rng() % 60);
    for (int& g : gi.windowGainBase) g = gi.gainBase;
    gi.scalefac_scale = static_cast<int>(rng() & 1);
    ScaleFactors sf;
    for (int band = 0; band < 21; ++band) sf.v[band] = static_cast<int>(rng() % 16);
    const Reference ref = DecodeByTrees(bytes, size, gi, sf);

    std::vector<float> x(576, 12345.0f);
    BitReader br(bytes.data(), size);
    const int result = DecodeSpectrum(br, x.data(), sf, gi, 0, 0, 32, T());
    ASSERT_EQ(result, ref.result) << "round " << round;
    for (int i = 0; i < 576; ++i) {
      ASSERT_EQ(std::bit_cast<uint32_t>(x[i]), std::bit_cast<uint32_t>(ref.x[i])) << "round " << round << " value " << i;
    }
    ASSERT_EQ(gi.maxbandl, ref.maxbandl) << "round " << round;

    if (round > 0) {
      BitReader readers[2] = {BitReader(last.bytes.data(), last.size), BitReader(bytes.data(), size)};
      GranuleInfo both[2] = {last.gi, gi};
      const ScaleFactors factors[2] = {last.sf, sf};
      const int part2[2] = {0, 0};
      const bool midSide = round % 3 == 0;
      alignas(32) float out[2][576];
      const int failed = DecodeSpectrumStereo(readers, out, factors, both, 0, part2, 32, midSide, T());
      ASSERT_EQ(failed, last.ref.result | ref.result) << "round " << round;
      for (int i = 0; i < 576; ++i) {
        const float m = last.ref.x[i], side = ref.x[i];
        ASSERT_EQ(std::bit_cast<uint32_t>(out[0][i]), std::bit_cast<uint32_t>(midSide ? m + side : m))
            << "round " << round << " value " << i;
        ASSERT_EQ(std::bit_cast<uint32_t>(out[1][i]), std::bit_cast<uint32_t>(midSide ? m - side : side))
            << "round " << round << " value " << i;
      }
      ASSERT_EQ(both[0].maxbandl, last.ref.maxbandl) << "round " << round;
      ASSERT_EQ(both[1].maxbandl, ref.maxbandl) << "round " << round;
    }
    last = Channel{bytes, size, gi, sf, ref};
  }
}

}  // namespace
}  // namespace tovira::layer3
