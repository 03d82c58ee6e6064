#include "decoder/Layer3Spectrum.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "decoder/InputStream.h"
#include "decoder/VectorLanes.h"
#include "decoder/generated/layer3_tables.h"

namespace tovira::layer3 {

namespace {

void ReadGranule(InputStream& in, GranuleInfo& gi, bool lsf, const FrameTools& tools, const Tables& t) {
  gi.part2_3_length = static_cast<int32_t>(in.GetBits(12));
  gi.big_values = std::min<int32_t>(static_cast<int32_t>(in.GetBits(9)), 288);
  const int32_t globalGain = static_cast<int32_t>(in.GetBits(8));
  gi.gainBase = 256 - globalGain + (tools.monoMix ? 4 : 0) + (tools.midSide ? 2 : 0);
  gi.scalefac_compress = static_cast<int32_t>(in.GetBits(lsf ? 9 : 4));
  if (in.GetOneBit()) {
    gi.block_type = static_cast<int32_t>(in.GetBits(2));
    gi.mixed_block_flag = static_cast<int32_t>(in.GetOneBit());
    gi.table_select[0] = static_cast<int32_t>(in.GetBits(5));
    gi.table_select[1] = static_cast<int32_t>(in.GetBits(5));
    gi.table_select[2] = 0;
    for (int w = 0; w < 3; ++w) gi.windowGainBase[w] = gi.gainBase + 8 * static_cast<int32_t>(in.GetBits(3));
    // Forbidden: the granule cannot be decoded, but the rest of the side information still is,
    // so the reservoir and the other granules stay usable.
    gi.invalid = gi.block_type == 0;
    // Region 0 ends at short band 3 or long band 8: 18 pairs in MPEG-1, 18 or 27 in MPEG-2, and
    // 36 or 54 at 8 kHz, whose bands are twice as wide.
    const BandIndex& b = t.bands[tools.rate];
    gi.region1start = gi.block_type == 2 ? b.shortBoundary[3] / 2 : b.longBoundary[8] / 2;
    gi.region2start = 288;
  } else {
    for (int r = 0; r < 3; ++r) gi.table_select[r] = static_cast<int32_t>(in.GetBits(5));
    const int32_t region0 = static_cast<int32_t>(in.GetBits(4));
    const int32_t region1 = static_cast<int32_t>(in.GetBits(3));
    const auto& boundary = t.bands[tools.rate].longBoundary;
    // region0 + region1 + 2 can name a boundary past the last one: the end of the spectrum.
    gi.region1start = boundary[std::min(region0 + 1, 22)] / 2;
    gi.region2start = boundary[std::min(region0 + region1 + 2, 22)] / 2;
    gi.block_type = 0;
    gi.mixed_block_flag = 0;
    for (int w = 0; w < 3; ++w) gi.windowGainBase[w] = gi.gainBase;
  }
  gi.preflag = lsf ? 0 : static_cast<int32_t>(in.GetOneBit());
  gi.scalefac_scale = static_cast<int32_t>(in.GetOneBit());
  gi.count1table_select = static_cast<int32_t>(in.GetOneBit());
}

}  // namespace

void ReadSideInfoMpeg1(InputStream& in, SideInfo& si, const FrameTools& tools, const Tables& t) {
  si.main_data_begin = in.GetBits(9);
  si.private_bits = in.GetBits(tools.channels == 1 ? 5 : 3);
  for (int ch = 0; ch < tools.channels; ++ch) {
    si.gr[0][ch].scfsi = -1;
    si.gr[1][ch].scfsi = static_cast<int32_t>(in.GetBits(4));
  }
  for (int gr = 0; gr < 2; ++gr) {
    for (int ch = 0; ch < tools.channels; ++ch) ReadGranule(in, si.gr[gr][ch], false, tools, t);
  }
}

void ReadSideInfoLsf(InputStream& in, SideInfo& si, const FrameTools& tools, const Tables& t) {
  si.main_data_begin = in.GetBits(8);
  si.private_bits = in.GetBits(tools.channels == 1 ? 1 : 2);
  for (int ch = 0; ch < tools.channels; ++ch) {
    si.gr[0][ch].scfsi = -1;
    ReadGranule(in, si.gr[0][ch], true, tools, t);
  }
}

int ReadScaleFactorsMpeg1(BitReader& br, ScaleFactors& sf, const GranuleInfo& gi) {
  const uint32_t slen1 = kSlenMpeg1[2 * gi.scalefac_compress];
  const uint32_t slen2 = kSlenMpeg1[2 * gi.scalefac_compress + 1];
  int32_t* v = sf.v;
  if (gi.block_type == 2) {
    const int first = gi.mixed_block_flag ? 17 : 18;
    int k = 0;
    for (; k < first; ++k) v[k] = static_cast<int32_t>(br.Get(slen1));
    for (int i = 0; i < 18; ++i, ++k) v[k] = static_cast<int32_t>(br.Get(slen2));
    for (int i = 0; i < 3; ++i, ++k) v[k] = 0;
    return static_cast<int>(first * slen1 + 18 * slen2);
  }
  // Long blocks: granule 1 keeps the groups that scfsi marks as shared with granule 0.
  static constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
  int bits = 0;
  for (int g = 0; g < 4; ++g) {
    if (gi.scfsi >= 0 && (gi.scfsi & (8 >> g))) continue;
    const uint32_t slen = g < 2 ? slen1 : slen2;
    for (int k = kGroupStart[g]; k < kGroupStart[g + 1]; ++k) v[k] = static_cast<int32_t>(br.Get(slen));
    bits += static_cast<int>(slen) * (kGroupStart[g + 1] - kGroupStart[g]);
  }
  v[21] = 0;
  return bits;
}

int ReadScaleFactorsLsf(BitReader& br, ScaleFactors& sf, GranuleInfo& gi, bool intensityChannel,
                        const Tables& t) {
  const uint32_t word = intensityChannel ? t.lsfSlenIntensity[(gi.scalefac_compress >> 1) & 255]
                                         : t.lsfSlen[gi.scalefac_compress & 511];
  gi.preflag = static_cast<int32_t>((word >> 15) & 1);
  const int kind = gi.block_type == 2 ? (gi.mixed_block_flag ? 2 : 1) : 0;
  const int row = static_cast<int>((word >> 12) & 7);
  int k = 0;
  int bits = 0;
  for (int g = 0; g < 4; ++g) {
    const uint32_t slen = (word >> (3 * g)) & 7;
    const int count = kNrOfSfbBlock[(kind * 6 + row) * 4 + g];
    const int32_t max = (1 << slen) - 1;
    for (int i = 0; i < count; ++i, ++k) {
      sf.v[k] = static_cast<int32_t>(br.Get(slen));
      sf.maxPosition[k] = max;
    }
    bits += count * static_cast<int>(slen);
  }
  for (int i = 0; i < 2 * kind + 1 && k < 39; ++i, ++k) {
    sf.v[k] = 0;
    sf.maxPosition[k] = 0;
  }
  return bits;
}

namespace {

// Decoding runs in two passes. The first reads the code words into signed |v|^(4/3), in the
// order they come; it needs only the regions' tables, not the bands. The second applies each
// band's gain and puts the values in place (short blocks window-interleaved). Each code word's
// length decides where the next one starts, so one channel's big values are a single chain of
// dependent lookups; with the bands out of the way, two channels' chains run in one loop and the
// processor works on both at once.

// The code words of one channel: the bit window, where the values go and the region's table.
struct Codes {
  explicit Codes(const BitReader& br, float* values) : cache(br), out(values) {}
  BitCache cache;
  float* out;
  int left = 0;  // pairs left in the region
  const uint32_t* pairs = nullptr;
  const uint32_t* root = nullptr;
  int rootBits = 0;
  uint32_t linbits = 0;
};

// |x|, sign, |y|, sign in ten bits; a zero value has no sign.
[[gnu::always_inline]] inline void Put(float* o, uint32_t f, const float* power) {
  o[0] = std::bit_cast<float>(std::bit_cast<uint32_t>(power[f & 15]) ^ ((f << 27) & 0x80000000u));
  o[1] = std::bit_cast<float>(std::bit_cast<uint32_t>(power[(f >> 5) & 15]) ^ ((f << 22) & 0x80000000u));
}

// One pair through the code-word lookup. The window holds 56 bits: enough for the code word (19
// bits at most), both linbits fields (13 each) and both signs. Returns the bits used.
[[gnu::noinline]] uint32_t SlowPair(uint64_t bits, const Codes& c, const float* power, float* o) {
  uint32_t e = c.root[bits >> (64 - c.rootBits)];
  if (e & 0x80000000u) {
    uint32_t used = static_cast<uint32_t>(c.rootBits);
    do {
      const uint32_t w = (e >> 24) & 15;
      e = kHuffLookup[(e & 0xFFFFFFu) + ((bits << used) >> (64 - w))];
      used += w;
    } while (e & 0x80000000u);
  }
  uint32_t used = (e >> 8) & 0xFF;
  bits <<= used;
  uint32_t vx = (e >> 4) & 15;
  uint32_t vy = e & 15;
  if (vx == 15 && c.linbits) {
    vx += static_cast<uint32_t>(bits >> (64 - c.linbits));
    bits <<= c.linbits;
    used += c.linbits;
  }
  // Signs without branches: a zero value has no sign bit and power[0] is 0.
  const uint32_t hasX = vx != 0;
  const uint32_t signX = static_cast<uint32_t>(bits >> 63) & hasX;
  bits <<= hasX;
  used += hasX;
  if (vy == 15 && c.linbits) {
    vy += static_cast<uint32_t>(bits >> (64 - c.linbits));
    bits <<= c.linbits;
    used += c.linbits;
  }
  const uint32_t hasY = vy != 0;
  const uint32_t signY = static_cast<uint32_t>(bits >> 63) & hasY;
  used += hasY;
  o[0] = std::bit_cast<float>(std::bit_cast<uint32_t>(power[vx]) ^ (signX << 31));
  o[1] = std::bit_cast<float>(std::bit_cast<uint32_t>(power[vy]) ^ (signY << 31));
  return used;
}

// One or two pairs of the region.
[[gnu::always_inline]] inline void Step(Codes& c, const float* power) {
  c.cache.Refill();
  const uint64_t bits = c.cache.Bits();
  const uint32_t p = c.pairs[bits >> (64 - kPairBits)];
  if (!(p & kPairSlow)) [[likely]] {
    Put(c.out, p >> 10, power);
    if ((p & kPairTwo) && c.left > 1) {
      Put(c.out + 2, p >> 20, power);
      c.cache.Consume((p >> 5) & 31);
      c.out += 4;
      c.left -= 2;
    } else {
      c.cache.Consume(p & 31);
      c.out += 2;
      c.left -= 1;
    }
    return;
  }
  c.cache.Consume(SlowPair(bits, c, power, c.out));
  c.out += 2;
  c.left -= 1;
}

// The count1 quadruples of one channel: the bit window, the bits left of part2_3_length and the
// values written so far.
struct Quads {
  explicit Quads(const BitReader& br) : cache(br) {}
  BitCache cache;
  const uint16_t* table = nullptr;
  float* v = nullptr;
  int64_t budget = 0;
  int count = 0;     // values written
  int pairs = 0;     // pairs of the bands taken
  int capacity = 0;  // pairs in all the bands
  int left = 0;      // quadruples the big values leave room for
};

// One quadruple; false when the region has ended: out of bits or quadruples, a code or sign cut
// off by the budget, or a quadruple past the last band.
[[gnu::always_inline]] inline bool QuadStep(Quads& s) {
  if (s.left <= 0 || s.budget <= 0) return false;
  --s.left;
  s.cache.Refill();
  const uint32_t q = s.table[s.cache.Bits() >> (64 - kQuadBits)];
  const uint32_t len = (q >> 8) & 15;
  const uint32_t cost = q >> 12;
  float* v = s.v + s.count;
  if (s.pairs + 2 <= s.capacity && cost <= s.budget) [[likely]] {
    // The usual case: the whole quadruple, signs included, inside the bands and the budget.
    s.pairs += 2;
    s.cache.Consume(cost);
    s.budget -= cost;
    for (int i = 0; i < 4; ++i) {
      const uint32_t has = (q >> (3 - i)) & 1;
      const uint32_t sign = (q >> (7 - i)) & 1;
      v[i] = std::bit_cast<float>((0x3F800000u & (0u - has)) ^ (sign << 31));  // 0, 1 or -1
    }
    s.count += 4;
    return true;
  }
  // The last band or the budget ends inside the quadruple: value by value. The window still
  // holds the signs (at most four after a code of at most six bits).
  if (len > s.budget) return false;
  s.cache.Consume(len);
  s.budget -= len;
  for (int i = 0; i < 4; ++i) {
    if ((i & 1) == 0) {
      if (s.pairs == s.capacity) return false;
      ++s.pairs;
    }
    if (q & (8u >> i)) {
      if (--s.budget < 0) return false;
      const bool negative = s.cache.Bits() >> 63;
      s.cache.Consume(1);
      s.v[s.count] = negative ? -1.0f : 1.0f;
    } else {
      s.v[s.count] = 0.0f;
    }
    ++s.count;
  }
  return true;
}

// One channel of one granule through both passes.
class Channel {
 public:
  Channel(BitReader& br, float* x, const ScaleFactors& sf, GranuleInfo& gi, int rate, int part2Bits, const Tables& t)
      : br_(br),
        x_(x),
        sf_(sf),
        gi_(gi),
        t_(t),
        rate_(rate),
        // Bits are counted by position: the end of this granule's Huffman data.
        end_(static_cast<int64_t>(br.Position()) + gi.part2_3_length - part2Bits),
        shortBlocks_(gi.block_type == 2),
        map_(t.map[rate][shortBlocks_ ? (gi.mixed_block_flag ? kMapMixed : kMapShort) : kMapLong]),
        // Long spectra are in frequency order already, so the values are scaled where they lie.
        values_(shortBlocks_ ? scratch_ : x) {
    for (int e = 0; e < map_.count; ++e) capacity_ += map_.entries[e].pairs;
    // Big values, in up to three regions with their own tables; none past the last band.
    const int bv = gi.big_values;
    if (bv <= gi.region1start) {
      regionPairs_[0] = bv, regionPairs_[1] = 0, regionPairs_[2] = 0;
    } else if (bv <= gi.region2start) {
      regionPairs_[0] = gi.region1start, regionPairs_[1] = bv - gi.region1start, regionPairs_[2] = 0;
    } else {
      regionPairs_[0] = gi.region1start, regionPairs_[1] = gi.region2start - gi.region1start;
      regionPairs_[2] = bv - gi.region2start;
    }
    if (shortBlocks_) regionPairs_[2] = 0;
    int room = capacity_;
    for (int& pairs : regionPairs_) {
      if (pairs > room) {
        pairs = room;
        mapEnded_ = true;  // more big values than the bands hold
      }
      room -= pairs;
    }
  }

