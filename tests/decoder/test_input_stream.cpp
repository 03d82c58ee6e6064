#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "StreamBuilder.h"
#include "decoder/DecoderError.h"
#include "decoder/InputStream.h"

namespace tovira {
namespace {

using test::AppendFrame;
using test::Frames;
using test::HeaderSpec;
using test::MakeHeader;

// An input stream over bytes held in memory, with the records it reports into.
struct Reader {
  PlaybackContext ctx;
  FrameHeader header;
  InputStream stream{ctx, header};

  explicit Reader(std::vector<uint8_t> bytes) {
    stream.SetSource(std::make_unique<MemorySource>(std::move(bytes)));
    stream.OpenStream();
  }
  // Reads until the end, giving up after `limit` calls so a fault cannot hang the test.
  int CountFrames(int limit = 100000) {
    int frames = 0;
    for (int i = 0; i < limit; ++i) {
      const int r = stream.ReadFrame();
      if (r == -2) return frames;
      if (r == 1) ++frames;
    }
    ADD_FAILURE() << "the reader did not reach the end";
    return frames;
  }
};

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(InputStream, ReadsEveryFrameOfAPlainStream) {
  Reader r(Frames({}, 10));
  EXPECT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.header.FormatChanged, 1);
  EXPECT_EQ(r.header.bodyLength, 413);
  // An identical header is taken as it stands and reports no change.
  EXPECT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.header.FormatChanged, 0);
  EXPECT_EQ(r.CountFrames(), 8);
  EXPECT_EQ(r.stream.ReadFrame(), -2);
}

TEST(InputStream, FindsTheFirstFrameBehindJunk) {
  std::vector<uint8_t> junk(100000, 0x5A);
  Reader near(Concat(junk, Frames({}, 3)));
  EXPECT_EQ(near.CountFrames(), 3);

  // More junk than one call scans: that call finds nothing, the next one goes on from there.
  std::vector<uint8_t> lots(140000, 0x5A);
  Reader far(Concat(lots, Frames({}, 3)));
  EXPECT_EQ(far.stream.ReadFrame(), 0);
  EXPECT_EQ(far.CountFrames(), 3);
}

TEST(InputStream, ScannedHeadersNeedAFollowingFrame) {
  // A lone sync pattern in junk looks like a header but is not followed by one.
  std::vector<uint8_t> junk(5000, 0);
  const uint32_t fake = MakeHeader({});
  for (int shift = 24, at = 1000; shift >= 0; shift -= 8, ++at) junk[at] = static_cast<uint8_t>(fake >> shift);
  Reader r(Concat(junk, Frames({.bitrateIndex = 11}, 4)));  // real frames at 192 kbit/s
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.header.bitrateIndex, 11);
  EXPECT_EQ(r.CountFrames(), 3);
}

TEST(InputStream, Layer1WithoutCrcPlays) {
  Reader r(Frames({.layer = 1, .bitrateIndex = 1, .rateField = 2, .mode = 3}, 5));
  EXPECT_EQ(r.CountFrames(), 5);
  EXPECT_EQ(r.header.layer, 1);
  EXPECT_EQ(r.header.protection, 0);
}

TEST(InputStream, SkipsAnId3v2TagAtTheStart) {
  Reader r(Concat(test::Id3v2Tag(3000, 0xFF), Frames({}, 4)));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.FirstFrameOffset(), 3010u);
  EXPECT_EQ(r.CountFrames(), 3);
}

TEST(InputStream, SkipsAnId3v2TagBetweenFramesForward) {
  auto bytes = Concat(Frames({}, 2), test::Id3v2Tag(500));
  bytes = Concat(bytes, Frames({}, 2));
  Reader r(bytes);
  EXPECT_EQ(r.CountFrames(), 4);
}

TEST(InputStream, AHugeId3v2SizeEndsCleanly) {
  auto bytes = Concat(test::Id3v2Tag(0), Frames({}, 2));
  bytes[6] = bytes[7] = bytes[8] = bytes[9] = 0x7F;  // 256 MiB claimed, a few hundred bytes present
  Reader r(bytes);
  EXPECT_THROW(r.stream.ReadFrame(), DecoderError);
}

TEST(InputStream, Id3v1Block) {
  Reader tiny(std::vector<uint8_t>(127, 'T'));
  EXPECT_EQ(tiny.stream.GetTagBlock(), nullptr);

  auto bytes = Concat(Frames({}, 2), test::Id3v1Tag("A title that is exactly thirty", "Artist", 17));
  Reader r(bytes);
  const uint8_t* tag = r.stream.GetTagBlock();
  ASSERT_NE(tag, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(tag + 3), "A title that is exactly thirt");  // cut to 29
  EXPECT_STREQ(reinterpret_cast<const char*>(tag + 33), "Artist");
  EXPECT_EQ(tag[127], 17);

  std::vector<uint8_t> justTag = {'T', 'A', 'G'};
  justTag.resize(128, 'x');
  Reader exact(justTag);
  EXPECT_NE(exact.stream.GetTagBlock(), nullptr);
}

