#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "StreamBuilder.h"
#include "decoder/FrameHeader.h"
#include "decoder/InputStream.h"

namespace tovira {
namespace {

using test::HeaderFields;
using test::MakeHeader;
using test::Version;

FrameHeader Decoded(const HeaderFields& s) {
  FrameHeader h;
  EXPECT_TRUE(h.DecodeHeader(MakeHeader(s)));
  return h;
}

// Lengths from the bit rate, the sampling rate and the samples per frame: four-byte slots in
// Layer I, half the samples (so half the bytes) in MPEG-2/2.5 Layer III but not in Layer II, and
// side information by version and channels, with the CRC word.
TEST(FrameHeader, LengthsAndFrameDurationsFollowTheFields) {
  struct Case {
    HeaderFields fields;
    int body, side;  // side: Layer III only
    double ms;
  };
  const Case cases[] = {
      {{}, 128 * 144000 / 44100 - 4, 32, 26.12244987487793},  // 128 kbit/s at 44.1 kHz
      {{.padding = 1}, 128 * 144000 / 44100 - 3, 32, 26.12244987487793},
      {{.rateField = 1, .mode = 3}, 128 * 144000 / 48000 - 4, 17, 24.0},
      {{.rateField = 2, .mode = 3, .crc = true}, 128 * 144000 / 32000 - 4, 19, 36.0},
      {{.layer = 1, .bitrateIndex = 14, .rateField = 2}, (448 * 12000 / 32000) * 4 - 4, 0, 12.0},
      {{.layer = 1, .bitrateIndex = 14, .rateField = 2, .padding = 1}, (448 * 12000 / 32000 + 1) * 4 - 4, 0, 12.0},
      {{.layer = 2, .bitrateIndex = 8}, 128 * 144000 / 44100 - 4, 0, 26.12244987487793},
      {{.version = Version::Mpeg2, .bitrateIndex = 8, .rateField = 1, .mode = 0}, 64 * 144000 / 48000 - 4, 17, 24.0},
      {{.version = Version::Mpeg2, .layer = 2, .bitrateIndex = 8, .rateField = 1}, 64 * 144000 / 24000 - 4, 0, 48.0},
      {{.version = Version::Mpeg25, .bitrateIndex = 4, .rateField = 2, .mode = 3}, 32 * 144000 / 16000 - 4, 9, 72.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << MakeHeader(c.fields));
    const FrameHeader h = Decoded(c.fields);
    EXPECT_EQ(h.bodyLength, c.body);
    if (c.fields.layer == 3) {
      EXPECT_EQ(h.sideInfoLength, c.side);
    }
    EXPECT_DOUBLE_EQ(h.GetMsPerFrame(), c.ms);
  }
}

TEST(FrameHeader, Layer2TableSelection) {
  struct Case {
    int mode, bitrateIndex, rateField, table, limit;
  };
  const Case cases[] = {
      {0, 8, 0, 0, 27},   // stereo 128 kbit/s at 44.1 kHz
      {3, 4, 0, 0, 27},   // mono 64 kbit/s
      {3, 2, 0, 2, 8},    // mono 48 kbit/s
      {3, 6, 0, 1, 30},   // mono 96 kbit/s
      {0, 1, 1, 2, 8},    // stereo 32 kbit/s at 48 kHz
      {0, 14, 1, 0, 27},  // stereo 384 kbit/s at 48 kHz
      {0, 3, 2, 3, 12},   // stereo 56 kbit/s at 32 kHz
      {3, 12, 2, 1, 30},  // mono 256 kbit/s at 32 kHz
  };
  for (const Case& c : cases) {
    const FrameHeader h = Decoded({.layer = 2, .bitrateIndex = c.bitrateIndex, .rateField = c.rateField, .mode = c.mode});
    EXPECT_EQ(h.layer2Table, c.table) << "mode " << c.mode << " index " << c.bitrateIndex << " rate " << c.rateField;
    EXPECT_EQ(h.subbandLimit, c.limit);
  }
  const FrameHeader lsf = Decoded({.version = Version::Mpeg2, .layer = 2, .bitrateIndex = 8, .rateField = 1, .mode = 0});
  EXPECT_EQ(lsf.layer2Table, 4);
  EXPECT_EQ(lsf.subbandLimit, 30);
  // The joint-stereo bound comes from the mode extension, else the sub-band limit.
  EXPECT_EQ(Decoded({.layer = 2, .bitrateIndex = 8, .mode = 1, .modeExtension = 2}).jointBound, 12);
  EXPECT_EQ(Decoded({.layer = 2, .bitrateIndex = 8, .mode = 0}).jointBound, 27);
}

TEST(FrameHeader, RejectsWhatCannotBePlayed) {
  // MPEG-1 Layer I without CRC starts 0xFFFF and is a valid stream.
  for (const uint32_t good : {MakeHeader({}), MakeHeader({.layer = 1, .bitrateIndex = 1})}) {
    EXPECT_TRUE(InputStream::IsValidHeader(good)) << std::hex << good;
  }
  const uint32_t bad[] = {
      MakeHeader({}) & ~0x00E00000u,  // sync word broken
      MakeHeader({}) & ~(3u << 17),   // layer 00
      MakeHeader({.bitrateIndex = 15}),
      MakeHeader({.rateField = 3}),
      MakeHeader({}) & ~(1u << 20),  // version 01
  };
  for (const uint32_t h : bad) EXPECT_FALSE(InputStream::IsValidHeader(h)) << std::hex << h;

  // Free format has no length to go by, but the header is remembered.
  FrameHeader h;
  EXPECT_FALSE(h.DecodeHeader(MakeHeader({.bitrateIndex = 0})));
  EXPECT_EQ(h.previousHeader, MakeHeader({.bitrateIndex = 0}));
  // MPEG-2.5 Layer II at 8 kHz and 160 kbit/s would need 2880 bytes, more than a frame buffer.
  const uint32_t huge = MakeHeader({.version = Version::Mpeg25, .layer = 2, .bitrateIndex = 14, .rateField = 2});
  EXPECT_FALSE(FrameHeader().DecodeHeader(huge));
  EXPECT_EQ(FrameLengthOf(huge), 0);
}

TEST(FrameHeader, LayerAndRateLockToTheFirstHeader) {
  FrameHeader h;
  ASSERT_TRUE(h.DecodeHeader(MakeHeader({})));
  ASSERT_TRUE(h.DecodeHeader(MakeHeader({.layer = 2, .bitrateIndex = 8, .rateField = 1})));
  EXPECT_EQ(h.layer, 3);
  EXPECT_EQ(h.GetFrequency(), 44100);
  // Without the lock the later header rules.
  ASSERT_TRUE(h.DecodeHeader(MakeHeader({.layer = 2, .bitrateIndex = 8, .rateField = 1}), false));
  EXPECT_EQ(h.layer, 2);
  EXPECT_EQ(h.GetFrequency(), 48000);
}

// The bit-rate and sampling-rate tables must agree with the reference tables where they are at hand.
TEST(FrameHeader, TablesMatchTheReferenceTables) {
  const std::filesystem::path dir = std::filesystem::path(TOVIRA_CONFORMANCE_DIR).parent_path() / "iso-tables";
  std::ifstream rates(dir / "bitrates.txt");
  if (!rates) GTEST_SKIP() << "no iso-tables folder beside the checkout";
  std::string line;
  int rows = 0;
  while (std::getline(rates, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    int index = 0, l1 = 0, l2 = 0, l3 = 0, lsf1 = 0, lsf23 = 0;
    in >> index >> l1 >> l2 >> l3 >> lsf1 >> lsf23;
    const int want[2][3] = {{l1, l2, l3}, {lsf1, lsf23, lsf23}};
    for (int lsf = 0; lsf < 2; ++lsf) {
      for (int layer = 1; layer <= 3; ++layer) EXPECT_EQ(BitrateKbps(lsf, layer, index), want[lsf][layer - 1]) << line;
    }
    ++rows;
  }
  EXPECT_EQ(rows, 16);
  std::ifstream fs(dir / "samplerates.txt");
  ASSERT_TRUE(fs);
  while (std::getline(fs, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    int index = 0, m1 = 0, m2 = 0, m25 = 0;
    in >> index >> m1 >> m2 >> m25;
    if (index == 3) continue;
    EXPECT_EQ(SampleRateForIndex(index), m1);
    EXPECT_EQ(SampleRateForIndex(index + 3), m2);
    EXPECT_EQ(SampleRateForIndex(index + 6), m25);
  }
}

}  // namespace
}  // namespace tovira
