#include <gtest/gtest.h>

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