  float* Values() { return values_; }

  // Opens the next region that has pairs; false when the big values are done.
  [[gnu::always_inline]] bool NextRegion(Codes& c) {
    while (++region_ < 3) {
      const int pairs = regionPairs_[region_];
      if (pairs == 0) continue;
      const int table = gi_.table_select[region_];
      if (kHuffRootBits[table] == 0) {
        // Tables 0, 4 and 14: every pair is (0, 0) and costs no bits.
        std::memset(c.out, 0, 2 * static_cast<size_t>(pairs) * sizeof(float));
        c.out += 2 * pairs;
        continue;
      }
      c.left = pairs;
      c.rootBits = kHuffRootBits[table];
      c.root = kHuffLookup + kHuffRoot[table];
      c.pairs = t_.pairs.data() + t_.pairRoot[table];
      c.linbits = kLinbits[table];
      return true;
    }
    return false;
  }

  // After the big values: readies the count1 quadruples, if any are to be read.
  Quads StartQuads(const Codes& c);
  // The second pass over what both passes read; 1 when the big values overran part2_3_length.
  int Finish(const Quads& q, int maxSubbands);

 private:
  void Place(int count);

  BitReader& br_;
  float* const x_;
  const ScaleFactors& sf_;
  GranuleInfo& gi_;
  const Tables& t_;
  const int rate_;
  const int64_t end_;
  const bool shortBlocks_;
  const BandMap& map_;
  alignas(32) float scratch_[576];
  float* const values_;
  int capacity_ = 0;  // pairs in all the bands
  int regionPairs_[3];
  int region_ = -1;
  bool mapEnded_ = false;
  bool overrun_ = false;
};

// Each band's gain on its values, in place; the rest of the spectrum zero; the band limits.
void Channel::Place(int count) {
  const bool pretab = gi_.preflag && !shortBlocks_;
  const int shift = 1 + gi_.scalefac_scale;
  int maxWin[4] = {-1, -1, -1, -1};
  if (shortBlocks_ && gi_.mixed_block_flag) maxWin[0] = maxWin[1] = maxWin[2] = 2;
  if (shortBlocks_) std::memset(x_, 0, 576 * sizeof(float));
  const float* v = values_;
  int k = 0;
  for (int e = 0; e < map_.count && k < count; ++e) {
    const BandMapEntry& m = map_.entries[e];
    int32_t s = sf_.v[e];
    int idx;
    if (m.window == 3) {
      if (pretab) s += kPretab[m.band];
      idx = gi_.gainBase + (s << shift);
    } else {
      idx = gi_.windowGainBase[m.window] + (s << shift);
    }
    const float gain = t_.gain[std::clamp(idx, 0, kGainEntries - 1)];
    const int n = std::min(2 * static_cast<int>(m.pairs), count - k);
    const float* in = v + k;
    float* o = x_ + m.start;
    uint32_t any = 0;
    if (m.window == 3) {
      // Four at a time (in place for long spectra).
      int j = 0;
      simd::v4si any4 = {0, 0, 0, 0};
      for (; j + 4 <= n; j += 4) {
        simd::v4sf f;
        std::memcpy(&f, in + j, sizeof f);
        simd::v4si bitsOf;
        std::memcpy(&bitsOf, &f, sizeof f);
        any4 |= bitsOf;
        f *= gain;
        std::memcpy(o + j, &f, sizeof f);
      }
      any = static_cast<uint32_t>(any4[0] | any4[1] | any4[2] | any4[3]);
      for (; j < n; ++j) {
        any |= std::bit_cast<uint32_t>(in[j]);
        o[j] = in[j] * gain;
      }
    } else {
      for (int j = 0; j < n; ++j) {
        any |= std::bit_cast<uint32_t>(in[j]);
        o[3 * j] = in[j] * gain;
      }
    }
    if (any) maxWin[m.window] = m.band;
    k += n;
  }
  // Long spectra: the values end where they were read; the rest is zero.
  if (!shortBlocks_) std::memset(x_ + count, 0, static_cast<size_t>(576 - count) * sizeof(float));

  GranuleInfo& gi = gi_;
  if (shortBlocks_) {
    for (int w = 0; w < 3; ++w) gi.maxband[w] = maxWin[w] + 1;
    gi.maxbandl = maxWin[3] + 1;
    const int r = std::max({maxWin[0], maxWin[1], maxWin[2]}) + 1;
    gi.maxb = r != 0 ? t_.shortLimit[rate_][r] : t_.longLimit[rate_][gi.maxbandl];
  } else {
    gi.maxbandl = maxWin[3] + 1;
    for (int w = 0; w < 3; ++w) gi.maxband[w] = 0;
    gi.maxb = t_.longLimit[rate_][gi.maxbandl];
  }
}

Quads Channel::StartQuads(const Codes& c) {
  br_.SetPosition(c.cache.Position());
  overrun_ = static_cast<int64_t>(br_.Position()) > end_;
  Quads q(br_);
  q.table = t_.quads.data() + (static_cast<size_t>(gi_.count1table_select & 1) << kQuadBits);
  q.v = values_;
  q.count = static_cast<int>(c.out - values_);
  q.pairs = q.count / 2;
  q.capacity = capacity_;
  q.budget = end_ - static_cast<int64_t>(br_.Position());
  q.left = overrun_ || mapEnded_ ? 0 : (288 - gi_.big_values) / 2;
  return q;
}

int Channel::Finish(const Quads& q, int maxSubbands) {
  br_.SetPosition(q.cache.Position());
  Place(q.count);
  gi_.maxb = std::clamp(gi_.maxb, 1, std::clamp(maxSubbands, 1, 32));
  return overrun_ ? 1 : 0;
}

void MidSide(float* __restrict left, float* __restrict right) {
  for (int i = 0; i < 576; ++i) {
    const float m = left[i];
    const float s = right[i];
    left[i] = m + s;
    right[i] = m - s;
  }
}

}  // namespace

int DecodeSpectrum(BitReader& br, float* x, const ScaleFactors& sf, GranuleInfo& gi, int rate, int part2Bits,
                   int maxSubbands, const Tables& t) {
  Channel ch(br, x, sf, gi, rate, part2Bits, t);
  const float* power = t.power.data();
  Codes c(br, ch.Values());
  while (ch.NextRegion(c)) {
    while (c.left > 0) Step(c, power);
  }
  Quads q = ch.StartQuads(c);
  while (QuadStep(q)) {
  }
  return ch.Finish(q, maxSubbands);
}

int DecodeSpectrumStereo(BitReader (&br)[2], float (&x)[2][576], const ScaleFactors (&sf)[2], GranuleInfo* gi,
                         int rate, const int (&part2Bits)[2], int maxSubbands, bool midSide, const Tables& t) {
  Channel a(br[0], x[0], sf[0], gi[0], rate, part2Bits[0], t);
  Channel b(br[1], x[1], sf[1], gi[1], rate, part2Bits[1], t);
  const float* power = t.power.data();
  Codes ca(br[0], a.Values()), cb(br[1], b.Values());
  bool moreA = a.NextRegion(ca);
  bool moreB = b.NextRegion(cb);
  while (moreA && moreB) {
    while (ca.left > 0 && cb.left > 0) {
      Step(ca, power);
      Step(cb, power);
    }
    if (ca.left <= 0) moreA = a.NextRegion(ca);
    if (cb.left <= 0) moreB = b.NextRegion(cb);
  }
  for (; moreA; moreA = a.NextRegion(ca)) {
    while (ca.left > 0) Step(ca, power);
  }
  for (; moreB; moreB = b.NextRegion(cb)) {
    while (cb.left > 0) Step(cb, power);
  }
  Quads qa = a.StartQuads(ca), qb = b.StartQuads(cb);
  moreA = moreB = true;
  while (moreA && moreB) {
    moreA = QuadStep(qa);
    moreB = QuadStep(qb);
  }
  while (moreA) moreA = QuadStep(qa);
  while (moreB) moreB = QuadStep(qb);
  const int failedA = a.Finish(qa, maxSubbands);
  const int failedB = b.Finish(qb, maxSubbands);
  if (midSide) MidSide(x[0], x[1]);
  return failedA | failedB;
}

}  // namespace tovira::layer3
