#pragma once
// Computed Layer III tables: gains, powers, IMDCT windows, intensity ratios, band maps, sub-band
// limits and the MPEG-2 scale-factor length words. Built once per decoder and only read after.

#include <array>
#include <cstdint>

namespace tovira::layer3 {

inline constexpr int kGainEntries = 378;
inline constexpr int kPowerEntries = 8207;  // up to 15 + 2^13 - 1
inline constexpr int kRates = 9;
inline constexpr int kMaxMapEntries = 39;
// Intensity positions reach 31 with 5-bit MPEG-2 scale factors; the ratio tables cover them all.
inline constexpr int kIntensityPositions = 32;

// Huffman pair lookup: the next kPairBits bits of the big-values data name one or two whole pairs,
// sign bits included, or that the pair needs the code-word lookup (long code, linbits escape, or
// signs past the window). Word layout, from bit 0: length of the first pair with its signs (5),
// length of both (5), then per pair |x| (4), x negative (1), |y| (4), y negative (1); bit 30 =
// two pairs, bit 31 = slow.
inline constexpr int kPairBits = 12;
inline constexpr int kPairTables = 15;  // distinct code tables
inline constexpr uint32_t kPairTwo = 1u << 30;
inline constexpr uint32_t kPairSlow = 1u << 31;
// count1 lookup: 10 bits hold the longest code word and its four signs. Word: v w x y in bits 3..0
// (v first), their signs in bits 7..4, code length in bits 8-11, code and signs in bits 12-15.
inline constexpr int kQuadBits = 10;

// One scale-factor band as the spectrum decoder walks it.
struct BandMapEntry {
  uint16_t pairs;   // values / 2 in this band (per window for short bands)
  uint16_t start;   // first write position in the 576 values
  uint8_t window;   // 0..2 short window, 3 long
  uint8_t band;     // band number (long or short)
};

struct BandMap {
  std::array<BandMapEntry, kMaxMapEntries> entries{};
  int count = 0;
  // Mixed maps: how many long bands precede short band 3 (8 for MPEG-1 rates, 6 for MPEG-2).
  int longBands = 0;
};

enum MapKind { kMapMixed = 0, kMapShort = 1, kMapLong = 2 };

struct BandIndex {
  std::array<int32_t, 23> longBoundary{};
  std::array<int32_t, 22> longWidth{};
  std::array<int32_t, 14> shortBoundary{};  // interleaved positions: 3 x line of one window
  std::array<int32_t, 13> shortWidth{};     // lines per window
};

struct Tables {
  Tables();

  std::array<float, kGainEntries> gain;    // entry k = 2^((46 - k) / 4)
  std::array<float, kPowerEntries> power;  // entry n = n^(4/3)
  std::array<float, 8> cs, ca;             // alias butterflies
  // Windows with the fast transforms' normalisation folded in; [1] negates odd entries (odd
  // sub-bands: frequency inversion at no cost). Block type 2 uses entries 0..11.
  float window[2][4][36];
  // The same windows for four neighbouring sub-bands, lanes even, odd, even, odd: [type][i][lane].
  alignas(16) float window4[4][36 * 4];
  alignas(32) float window8[4][36 * 8];  // the same for eight sub-bands
  std::array<float, 9> scale36;  // 0.5 / cos(pi (2i + 1) / 36)
  std::array<float, 3> scale12;  // 0.5 / cos(pi (2i + 1) / 12)
  // MPEG-1 intensity: [0] left, [1] right, [2], [3] the same times sqrt 2 (with mid/side).
  float intensity1[4][kIntensityPositions];
  // MPEG-2/2.5 intensity by intensity scale k = scalefac_compress & 1, same four variants.
  float intensity2[4][2][kIntensityPositions];
  std::array<BandIndex, kRates> bands;
  BandMap map[kRates][3];
  int32_t longLimit[kRates][23];   // sub-bands that can carry data, by long band count
  int32_t shortLimit[kRates][14];  // the same by short band count
  std::array<uint16_t, 512> lsfSlen;           // slen1..4 (3 bits each), row << 12, preflag << 15
  std::array<uint16_t, 256> lsfSlenIntensity;  // the same for the intensity channel, by sfc / 2
  std::array<uint32_t, kPairTables << kPairBits> pairs;
  std::array<uint32_t, 32> pairRoot;  // offset into `pairs` by table number (unused without codes)
  std::array<uint16_t, 2 << kQuadBits> quads;  // count1 tables A and B
};

}  // namespace tovira::layer3
