#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "StreamBuilder.h"
#include "decoder/StreamProbe.h"
#include "decoder/Xing.h"

namespace tovira {
namespace {

std::vector<uint8_t> XingAt(size_t offset, uint32_t flags, size_t total = 8192) {
  std::vector<uint8_t> head(total, 0);
  std::vector<uint8_t> tag = {'X', 'i', 'n', 'g'};
  test::AppendBE32(tag, flags);
  if (flags & kXingFrames) test::AppendBE32(tag, 1234);
  if (flags & kXingBytes) test::AppendBE32(tag, 567890);
  if (flags & kXingToc) {
    for (int i = 0; i < 100; ++i) tag.push_back(static_cast<uint8_t>(i * 2 + 10));
  }
  if (flags & kXingScale) test::AppendBE32(tag, 78);
  for (size_t i = 0; i < tag.size() && offset + i < total; ++i) head[offset + i] = tag[i];
  return head;
}

TEST(Xing, ReadsTheFieldsItsFlagsAnnounce) {
  XingHeaderData x;
  ASSERT_EQ(ReadXingHeader(x, XingAt(36, 15), 44100), 1);
  EXPECT_EQ(x.flags, 15);
  EXPECT_EQ(x.mpegId, 1);
  EXPECT_EQ(x.sampleRate, 44100);
  EXPECT_EQ(x.frameCount, 1234);
  EXPECT_EQ(x.byteCount, 567890);
  EXPECT_EQ(x.toc[0], 10);
  EXPECT_EQ(x.toc[99], 208);
  EXPECT_EQ(x.vbrScale, 78);
}

TEST(Xing, FieldsFollowOneAnotherWithoutGaps) {
  XingHeaderData x;
  ASSERT_EQ(ReadXingHeader(x, XingAt(100, kXingFrames | kXingScale), 44100), 1);
  EXPECT_EQ(x.frameCount, 1234);
  EXPECT_EQ(x.vbrScale, 78);
  EXPECT_EQ(x.byteCount, 0);
}

TEST(Xing, FlagWordZeroAndNoTag) {
  XingHeaderData x;
  x.frameCount = 99;
  ASSERT_EQ(ReadXingHeader(x, XingAt(10, 0), 44100), 1);
  EXPECT_EQ(x.flags, 0);
  EXPECT_EQ(x.vbrScale, -1);
  EXPECT_EQ(x.frameCount, 99);  // untouched

  XingHeaderData none;
  none.flags = 7;
  EXPECT_EQ(ReadXingHeader(none, std::vector<uint8_t>(8192, 0x58), 44100), 0);
  EXPECT_EQ(none.flags, 0);
}

TEST(Xing, BufferEdges) {
  // The tag's four bytes end at the buffer's last byte: found, with nothing more to read.
  XingHeaderData x;
  EXPECT_EQ(ReadXingHeader(x, XingAt(8188, 15), 44100), 1);
  EXPECT_EQ(x.flags, 0);
  // One byte further and the tag does not fit.
  XingHeaderData y;
  EXPECT_EQ(ReadXingHeader(y, XingAt(8189, 15), 44100), 0);
  // Fields that would run past the buffer are not read and their flags are dropped.
  XingHeaderData z;
  ASSERT_EQ(ReadXingHeader(z, XingAt(8192 - 20, 15), 44100), 1);
  EXPECT_EQ(z.flags, kXingFrames | kXingBytes);
  EXPECT_EQ(z.frameCount, 1234);
  EXPECT_EQ(z.vbrScale, -1);
  // A short head buffer (a short file) is searched only as far as it goes.
  XingHeaderData w;
  EXPECT_EQ(ReadXingHeader(w, XingAt(0, 1, 6), 44100), 1);
  EXPECT_EQ(w.flags, 0);
}

TEST(Xing, SeekPointInterpolatesAndClamps) {
  uint8_t toc[100];
  for (int i = 0; i < 100; ++i) toc[i] = static_cast<uint8_t>(i * 2);
  const int bytes = 1 << 20;
  EXPECT_EQ(XingSeekPoint(toc, bytes, 0.0f), 0);
  EXPECT_EQ(XingSeekPoint(toc, bytes, 50.0f), 100 * bytes / 256);
  EXPECT_EQ(XingSeekPoint(toc, bytes, 50.5f), 101 * bytes / 256);
  // The last entry interpolates toward the end of the stream.
  EXPECT_EQ(XingSeekPoint(toc, bytes, 99.5f), static_cast<int>((198.0 + 29.0) / 256.0 * bytes));
  EXPECT_EQ(XingSeekPoint(toc, bytes, 100.0f), bytes);
  EXPECT_EQ(XingSeekPoint(toc, bytes, 250.0f), bytes);
  EXPECT_EQ(XingSeekPoint(toc, bytes, -3.0f), 0);
}

// A Xing header with all four fields and the encoder's extension behind them.
std::vector<uint8_t> WithExtension(const char* tag, const char* encoder, int delay, int padding) {
  std::vector<uint8_t> frame(36, 0);
  for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(tag[i]));
  test::AppendBE32(frame, 15);
  test::AppendBE32(frame, 384);
  test::AppendBE32(frame, 160913);
  frame.resize(frame.size() + 100, 0);
  test::AppendBE32(frame, 57);
  std::vector<uint8_t> ext(36, 0);
  std::memcpy(ext.data(), encoder, std::min<size_t>(9, std::strlen(encoder)));
  // Two 12-bit numbers in three bytes, delay first.
  ext[21] = static_cast<uint8_t>(delay >> 4);
  ext[22] = static_cast<uint8_t>(((delay & 15) << 4) | (padding >> 8));
  ext[23] = static_cast<uint8_t>(padding & 0xFF);
  frame.insert(frame.end(), ext.begin(), ext.end());
  frame.resize(417, 0);
  return frame;
}

TEST(Xing, InfoTagAndEncoderDelayAndPadding) {
  XingHeaderData x;
  ASSERT_EQ(ReadXingHeader(x, WithExtension("Info", "LAME3.100", 576, 792), 44100), 1);
  EXPECT_TRUE(x.info);
  EXPECT_EQ(x.frameCount, 384);
  EXPECT_EQ(x.vbrScale, 57);
  EXPECT_EQ(x.encoderDelay, 576);
  EXPECT_EQ(x.encoderPadding, 792);

  XingHeaderData y;
  ASSERT_EQ(ReadXingHeader(y, WithExtension("Xing", "Lavc60.3", 4095, 1), 44100), 1);
  EXPECT_FALSE(y.info);
  EXPECT_EQ(y.encoderDelay, 4095);
  EXPECT_EQ(y.encoderPadding, 1);

  // No encoder name where the extension would be: nothing there is trusted.
  XingHeaderData z;
  ASSERT_EQ(ReadXingHeader(z, WithExtension("Xing", "\xff\x01", 576, 792), 44100), 1);
  EXPECT_EQ(z.encoderDelay, -1);
  EXPECT_EQ(z.encoderPadding, -1);
}

TEST(Xing, DurationLeavesOutTheEncoderDelayAndPadding) {
  StreamSummary s;
  s.header.layer = 3;
  s.header.sampleRateIndex = 0;
  s.hasXing = true;
  s.xing.flags = kXingFrames;
  s.xing.frameCount = 100;
  EXPECT_NEAR(s.DurationMs(), 100 * 26.12244987487793, 1e-9);
  s.xing.encoderDelay = 576;
  s.xing.encoderPadding = 1000;
  EXPECT_NEAR(s.DurationMs(), (100 * 1152 - 1576) / 44.1, 1e-9);
  // Figures that would leave nothing are not believed.
  s.xing.encoderPadding = 4095;
  s.xing.frameCount = 3;
  EXPECT_NEAR(s.DurationMs(), 3 * 26.12244987487793, 1e-9);
}

TEST(Xing, VbriHeader) {
  std::vector<uint8_t> frame(36, 0);
  frame.insert(frame.end(), {'V', 'B', 'R', 'I', 0, 1, 0x02, 0x40, 0, 75});
  test::AppendBE32(frame, 1234567);
  test::AppendBE32(frame, 4321);
  frame.resize(417, 0);
  VbriHeaderData v;
  ASSERT_EQ(ReadVbriHeader(v, frame), 1);
  EXPECT_EQ(v.version, 1);
  EXPECT_EQ(v.delay, 576);
  EXPECT_EQ(v.byteCount, 1234567u);
  EXPECT_EQ(v.frameCount, 4321u);
  frame[36] = 'X';
  EXPECT_EQ(ReadVbriHeader(v, frame), 0);
  EXPECT_EQ(ReadVbriHeader(v, std::span<const uint8_t>(frame.data(), 50)), 0);

  // Through the probe: a stream whose first frame carries it takes its frame count.
  std::vector<uint8_t> bytes;
  test::AppendBE32(bytes, test::MakeHeader({}));
  frame[36] = 'V';
  bytes.insert(bytes.end(), frame.begin() + 4, frame.end());
  for (int i = 0; i < 5; ++i) test::AppendFrame(bytes, {});
  StreamSummary s;
  ASSERT_EQ(ProbeStream(std::make_unique<MemorySource>(bytes), s), ProbeStatus::Ok);
  EXPECT_TRUE(s.hasVbri);
  EXPECT_EQ(s.Frames(), 4321u);
}

// The first frame of a file with a large cover picture lies far beyond the file's first 8 KB.
class TaggedTenSeconds : public ::testing::TestWithParam<const char*> {};

TEST_P(TaggedTenSeconds, FiguresComeFromTheAudioAlone) {
  const std::string path = std::string(TOVIRA_FIXTURE_DIR) + "/" + GetParam();
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  ASSERT_GT(bytes.size(), 160000u);
  ASSERT_EQ(std::memcmp(bytes.data(), "ID3", 3), 0);
  const uint64_t tagEnd = 10 + ((uint64_t{bytes[6]} << 21) | (uint64_t{bytes[7]} << 14) | (uint64_t{bytes[8]} << 7) | bytes[9]);
  ASSERT_GT(tagEnd, 150000u);
  ASSERT_EQ(std::memcmp(bytes.data() + bytes.size() - 128, "TAG", 3), 0);

  StreamSummary s;
  ASSERT_EQ(ProbeStream(path, s), ProbeStatus::Ok);
  EXPECT_EQ(s.firstFrameOffset, tagEnd);
  EXPECT_EQ(s.audioEnd, bytes.size() - 128);
  ASSERT_TRUE(s.hasXing);
  // The encoder counted the bytes of its stream: the audio alone, without either tag.
  EXPECT_EQ(static_cast<uint64_t>(s.xing.byteCount), s.AudioBytes());
  // Ten seconds were encoded; within one frame.
  EXPECT_NEAR(s.DurationMs(), 10000.0, 1152 * 1000.0 / 44100);
  // The estimate from the bytes is near too for constant bit rate (every frame the same length).
  if (s.xing.info) {
    EXPECT_NEAR(static_cast<double>(s.estimatedFrames), s.Frames() + 1, 1.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TaggedTenSeconds, ::testing::Values("l3_10s_cbr_pic.mp3", "l3_10s_vbr_pic.mp3"));

TEST(Xing, RealVariableBitRateFile) {
  StreamSummary s;
  ASSERT_EQ(ProbeStream(std::string(TOVIRA_FIXTURE_DIR) + "/l3_44k_vbr.mp3", s), ProbeStatus::Ok);
  ASSERT_TRUE(s.hasXing);
  EXPECT_EQ(s.xing.flags & 7, 7);
  EXPECT_EQ(s.xing.byteCount, static_cast<int32_t>(s.fileSize));
  // Three seconds of audio at 1152 samples per frame: the encoder's own frame count.
  EXPECT_NEAR(s.DurationMs(), 3000.0, 60.0);
  EXPECT_NE(s.Frames(), s.estimatedFrames);
}

}  // namespace
}  // namespace tovira
