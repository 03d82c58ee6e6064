#include "decoder/Layer3Tables.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "decoder/generated/layer3_tables.h"

namespace tovira::layer3 {

namespace {

constexpr double kPi = std::numbers::pi;

void BuildWindows(float (&window)[2][4][36]) {
  double w[4][36] = {};
  for (int i = 0; i < 36; ++i) {
    w[0][i] = 0.5 * std::sin(kPi * (2 * i + 1) / 72) / std::cos(kPi * (2 * i + 19) / 72);
  }
  for (int i = 0; i < 18; ++i) w[1][i] = w[0][i];
  for (int i = 18; i < 24; ++i) w[1][i] = 0.5 / std::cos(kPi * (2 * i + 19) / 72);
  for (int i = 24; i < 30; ++i) {
    w[1][i] = 0.5 * std::sin(kPi * (2 * (i - 24) + 13) / 24) / std::cos(kPi * (2 * i + 19) / 72);
  }
  for (int i = 0; i < 12; ++i) {
    w[2][i] = 0.5 * std::sin(kPi * (2 * i + 1) / 24) / std::cos(kPi * (2 * i + 7) / 24);
  }
  for (int i = 6; i < 12; ++i) {
    w[3][i] = 0.5 * std::sin(kPi * (2 * (i - 6) + 1) / 24) / std::cos(kPi * (2 * i + 19) / 72);
  }
  for (int i = 12; i < 18; ++i) w[3][i] = 0.5 / std::cos(kPi * (2 * i + 19) / 72);
  for (int i = 18; i < 36; ++i) w[3][i] = w[0][i];
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 36; ++i) {
      window[0][t][i] = static_cast<float>(w[t][i]);
      window[1][t][i] = static_cast<float>((i & 1) ? -w[t][i] : w[t][i]);
    }
  }
}

void BuildMaps(const BandIndex& b, BandMap (&map)[3]) {
  // Long map: the 22 long bands in frequency order.
  BandMap& lm = map[kMapLong];
  for (int band = 0; band < 22; ++band) {
    lm.entries[lm.count++] = {static_cast<uint16_t>(b.longWidth[band] / 2),
                              static_cast<uint16_t>(b.longBoundary[band]), 3, static_cast<uint8_t>(band)};
  }
  // Short maps: per band, the three windows interleaved (window fastest).
  auto addShort = [&b](BandMap& m, int firstBand, int position) {
    for (int band = firstBand; band < 13; ++band) {
      for (int w = 0; w < 3; ++w) {
        // Every write lands below 576 whatever the table says.
        const int room = std::max(0, (576 - (position + w) + 2) / 3);
        const int width = std::min(b.shortWidth[band], room);
        m.entries[m.count++] = {static_cast<uint16_t>(width / 2), static_cast<uint16_t>(position + w),
                                static_cast<uint8_t>(w), static_cast<uint8_t>(band)};
      }
      position += 3 * b.shortWidth[band];
    }
  };
  addShort(map[kMapShort], 0, 0);
  // Mixed: the long bands that cover sub-bands 0 and 1 (lines 0..35), then short bands from 3.
  BandMap& mm = map[kMapMixed];
  int position = 0;
  for (int band = 0; band < 22 && b.longBoundary[band + 1] <= 36; ++band) {
    mm.entries[mm.count++] = {static_cast<uint16_t>(b.longWidth[band] / 2), static_cast<uint16_t>(position), 3,
                              static_cast<uint8_t>(band)};
    position += b.longWidth[band];
  }
  mm.longBands = mm.count;
  addShort(mm, 3, 36);
}

// Walks a code tree from kHuffTree or kCount1Tree over `width` bits of `bits` (first bit in the
// most significant place) starting at bit `at`. Returns the leaf and sets `length`; -1 when the
// code runs past the window.
template <typename Tree>
int WalkTree(const Tree* tree, uint32_t bits, int width, int at, int& length) {
  int i = 0;
  length = 0;
  while (tree[i] < 0) {
    if (at + length >= width) return -1;
    const int bit = (bits >> (width - 1 - at - length)) & 1;
    ++length;
    i += 1 + (bit ? -tree[i] : 0);
  }
  return tree[i];
}

