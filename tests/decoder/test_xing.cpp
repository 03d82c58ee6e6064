#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <tuple>
#include <vector>

#include "StreamBuilder.h"
#include "decoder/StreamProbe.h"
#include "decoder/Xing.h"

namespace tovira {
namespace {

// `total` bytes with a Xing tag at `offset` that holds the fields its flags announce.
std::vector<uint8_t> XingAt(size_t offset, uint32_t flags, size_t total = 8192) {
  std::vector<uint8_t> head(total, 0);
  std::vector<uint8_t> tag = {'X', 'i', 'n', 'g'};
  test::AppendBE32(tag, flags);
  if (flags & kXingFrames) test::AppendBE32(tag, 1234);
  if (flags & kXingBytes) test::AppendBE32(tag, 567890);
  if (flags & kXingToc) tag.resize(tag.size() + 100, 0xAB);  // the table of contents
  if (flags & kXingScale) test::AppendBE32(tag, 78);
  for (size_t i = 0; i < tag.size() && offset + i < total; ++i) head[offset + i] = tag[i];
  return head;
}

// Where the tag lies decides what is read: the fields follow one another without gaps, and a
// field that would run past the buffer is not read and its flag is dropped.
TEST(Xing, ReadsTheFieldsThatLieInsideTheBuffer) {
  struct Case {
    size_t at;
    uint32_t flags;
    size_t total;
    int found, flagsRead, frames, bytes, scale;
  };
  const Case cases[] = {
      {36, 15, 8192, 1, 15, 1234, 567890, 78},
      {100, kXingFrames | kXingScale, 8192, 1, kXingFrames | kXingScale, 1234, 0, 78},
      {10, 0, 8192, 1, 0, 99, 0, -1},
      {8188, 15, 8192, 1, 0, 99, 0, -1},  // the tag's four bytes end at the buffer's last byte
      {8189, 15, 8192, 0, 0, 99, 0, -1},  // one byte further: no tag
      {8192 - 20, 15, 8192, 1, kXingFrames | kXingBytes, 1234, 567890, -1},
      {0, 1, 6, 1, 0, 99, 0, -1},  // a short file's head is searched only as far as it goes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "at " << c.at << " flags " << c.flags);
    XingHeaderData x;
    x.frameCount = 99;  // what is not read stays as it was
    x.flags = 7;
    const int found = ReadXingHeader(x, XingAt(c.at, c.flags, c.total), 44100);
    EXPECT_EQ(std::tuple(found, x.flags, x.frameCount, x.byteCount, x.vbrScale),
              std::tuple(c.found, c.flagsRead, c.frames, c.bytes, c.scale));
  }
  XingHeaderData none;
  EXPECT_EQ(ReadXingHeader(none, std::vector<uint8_t>(8192, 'X'), 44100), 0);
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
  struct Case {
    const char* tag;
    const char* encoder;
    int delay, padding;
    bool info;
    int readDelay, readPadding;
  };
  const Case cases[] = {
      {"Info", "LAME3.100", 576, 792, true, 576, 792},
      {"Xing", "Lavc60.3", 4095, 1, false, 4095, 1},
      {"Xing", "\xff\x01", 576, 792, false, -1, -1},  // no encoder name there: nothing after it is trusted
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.encoder);
    XingHeaderData x;
    ASSERT_EQ(ReadXingHeader(x, WithExtension(c.tag, c.encoder, c.delay, c.padding), 44100), 1);
    EXPECT_EQ(std::tuple(x.info, x.frameCount, x.vbrScale, x.encoderDelay, x.encoderPadding),
              std::tuple(c.info, 384, 57, c.readDelay, c.readPadding));
  }
}

// The extension's peak (offset 11) and its two replay gain fields (15, 17), each read only when
// the buffer holds all of it.
TEST(Xing, ExtensionPeakAndReplayGainFields) {
  std::vector<uint8_t> frame = WithExtension("Info", "LAME3.100", 576, 792);
  const size_t ext = 36 + 4 + 4 + 4 + 4 + 100 + 4;
  const uint8_t fields[] = {0x00, 0x60, 0x00, 0x00,  // 0.75 in the encoder's fixed point (1.0 = 2^23)
                            0x2C, 0x3E,              // 001 011 0 000111110: radio, automatic, +6.2 dB
                            0x4E, 0x5A};             // 010 011 1 001011010: audiophile, automatic, -9.0 dB
  std::memcpy(frame.data() + ext + 11, fields, sizeof fields);
  struct Case {
    size_t length;
    float peak;
    int radio, audiophile;  // tenths of a dB; 0 when not read
  };
  const Case cases[] = {{frame.size(), 0.75f, 62, -90}, {ext + 19, 0.75f, 62, -90}, {ext + 18, 0.75f, 62, 0},
                        {ext + 16, 0.75f, 0, 0}, {ext + 14, 0.0f, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    XingHeaderData x;
    ASSERT_EQ(ReadXingHeader(x, std::span<const uint8_t>(frame.data(), c.length), 44100), 1);
    EXPECT_EQ(std::tuple(x.peak, x.radioGain.tenthsDb, x.audiophileGain.tenthsDb), std::tuple(c.peak, c.radio, c.audiophile));
  }
  XingHeaderData x;
  ASSERT_EQ(ReadXingHeader(x, frame, 44100), 1);
  EXPECT_EQ(std::tuple(x.radioGain.name, x.radioGain.originator, x.audiophileGain.name), std::tuple(1, 3, 2));
  // A peak stored as the float the format describes; and values that are neither.
  EXPECT_FLOAT_EQ(DecodeXingPeak(0x3F666666), 0.9f);
  for (const uint32_t bits : {0u, 0x7FC00000u, 0xFFFFFFFFu, 0x42F00000u /* 120.0f */}) EXPECT_EQ(DecodeXingPeak(bits), 0.0f) << bits;
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

}  // namespace
}  // namespace tovira
