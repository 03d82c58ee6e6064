#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "StreamBuilder.h"
#include "decoder/FrameHeader.h"
#include "decoder/InputStream.h"

namespace tovira {
namespace {

using test::HeaderSpec;
using test::MakeHeader;
using test::Version;

FrameHeader Decoded(const HeaderSpec& s) {
  FrameHeader h;
  EXPECT_TRUE(h.DecodeHeader(MakeHeader(s)));
  return h;
}

TEST(FrameHeader, BodyLengthsFollowLayerAndPadding) {
  HeaderSpec l3;  // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz
  EXPECT_EQ(Decoded(l3).bodyLength, 413);
  l3.padding = 1;
  EXPECT_EQ(Decoded(l3).bodyLength, 414);

  HeaderSpec l1{.layer = 1, .bitrateIndex = 14, .rateField = 2};  // 448 kbit/s at 32 kHz
  EXPECT_EQ(Decoded(l1).bodyLength, (448 * 12000 / 32000) * 4 - 4);
  l1.padding = 1;  // one slot is four bytes in Layer I
  EXPECT_EQ(Decoded(l1).bodyLength, (448 * 12000 / 32000 + 1) * 4 - 4);

  HeaderSpec l2{.layer = 2, .bitrateIndex = 8};  // 128 kbit/s at 44.1 kHz
  EXPECT_EQ(Decoded(l2).bodyLength, 128 * 144000 / 44100 - 4);

  // MPEG-2 Layer III carries half the samples, so half the bytes per frame.
  HeaderSpec lsf{.version = Version::Mpeg2, .bitrateIndex = 8};  // 64 kbit/s at 22.05 kHz
  EXPECT_EQ(Decoded(lsf).bodyLength, 64 * 144000 / (22050 * 2) - 4);
}

TEST(FrameHeader, SideInformationLength) {
  EXPECT_EQ(Decoded({.mode = 1}).sideInfoLength, 32);
  EXPECT_EQ(Decoded({.mode = 3}).sideInfoLength, 17);
  EXPECT_EQ(Decoded({.mode = 3, .crc = true}).sideInfoLength, 19);
  EXPECT_EQ(Decoded({.version = Version::Mpeg2, .bitrateIndex = 8, .mode = 0}).sideInfoLength, 17);
  EXPECT_EQ(Decoded({.version = Version::Mpeg25, .bitrateIndex = 4, .mode = 3}).sideInfoLength, 9);
}

TEST(FrameHeader, VersionsAndRates) {
  const FrameHeader m1 = Decoded({.rateField = 1});
  EXPECT_EQ(m1.GetFrequency(), 48000);
  EXPECT_EQ(m1.lsf, 0);
  const FrameHeader m2 = Decoded({.version = Version::Mpeg2, .bitrateIndex = 8, .rateField = 2});
  EXPECT_EQ(m2.GetFrequency(), 16000);
  EXPECT_EQ(m2.lsf, 1);
  EXPECT_EQ(m2.mpeg25, 0);
  const FrameHeader m25 = Decoded({.version = Version::Mpeg25, .bitrateIndex = 4, .rateField = 2});
  EXPECT_EQ(m25.GetFrequency(), 8000);
  EXPECT_EQ(m25.mpeg25, 1);
  EXPECT_EQ(m25.GetBitrate(), 32000u);
  EXPECT_EQ(Decoded({.layer = 1, .bitrateIndex = 14}).GetBitrate(), 448000u);
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

TEST(FrameHeader, FrameCountDurationAndPosition) {
  const FrameHeader h = Decoded({});  // 417-byte frames, no padding
  EXPECT_EQ(h.GetFrameCount(4000000), 9569u);
  EXPECT_DOUBLE_EQ(h.GetDuration(4000000), 9569 * 26.12244987487793);
  // Sizes past 4 GiB must neither wrap nor truncate.
  const uint64_t big = 6ull << 30;
  EXPECT_EQ(h.GetFrameCount(big), big / 418);

  const FrameHeader h48 = Decoded({.rateField = 1});
  EXPECT_EQ(h48.GetPositionMs(1000), 24000);
}

TEST(FrameHeader, MillisecondsPerFrameFollowSamplesPerFrame) {
  EXPECT_DOUBLE_EQ(Decoded({}).GetMsPerFrame(), 26.12244987487793);
  EXPECT_DOUBLE_EQ(Decoded({.rateField = 1}).GetMsPerFrame(), 24.0);
  EXPECT_DOUBLE_EQ(Decoded({.rateField = 2}).GetMsPerFrame(), 36.0);
  EXPECT_DOUBLE_EQ(Decoded({.layer = 1, .rateField = 1}).GetMsPerFrame(), 8.0);
  EXPECT_DOUBLE_EQ(Decoded({.layer = 2, .bitrateIndex = 8, .rateField = 1}).GetMsPerFrame(), 24.0);
  // MPEG-2 Layer III frames hold 576 samples; MPEG-2 Layer II frames still hold 1152.
  EXPECT_DOUBLE_EQ(Decoded({.version = Version::Mpeg2, .bitrateIndex = 8, .rateField = 1}).GetMsPerFrame(), 24.0);
  EXPECT_DOUBLE_EQ(Decoded({.version = Version::Mpeg2, .layer = 2, .bitrateIndex = 8, .rateField = 1}).GetMsPerFrame(), 48.0);
  EXPECT_DOUBLE_EQ(Decoded({.version = Version::Mpeg25, .bitrateIndex = 4, .rateField = 2}).GetMsPerFrame(), 72.0);
}

TEST(FrameHeader, RejectsFreeFormatButRemembersIt) {
  FrameHeader h;
  const uint32_t freeFormat = MakeHeader({.bitrateIndex = 0});
  EXPECT_FALSE(h.DecodeHeader(freeFormat));
  EXPECT_EQ(h.previousHeader, freeFormat);
}

TEST(FrameHeader, HeaderTestRejectsReservedFields) {
  EXPECT_TRUE(InputStream::IsValidHeader(MakeHeader({})));
  EXPECT_FALSE(InputStream::IsValidHeader(MakeHeader({}) & ~0x00E00000u));    // sync word broken
  EXPECT_FALSE(InputStream::IsValidHeader(MakeHeader({}) & ~(3u << 17)));     // layer 00
  EXPECT_FALSE(InputStream::IsValidHeader(MakeHeader({.bitrateIndex = 15})));  // forbidden rate
  EXPECT_FALSE(InputStream::IsValidHeader(MakeHeader({.rateField = 3})));      // reserved rate
  EXPECT_FALSE(InputStream::IsValidHeader(MakeHeader({}) & ~(1u << 20)));     // reserved version 01
  // MPEG-1 Layer I without CRC starts 0xFFFF and is a valid stream.
  const uint32_t layer1NoCrc = MakeHeader({.layer = 1, .bitrateIndex = 1});
  EXPECT_EQ(layer1NoCrc >> 16, 0xFFFFu);
  EXPECT_TRUE(InputStream::IsValidHeader(layer1NoCrc));
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

TEST(FrameHeader, OversizedBodiesAreRejected) {
  // MPEG-2.5 Layer II at 8 kHz and 160 kbit/s would need 2880 bytes.
  FrameHeader h;
  EXPECT_FALSE(h.DecodeHeader(MakeHeader({.version = Version::Mpeg25, .layer = 2, .bitrateIndex = 14, .rateField = 2})));
  EXPECT_EQ(FrameLengthOf(MakeHeader({.version = Version::Mpeg25, .layer = 2, .bitrateIndex = 14, .rateField = 2})), 0);
}

// The bit-rate and sampling-rate tables must agree with the standard's tables where they are at hand.
TEST(FrameHeader, TablesMatchTheStandard) {
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
    EXPECT_EQ(BitrateKbps(0, 1, index), l1);
    EXPECT_EQ(BitrateKbps(0, 2, index), l2);
    EXPECT_EQ(BitrateKbps(0, 3, index), l3);
    EXPECT_EQ(BitrateKbps(1, 1, index), lsf1);
    EXPECT_EQ(BitrateKbps(1, 2, index), lsf23);
    EXPECT_EQ(BitrateKbps(1, 3, index), lsf23);
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