TEST(InputStream, AFreeFormatHeaderIsRejected) {
  std::vector<uint8_t> bytes;
  test::AppendBE32(bytes, MakeHeader({.bitrateIndex = 0}));  // free format
  bytes.resize(400, 0);
  Reader r(bytes);
  EXPECT_EQ(r.stream.ReadFrame(), 0);
}

TEST(InputStream, LayerLockHoldsWithinAStream) {
  std::vector<uint8_t> bytes = Frames({}, 2);
  AppendFrame(bytes, {.layer = 2, .bitrateIndex = 8});
  Reader r(bytes);
  EXPECT_EQ(r.CountFrames(), 3);
  EXPECT_EQ(r.header.layer, 3);
}

TEST(InputStream, TruncatedLastFrameIsPaddedWithZeros) {
  auto bytes = Frames({}, 2);
  AppendFrame(bytes, {}, 0xEE);
  bytes.resize(bytes.size() - 300);
  Reader r(bytes);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  // The body's first bytes are the frame's, the missing rest reads as zeros.
  EXPECT_EQ(r.stream.GetBits(8), 0xEEu);
  r.stream.SetBitPosition(InputStream::kBodyOffsetBits + 200 * 8);
  EXPECT_EQ(r.stream.GetBits(16), 0u);
  EXPECT_EQ(r.stream.ReadFrame(), -2);
}

TEST(InputStream, BitReader) {
  std::vector<uint8_t> bytes;
  test::AppendBE32(bytes, MakeHeader({}));
  const uint8_t body[] = {0xA5, 0x3C, 0xFF, 0x00, 0x81};
  bytes.insert(bytes.end(), std::begin(body), std::end(body));
  bytes.resize(417, 0);
  Reader r(bytes);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.GetBits(0), 0u);
  EXPECT_EQ(r.stream.BitPosition(), InputStream::kBodyOffsetBits);
  EXPECT_EQ(r.stream.GetBits(4), 0xAu);
  EXPECT_EQ(r.stream.GetOneBit(), 0u);
  EXPECT_EQ(r.stream.GetBits(16), 0xA79Fu);  // 0101 0011 1100 1111 1...
  EXPECT_EQ(r.stream.GetBitsFast(3), 0x7u);
  EXPECT_EQ(r.stream.GetBits(8), 0x00u);
  EXPECT_EQ(r.stream.GetBits(9), 0x102u);

  // Reads past the readable area return zeros and stay inside the buffer, however far they go.
  r.stream.SetBitPosition(InputStream::kReadableBytes * 8 - 4);
  for (int i = 0; i < 10000; ++i) EXPECT_EQ(r.stream.GetBits(16), 0u) << i;
}

TEST(InputStream, StepBackCopiesTheReservoirAndZeroFillsWhatIsMissing) {
  // Mono MPEG-1 Layer III: 17 bytes of side information. Fill each frame's body with its index.
  Reader r(Frames({.mode = 3}, 3));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  // Nothing precedes the first frame: the reservoir bytes read as zeros.
  r.stream.StepBack(100);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(r.stream.GetBits(8), 0u) << i;
  EXPECT_EQ(r.stream.GetBits(8), 0u);  // the frame's own main data (its fill is 0)

  ASSERT_EQ(r.stream.ReadFrame(), 1);
  r.stream.StepBack(50);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(r.stream.GetBits(8), 0u);
  EXPECT_EQ(r.stream.GetBits(8), 1u);

  // Reaching back further than the previous frame's main data and its reservoir: zeros first.
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  r.stream.StepBack(511);
  const int prevMain = 413 - 17;
  const int prevValid = prevMain + 50;
  for (int i = 0; i < 511 - prevValid; ++i) ASSERT_EQ(r.stream.GetBits(8), 0u);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(r.stream.GetBits(8), 0u);  // frame 0's main data
  for (int i = 0; i < prevMain; ++i) ASSERT_EQ(r.stream.GetBits(8), 1u);
  EXPECT_EQ(r.stream.GetBits(8), 2u);
}