// One pair (code word and sign bits) at bit `at` of the window; false when it does not fit or
// needs linbits. `fields` receives |x|, sign, |y|, sign as laid out in a pair word.
bool FitPair(const int16_t* tree, bool linbits, uint32_t bits, int at, int& length, uint32_t& fields) {
  const int leaf = WalkTree(tree, bits, kPairBits, at, length);
  if (leaf < 0) return false;
  const uint32_t x = static_cast<uint32_t>(leaf) >> 4, y = static_cast<uint32_t>(leaf) & 15;
  if (linbits && (x == 15 || y == 15)) return false;
  uint32_t sx = 0, sy = 0;
  for (uint32_t* s : {x ? &sx : nullptr, y ? &sy : nullptr}) {
    if (!s) continue;
    if (at + length >= kPairBits) return false;
    *s = (bits >> (kPairBits - 1 - at - length)) & 1;
    ++length;
  }
  fields = x | sx << 4 | y << 5 | sy << 9;
  return true;
}

void BuildPairLookup(std::array<uint32_t, kPairTables << kPairBits>& pairs, std::array<uint32_t, 32>& root) {
  int slots = 0;
  int slotOffset[kPairTables];
  for (int table = 0; table < 32; ++table) {
    root[table] = 0;
    const int offset = kHuffTreeOffset[table];
    if (offset < 0) continue;
    int slot = 0;
    while (slot < slots && slotOffset[slot] != offset) ++slot;
    root[table] = static_cast<uint32_t>(slot) << kPairBits;
    if (slot < slots) continue;
    slotOffset[slots++] = offset;
    const int16_t* tree = kHuffTree + offset;
    const bool linbits = kLinbits[table] != 0;
    for (uint32_t bits = 0; bits < (1u << kPairBits); ++bits) {
      int len1 = 0, len2 = 0;
      uint32_t f1 = 0, f2 = 0;
      uint32_t& word = pairs[(static_cast<size_t>(slot) << kPairBits) + bits];
      if (!FitPair(tree, linbits, bits, 0, len1, f1)) {
        word = kPairSlow;
      } else if (FitPair(tree, linbits, bits, len1, len2, f2)) {
        word = kPairTwo | static_cast<uint32_t>(len1) | static_cast<uint32_t>(len1 + len2) << 5 | f1 << 10 | f2 << 20;
      } else {
        word = static_cast<uint32_t>(len1) | static_cast<uint32_t>(len1) << 5 | f1 << 10;
      }
    }
  }
}

void BuildQuadLookup(std::array<uint16_t, 2 << kQuadBits>& quads) {
  for (int table = 0; table < 2; ++table) {
    const int8_t* tree = kCount1Tree + kCount1TreeOffset[table];
    for (uint32_t bits = 0; bits < (1u << kQuadBits); ++bits) {
      int length = 0;
      const int v = WalkTree(tree, bits, kQuadBits, 0, length);  // codes are at most 6 bits
      int cost = length;
      uint32_t signs = 0;
      for (int i = 0; i < 4; ++i) {
        if (!(v & (8 >> i))) continue;
        signs |= ((bits >> (kQuadBits - 1 - cost)) & 1) << (7 - i);
        ++cost;
      }
      quads[(static_cast<size_t>(table) << kQuadBits) + bits] =
          static_cast<uint16_t>(static_cast<uint32_t>(v) | signs | static_cast<uint32_t>(length) << 8 | static_cast<uint32_t>(cost) << 12);
    }
  }
}

}  // namespace

