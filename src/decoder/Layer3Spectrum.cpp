#include "decoder/Layer3Spectrum.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "decoder/InputStream.h"
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

int DecodeSpectrum(BitReader& br, float* x, const ScaleFactors& sf, GranuleInfo& gi, int rate, int part2Bits,
                   int maxSubbands, const Tables& t) {
  const int shift = 1 + gi.scalefac_scale;
  // Bits are counted by position: the end of this granule's Huffman data.
  const int64_t end = static_cast<int64_t>(br.Position()) + gi.part2_3_length - part2Bits;
  const bool shortBlocks = gi.block_type == 2;
  const bool mixed = shortBlocks && gi.mixed_block_flag;
  const BandMap& map = t.map[rate][shortBlocks ? (mixed ? kMapMixed : kMapShort) : kMapLong];
  if (shortBlocks) std::memset(x, 0, 576 * sizeof(float));

  int maxWin[4] = {-1, -1, -1, -1};
  if (mixed) maxWin[0] = maxWin[1] = maxWin[2] = 2;

  // The band being written.
  int entry = 0;
  int pairsLeft = 0;
  int pos = 0;
  int step = 1;
  int window = 3;
  int band = 0;
  float gain = 0.0f;
  const bool pretab = gi.preflag && !shortBlocks;
  auto openBand = [&]() -> bool {
    while (pairsLeft == 0) {
      if (entry >= map.count) return false;
      const BandMapEntry& e = map.entries[entry];
      int32_t s = sf.v[entry];
      ++entry;
      int idx;
      if (e.window == 3) {
        if (pretab) s += kPretab[e.band];
        idx = gi.gainBase + (s << shift);
      } else {
        idx = gi.windowGainBase[e.window] + (s << shift);
      }
      gain = t.gain[std::clamp(idx, 0, kGainEntries - 1)];
      pairsLeft = e.pairs;
      pos = e.start;
      step = e.window == 3 ? 1 : 3;
      window = e.window;
      band = e.band;
    }
    return true;
  };

  // Big values, in up to three regions with their own tables.
  int regionPairs[3];
  const int bv = gi.big_values;
  if (bv <= gi.region1start) {
    regionPairs[0] = bv, regionPairs[1] = 0, regionPairs[2] = 0;
  } else if (bv <= gi.region2start) {
    regionPairs[0] = gi.region1start, regionPairs[1] = bv - gi.region1start, regionPairs[2] = 0;
  } else {
    regionPairs[0] = gi.region1start, regionPairs[1] = gi.region2start - gi.region1start;
    regionPairs[2] = bv - gi.region2start;
  }
  if (shortBlocks) regionPairs[2] = 0;

  const float* power = t.power.data();
  bool mapEnded = false;
  BitCache cache(br);
  for (int r = 0; r < 3 && !mapEnded; ++r) {
    int remaining = regionPairs[r];
    const int table = gi.table_select[r];
    const int rootBits = kHuffRootBits[table];
    const uint32_t* root = kHuffLookup + kHuffRoot[table];
    const uint32_t* pairs = t.pairs.data() + t.pairRoot[table];
    const uint32_t linbits = kLinbits[table];
    while (remaining > 0) {
      if (pairsLeft == 0 && !openBand()) {
        mapEnded = true;
        break;
      }
      // A run of pairs inside one band: gain, step and window stay the same.
      const int n = std::min(pairsLeft, remaining);
      pairsLeft -= n;
      remaining -= n;
      float* out = x + pos;
      pos += 2 * n * step;
      if (rootBits == 0) {
        // Tables 0, 4 and 14: every pair is (0, 0) and costs no bits.
        for (int i = 0; i < 2 * n; ++i) out[i * step] = 0.0f;
        continue;
      }
      uint32_t nonzero = 0;
      auto put = [&](float* o, uint32_t f) {
        // |x|, sign, |y|, sign in ten bits; a zero value has no sign.
        o[0] = std::bit_cast<float>(std::bit_cast<uint32_t>(power[f & 15] * gain) ^ ((f << 27) & 0x80000000u));
        o[step] = std::bit_cast<float>(std::bit_cast<uint32_t>(power[(f >> 5) & 15] * gain) ^ ((f << 22) & 0x80000000u));
      };
      for (int i = 0; i < n;) {
        cache.Refill();
        uint64_t bits = cache.Bits();
        const uint32_t p = pairs[bits >> (64 - kPairBits)];
        if (!(p & kPairSlow)) [[likely]] {
          put(out, p >> 10);
          if ((p & kPairTwo) && i + 1 < n) {
            put(out + 2 * step, p >> 20);
            nonzero |= p & 0x1EF7BC00u;  // the four magnitudes
            cache.Consume((p >> 5) & 31);
            out += 4 * step;
            i += 2;
          } else {
            nonzero |= p & 0x7BC00u;
            cache.Consume(p & 31);
            out += 2 * step;
            i += 1;
          }
          continue;
        }
        // One pair through the code-word lookup. The window holds 56 bits: enough for the code
        // word (19 bits at most), both linbits fields (13 each) and both signs.
        uint32_t e = root[bits >> (64 - rootBits)];
        if (e & 0x80000000u) {
          uint32_t used = static_cast<uint32_t>(rootBits);
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
        if (vx == 15 && linbits) {
          vx += static_cast<uint32_t>(bits >> (64 - linbits));
          bits <<= linbits;
          used += linbits;
        }
        // Signs without branches: a zero value has no sign bit and power[0] is 0.
        const uint32_t hasX = vx != 0;
        const uint32_t signX = static_cast<uint32_t>(bits >> 63) & hasX;
        bits <<= hasX;
        used += hasX;
        if (vy == 15 && linbits) {
          vy += static_cast<uint32_t>(bits >> (64 - linbits));
          bits <<= linbits;
          used += linbits;
        }
        const uint32_t hasY = vy != 0;
        const uint32_t signY = static_cast<uint32_t>(bits >> 63) & hasY;
        used += hasY;
        nonzero |= vx | vy;
        cache.Consume(used);
        out[0] = std::bit_cast<float>(std::bit_cast<uint32_t>(power[vx] * gain) ^ (signX << 31));
        out[step] = std::bit_cast<float>(std::bit_cast<uint32_t>(power[vy] * gain) ^ (signY << 31));
        out += 2 * step;
        ++i;
      }
      if (nonzero) maxWin[window] = band;
    }
  }
  br.SetPosition(cache.Position());
  const bool overrun = static_cast<int64_t>(br.Position()) > end;

  // count1 quadruples while bits remain; a code or sign cut off by the budget ends the region.
  if (!overrun && !mapEnded) {
    const uint16_t* c1 = t.quads.data() + (static_cast<size_t>(gi.count1table_select & 1) << kQuadBits);
    BitCache cache(br);
    int64_t budget = end - static_cast<int64_t>(cache.Position());
    for (int quads = (288 - bv) / 2; quads > 0 && budget > 0; --quads) {
      cache.Refill();
      const uint32_t q = c1[cache.Bits() >> (64 - kQuadBits)];
      const uint32_t len = (q >> 8) & 15;
      const uint32_t cost = q >> 12;
      const uint32_t v = q & 15;
      if (pairsLeft >= 2 && cost <= budget) {
        // The usual case: the whole quadruple, signs included, inside one band and the budget.
        pairsLeft -= 2;
        cache.Consume(cost);
        budget -= cost;
        float* out = x + pos;
        pos += 4 * step;
        const uint32_t g = std::bit_cast<uint32_t>(gain);
        for (int i = 0; i < 4; ++i) {
          const uint32_t has = (q >> (3 - i)) & 1;
          const uint32_t sign = (q >> (7 - i)) & 1;
          out[i * step] = std::bit_cast<float>((g & (0u - has)) ^ (sign << 31));
        }
        if (v) maxWin[window] = band;
        continue;
      }
      // A band boundary inside the quadruple, or the budget running out in it: value by value.
      if (len > budget) break;
      cache.Consume(len);
      budget -= len;
      BitReader local = br;
      local.SetPosition(cache.Position());
      bool stop = false;
      for (int i = 0; i < 4; ++i) {
        if ((i & 1) == 0) {
          if (pairsLeft == 0 && !openBand()) { stop = mapEnded = true; break; }
          --pairsLeft;
        }
        if (v & (8u >> i)) {
          if (--budget < 0) { stop = true; break; }
          maxWin[window] = band;
          x[pos] = local.GetBit() ? -gain : gain;
        } else {
          x[pos] = 0.0f;
        }
        pos += step;
      }
      cache = BitCache(local);
      if (stop) break;
    }
    br.SetPosition(cache.Position());
  }

  // Zero the rest. Short spectra were cleared up front; long spectra are written in order.
  if (!shortBlocks) {
    const int from = std::min(pos, 576);
    std::memset(x + from, 0, static_cast<size_t>(576 - from) * sizeof(float));
  }

  const int limit = std::clamp(maxSubbands, 1, 32);
  if (shortBlocks) {
    for (int w = 0; w < 3; ++w) gi.maxband[w] = maxWin[w] + 1;
    gi.maxbandl = maxWin[3] + 1;
    const int r = std::max({maxWin[0], maxWin[1], maxWin[2]}) + 1;
    gi.maxb = r != 0 ? t.shortLimit[rate][r] : t.longLimit[rate][gi.maxbandl];
  } else {
    gi.maxbandl = maxWin[3] + 1;
    for (int w = 0; w < 3; ++w) gi.maxband[w] = 0;
    gi.maxb = t.longLimit[rate][gi.maxbandl];
  }
  gi.maxb = std::clamp(gi.maxb, 1, limit);
  return overrun ? 1 : 0;
}

int DecodeSpectrumMs(BitReader& br, float* __restrict left, float* __restrict right, const ScaleFactors& sf,
                     GranuleInfo& gi, int rate, int part2Bits, int maxSubbands, const Tables& t) {
  const int result = DecodeSpectrum(br, right, sf, gi, rate, part2Bits, maxSubbands, t);
  for (int i = 0; i < 576; ++i) {
    const float m = left[i];
    const float s = right[i];
    left[i] = m + s;
    right[i] = m - s;
  }
  return result;
}

}  // namespace tovira::layer3