TEST(InputStream, SeekToTime) {
  Reader r(Frames({}, 40));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_TRUE(r.stream.SeekToTime(0));
  EXPECT_EQ(r.ctx.frameCounter.load(), 1u);

  // Frame 20 starts at about 20 * 26.12 ms. The byte position is estimated from the average
  // frame length, so the resynchronising read lands on that frame or the one after.
  ASSERT_TRUE(r.stream.SeekToTime(20 * 26.12244987487793 + 1));
  EXPECT_EQ(r.ctx.frameCounter.load(), 21u);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  const uint32_t landed = r.stream.GetBits(8);  // the body fill is the frame's index
  EXPECT_GE(landed, 21u);
  EXPECT_LE(landed, 22u);

  // Past the end: refused, and reading goes on where it was.
  EXPECT_FALSE(r.stream.SeekToTime(60000));
  EXPECT_EQ(r.ctx.frameCounter.load(), 21u);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.GetBits(8), landed + 1);
}

TEST(InputStream, SeekAccountsForALeadingTag) {
  Reader r(Concat(test::Id3v2Tag(20000), Frames({}, 40)));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  ASSERT_TRUE(r.stream.SeekToTime(static_cast<uint32_t>(30 * 26.12244987487793 + 1)));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  // Without the tag's 20 kB in the reckoning the seek would land some fifty frames early.
  const uint32_t landed = r.stream.GetBits(8);
  EXPECT_GE(landed, 31u);
  EXPECT_LE(landed, 32u);
}

TEST(InputStream, RewindStartsAfresh) {
  Reader r(Frames({}, 5));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  r.ctx.frameCounter = 2;
  r.stream.RewindStream();
  EXPECT_EQ(r.ctx.frameCounter.load(), 0u);
  EXPECT_EQ(r.header.previousHeader, 0u);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.header.FormatChanged, 1);
  EXPECT_EQ(r.stream.GetBits(8), 0u);
  // The first frame after a rewind has no reservoir to draw on.
  r.stream.StepBack(20);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(r.stream.GetBits(8), 0u);
}

TEST(InputStream, HostileBytesNeverHang) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 40; ++round) {
    std::vector<uint8_t> bytes(static_cast<size_t>(rng() % 20000));
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    // Sprinkle sync bytes so that candidate headers are common.
    for (size_t i = 0; i + 1 < bytes.size(); i += 1 + rng() % 64) {
      bytes[i] = 0xFF;
      bytes[i + 1] |= 0xE0;
    }
    Reader r(bytes);
    try {
      r.CountFrames();
      r.stream.SeekToTime(static_cast<uint32_t>(rng() % 5000));
      for (int i = 0; i < 50; ++i) {
        if (r.stream.ReadFrame() == 1) r.stream.StepBack(rng() % 512);
      }
    } catch (const DecoderError&) {
      // A damaged tag may end the stream; what matters is that it ends.
    }
  }
}

TEST(InputStream, MissingFileThrows) {
  PlaybackContext ctx;
  FrameHeader header;
  InputStream stream(ctx, header);
  ctx.inputFile = "/nonexistent/file.mp3";
  EXPECT_THROW(stream.OpenStream(), DecoderError);
  EXPECT_FALSE(stream.IsOpen());
  EXPECT_EQ(stream.ReadFrame(), -2);
}

TEST(InputStream, FilesPastFourGigabytes) {
  // A sparse file: frames at the start, a tag at the end, 5 GiB in all.
  const auto path = std::filesystem::temp_directory_path() / ("tovira-big-" + std::to_string(::getpid()) + ".mp3");
  const uint64_t size = 5ull << 30;
  {
    std::ofstream out(path, std::ios::binary);
    const auto frames = Frames({}, 3);
    out.write(reinterpret_cast<const char*>(frames.data()), static_cast<std::streamsize>(frames.size()));
  }
  std::filesystem::resize_file(path, size - 128);
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    const auto tag = test::Id3v1Tag("Far away", "", 0);
    out.write(reinterpret_cast<const char*>(tag.data()), 128);
  }
  PlaybackContext ctx;
  FrameHeader header;
  InputStream stream(ctx, header);
  ctx.inputFile = path.string();
  stream.OpenStream();
  EXPECT_EQ(stream.FileSize(), size);
  ASSERT_NE(stream.GetTagBlock(), nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(stream.GetTagBlock() + 3), "Far away");
  ASSERT_EQ(stream.ReadFrame(), 1);
  EXPECT_EQ(header.GetFrameCount(stream.FileSize()), size / 418);
  // A seek beyond 4 GiB, near the end: it lands in zeros, finds no frame and reaches the end.
  const uint64_t target = size / 418 - 500;
  EXPECT_TRUE(stream.SeekToTime(static_cast<uint32_t>(static_cast<double>(target) * header.GetMsPerFrame() + 1)));
  EXPECT_EQ(ctx.frameCounter.load(), target + 1);
  EXPECT_EQ(stream.ReadFrame(), -2);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace tovira