Tables::Tables() {
  BuildPairLookup(pairs, pairRoot);
  BuildQuadLookup(quads);
  for (int k = 0; k < kGainEntries; ++k) gain[k] = static_cast<float>(std::pow(2.0, -0.25 * (k - 256 + 210)));
  for (int n = 0; n < kPowerEntries; ++n) power[n] = static_cast<float>(std::pow(static_cast<double>(n), 4.0 / 3.0));
  for (int i = 0; i < 8; ++i) {
    const double c = kAliasCoefficient[i];
    cs[i] = static_cast<float>(1.0 / std::sqrt(1.0 + c * c));
    ca[i] = static_cast<float>(c / std::sqrt(1.0 + c * c));
  }
  BuildWindows(window);
  for (int type = 0; type < 4; ++type) {
    for (int i = 0; i < 36; ++i) {
      for (int lane = 0; lane < 4; ++lane) window4[type][4 * i + lane] = window[lane & 1][type][i];
      for (int lane = 0; lane < 8; ++lane) window8[type][8 * i + lane] = window[lane & 1][type][i];
    }
  }
  for (int i = 0; i < 9; ++i) scale36[i] = static_cast<float>(0.5 / std::cos(kPi * (2 * i + 1) / 36));
  for (int i = 0; i < 3; ++i) scale12[i] = static_cast<float>(0.5 / std::cos(kPi * (2 * i + 1) / 12));

  const double root2 = std::sqrt(2.0);
  for (int p = 0; p < kIntensityPositions; ++p) {
    const double t = std::tan(p * kPi / 12);
    const double left = t / (1 + t);
    const double right = 1 / (1 + t);
    intensity1[0][p] = static_cast<float>(left);
    intensity1[1][p] = static_cast<float>(right);
    intensity1[2][p] = static_cast<float>(root2 * left);
    intensity1[3][p] = static_cast<float>(root2 * right);
    for (int k = 0; k < 2; ++k) {
      const double base = std::pow(2.0, -0.25 * (k + 1));
      double p1 = 1, p2 = 1;
      if (p > 0) {
        if (p & 1) {
          p1 = std::pow(base, (p + 1) / 2);
        } else {
          p2 = std::pow(base, p / 2);
        }
      }
      intensity2[0][k][p] = static_cast<float>(p1);
      intensity2[1][k][p] = static_cast<float>(p2);
      intensity2[2][k][p] = static_cast<float>(root2 * p1);
      intensity2[3][k][p] = static_cast<float>(root2 * p2);
    }
  }

  for (int r = 0; r < kRates; ++r) {
    BandIndex& b = bands[r];
    for (int i = 0; i < 23; ++i) b.longBoundary[i] = kLongBoundary[r][i];
    for (int i = 0; i < 22; ++i) b.longWidth[i] = kLongBoundary[r][i + 1] - kLongBoundary[r][i];
    for (int i = 0; i < 14; ++i) b.shortBoundary[i] = 3 * kShortBoundary[r][i];
    for (int i = 0; i < 13; ++i) b.shortWidth[i] = kShortBoundary[r][i + 1] - kShortBoundary[r][i];
    BuildMaps(b, map[r]);
    // Full-rate limits; the decoder caps them at 32 >> decimation when it uses them.
    for (int i = 0; i < 23; ++i) longLimit[r][i] = std::min((b.longBoundary[i] + 7) / 18 + 1, 32);
    for (int i = 0; i < 14; ++i) shortLimit[r][i] = std::min((b.shortBoundary[i] - 1) / 18 + 1, 32);
  }

  for (int s = 0; s < 512; ++s) {
    int s1, s2, s3 = 0, s4 = 0, row, pre = 0;
    if (s < 400) {
      s1 = (s / 16) / 5, s2 = (s / 16) % 5, s3 = (s % 16) / 4, s4 = s % 4, row = 0;
    } else if (s < 500) {
      const int u = s - 400;
      s1 = (u / 4) / 5, s2 = (u / 4) % 5, s3 = u % 4, row = 1;
    } else {
      const int u = s - 500;
      s1 = u / 3, s2 = u % 3, row = 2, pre = 1;
    }
    lsfSlen[s] = static_cast<uint16_t>(s1 | s2 << 3 | s3 << 6 | s4 << 9 | row << 12 | pre << 15);
  }
  for (int s = 0; s < 256; ++s) {
    int s1, s2, s3, row;
    if (s < 180) {
      s1 = s / 36, s2 = (s % 36) / 6, s3 = s % 6, row = 3;
    } else if (s < 244) {
      const int u = s - 180;
      s1 = u / 16, s2 = (u % 16) / 4, s3 = u % 4, row = 4;
    } else {
      const int u = s - 244;
      s1 = u / 3, s2 = u % 3, s3 = 0, row = 5;
    }
    lsfSlenIntensity[s] = static_cast<uint16_t>(s1 | s2 << 3 | s3 << 6 | row << 12);
  }
}

}  // namespace tovira::layer3
