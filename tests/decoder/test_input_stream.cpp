#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "StreamBuilder.h"
#include "decoder/DecoderError.h"
#include "decoder/InputStream.h"
#include "decoder/MpegDecoder.h"

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

TEST(InputStream, SeekToTimeStandsOnTheFrameThatHoldsTheTime) {
  Reader r(Frames({}, 40));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_TRUE(r.stream.SeekToTime(0));
  EXPECT_EQ(r.ctx.frameCounter.load(), 0u);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.GetBits(8), 0u);  // the body fill is the frame's index

  // Frame 20 spans 20 x 26.12 ms to 21 x 26.12 ms.
  ASSERT_TRUE(r.stream.SeekToTime(static_cast<uint32_t>(20 * 26.12244987487793 + 1)));
  EXPECT_EQ(r.ctx.frameCounter.load(), 20u);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.GetBits(8), 20u);
  ASSERT_TRUE(r.stream.SeekToTime(static_cast<uint32_t>(21 * 26.12244987487793 - 1)));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.GetBits(8), 20u);

  // The last frame can be reached; past it the seek is refused and reading goes on where it was.
  ASSERT_TRUE(r.stream.SeekToTime(static_cast<uint32_t>(39 * 26.12244987487793 + 1)));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.GetBits(8), 39u);
  ASSERT_TRUE(r.stream.SeekToTime(static_cast<uint32_t>(10 * 26.12244987487793 + 1)));
  EXPECT_FALSE(r.stream.SeekToTime(static_cast<uint32_t>(40 * 26.12244987487793 + 1)));
  EXPECT_FALSE(r.stream.SeekToTime(60000));
  EXPECT_EQ(r.ctx.frameCounter.load(), 10u);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.GetBits(8), 10u);
}

TEST(InputStream, SeekIsExactWhateverTheBitRateDidBefore) {
  // Frames of 32 and 320 kbit/s in an irregular order, tags front and back, a stretch of junk
  // and an ID3v2 tag in the middle: the seek counts frames, not bytes.
  std::vector<uint8_t> bytes = test::Id3v2Tag(20000);
  std::mt19937 rng(99);
  int index = 0;
  for (; index < 30; ++index) AppendFrame(bytes, {.bitrateIndex = (rng() % 3 == 0) ? 14 : 1}, static_cast<uint8_t>(index));
  bytes.insert(bytes.end(), 700, 0x00);
  bytes = Concat(bytes, test::Id3v2Tag(300));
  for (; index < 60; ++index) AppendFrame(bytes, {.bitrateIndex = (rng() % 2 == 0) ? 14 : 5}, static_cast<uint8_t>(index));
  bytes = Concat(bytes, test::Id3v1Tag("t", "a", 1));
  Reader r(bytes);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  for (const int frame : {59, 0, 31, 29, 30, 45, 1}) {
    SCOPED_TRACE(frame);
    ASSERT_TRUE(r.stream.SeekToTime(static_cast<uint32_t>(frame * 26.12244987487793 + 5)));
    EXPECT_EQ(r.ctx.frameCounter.load(), static_cast<uint32_t>(frame));
    ASSERT_EQ(r.stream.ReadFrame(), 1);
    EXPECT_EQ(r.stream.GetBits(8), static_cast<uint32_t>(frame));
  }
  EXPECT_FALSE(r.stream.SeekToTime(static_cast<uint32_t>(60 * 26.12244987487793 + 5)));
  EXPECT_TRUE(r.stream.Index().Complete());
  EXPECT_EQ(r.stream.Index().FramesKnown(), 60u);
}

TEST(InputStream, TheIndexGrowsAheadWithoutMovingTheReader) {
  Reader r(Frames({}, 100));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  for (uint32_t read = 1; read < 30; ++read) {
    r.stream.ExtendIndex(3);
    EXPECT_EQ(r.stream.Index().FramesKnown(), std::min<uint64_t>(3 * read, 100));
    ASSERT_EQ(r.stream.ReadFrame(), 1);
    ASSERT_EQ(r.stream.GetBits(8), read);  // the frame after the one before, as if nothing happened
  }
  r.stream.ExtendIndex(1000);
  EXPECT_TRUE(r.stream.Index().Complete());
  EXPECT_EQ(r.stream.Index().FramesKnown(), 100u);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.GetBits(8), 30u);
}

TEST(InputStream, SeekLeadCoversTheBitReservoir) {
  // Layer III frames of 32 kbit/s hold 68 bytes of main data after 4 + 32 header and side-info
  // bytes: a full reservoir of 511 bytes needs eight of them before the frame ahead of the target.
  Reader low(Frames({.bitrateIndex = 1}, 40));
  ASSERT_EQ(low.stream.ReadFrame(), 1);
  uint32_t lead = 0;
  ASSERT_TRUE(low.stream.SeekToTime(static_cast<uint32_t>(30 * 26.12244987487793 + 1), &lead));
  EXPECT_EQ(lead, 9u);
  EXPECT_EQ(low.ctx.frameCounter.load(), 21u);
  ASSERT_EQ(low.stream.ReadFrame(), 1);
  EXPECT_EQ(low.stream.GetBits(8), 21u);
  // Near the start there is less to run through.
  ASSERT_TRUE(low.stream.SeekToTime(static_cast<uint32_t>(3 * 26.12244987487793 + 1), &lead));
  EXPECT_EQ(lead, 3u);
  EXPECT_EQ(low.ctx.frameCounter.load(), 0u);

  // 320 kbit/s frames (1044 bytes) fill the reservoir at once: the frame before is enough.
  Reader high(Frames({.bitrateIndex = 14}, 40));
  ASSERT_EQ(high.stream.ReadFrame(), 1);
  ASSERT_TRUE(high.stream.SeekToTime(static_cast<uint32_t>(30 * 26.12244987487793 + 1), &lead));
  EXPECT_EQ(lead, 2u);
  // Layer II keeps no reservoir; one frame refills the synthesis history.
  Reader layer2(Frames({.layer = 2, .bitrateIndex = 8}, 40));
  ASSERT_EQ(layer2.stream.ReadFrame(), 1);
  ASSERT_TRUE(layer2.stream.SeekToTime(static_cast<uint32_t>(30 * 26.12244987487793 + 1), &lead));
  EXPECT_EQ(lead, 1u);
}

TEST(InputStream, TagsAtTheEndAreNotAudio) {
  const auto frames = Frames({}, 10);
  std::vector<uint8_t> ape = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0};
  // An APEv2 tag with header: 32-byte header, 40 bytes of items, 32-byte footer (size 72).
  std::vector<uint8_t> apeHeader = ape;
  for (auto v : {72u, 1u, 0xA0000000u}) {
    for (int i = 0; i < 4; ++i) apeHeader.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  apeHeader.resize(32, 0);
  std::vector<uint8_t> apeFooter = apeHeader;
  apeFooter[23] = 0x80;  // has a header, this is the footer
  std::vector<uint8_t> apeTag = Concat(apeHeader, std::vector<uint8_t>(40, 0xFF));
  apeTag = Concat(apeTag, apeFooter);
  const std::string lyrics = "LYRICSBEGININD00002" "11EAL00005Words";
  char size[7];
  std::snprintf(size, sizeof size, "%06zu", lyrics.size());
  std::vector<uint8_t> lyricsTag(lyrics.begin(), lyrics.end());
  for (const char c : std::string(size) + "LYRICS200") lyricsTag.push_back(static_cast<uint8_t>(c));
  const auto v1 = test::Id3v1Tag("Title", "Artist", 3);

  const size_t audio = frames.size();
  struct Case {
    const char* name;
    std::vector<uint8_t> tail;
  } cases[] = {
      {"ID3v1", v1},
      {"APEv2 then ID3v1", Concat(apeTag, v1)},
      {"Lyrics3 then APEv2 then ID3v1", Concat(Concat(lyricsTag, apeTag), v1)},
      {"APEv2 alone", apeTag},
      {"nothing", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reader r(Concat(frames, c.tail));
    EXPECT_EQ(r.stream.AudioEnd(), audio);
    EXPECT_EQ(r.CountFrames(), 10);
  }
  // Tag-like bytes that do not hold together are audio.
  auto bogus = Concat(frames, std::vector<uint8_t>{'1', '2', '3', '4', '5', '6', 'L', 'Y', 'R', 'I', 'C', 'S', '2', '0', '0'});
  Reader r(bogus);
  EXPECT_EQ(r.stream.AudioEnd(), bogus.size());
}

TEST(InputStream, MalformedTagsAtTheEndAreAudio) {
  const auto frames = Frames({}, 3);
  auto ape = [](uint32_t size, uint32_t flags) {
    std::vector<uint8_t> f = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0};
    for (auto v : {size, 0u, flags}) {
      for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    f.resize(32, 0);
    return f;
  };
  auto text = [](const std::string& t) { return std::vector<uint8_t>(t.begin(), t.end()); };
  const std::vector<uint8_t> tails[] = {
      ape(0xFFFFFFF0u, 0),            // claims more than the file holds
      ape(8, 0),                      // smaller than its own footer
      ape(static_cast<uint32_t>(frames.size()) + 1, 0x80000000u),  // with its header, reaches before the start
      text("00x010LYRICS200"),        // size with a letter in it
      text("999999LYRICS200"),        // more than the file holds
      text("000020LYRICS200"),        // no LYRICSBEGIN where the size points
      text("LYRICSEND"),              // an end marker without a beginning
      {'3', 'D', 'I', 4, 0, 0, 0, 0, 1, 0},  // a footer without its tag
      {'3', 'D', 'I', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F},
  };
  for (const auto& tail : tails) {
    SCOPED_TRACE(std::string(tail.begin(), tail.end()));
    auto bytes = Concat(frames, tail);
    Reader r(bytes);
    EXPECT_EQ(r.stream.AudioEnd(), bytes.size());
    EXPECT_EQ(r.stream.ReadFrame(), 1);
  }
}

TEST(InputStream, AudioEndKeepsJunkInsideTheStreamOutOfTheCount) {
  // A tail tag whose sync-looking bytes would otherwise be scanned as frames.
  auto bytes = Frames({}, 5);
  std::vector<uint8_t> ape(32, 0);
  std::memcpy(ape.data(), "APETAGEX", 8);
  ape[8] = 0xD0;
  ape[9] = 0x07;
  std::vector<uint8_t> items(2000, 0);
  for (size_t i = 0; i + 418 <= items.size(); i += 418) {  // frames hidden in the tag's items
    const uint32_t h = MakeHeader({});
    for (int k = 0; k < 4; ++k) items[i + static_cast<size_t>(k)] = static_cast<uint8_t>(h >> (24 - 8 * k));
  }
  const uint32_t size = static_cast<uint32_t>(items.size() + 32);
  for (int i = 0; i < 4; ++i) ape[12 + static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
  bytes = Concat(Concat(bytes, items), ape);
  Reader r(bytes);
  EXPECT_EQ(r.CountFrames(), 5);
}

TEST(InputStream, SeekAccountsForALeadingTag) {
  Reader r(Concat(test::Id3v2Tag(20000), Frames({}, 40)));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  ASSERT_TRUE(r.stream.SeekToTime(static_cast<uint32_t>(30 * 26.12244987487793 + 1)));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.GetBits(8), 30u);
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

TEST(InputStream, PipesDevicesAndFoldersFailAtOnceSayingWhy) {
  const auto fifo = std::filesystem::temp_directory_path() / ("tovira-fifo-" + std::to_string(::getpid()));
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::pair<std::string, std::string> cases[] = {
      {fifo.string(), "it is a pipe (FIFO), not a file"},  // no writer ever comes: must not wait
      {"/dev/zero", "it is a device, not a file"},         // would read zeros for ever
      {std::filesystem::temp_directory_path().string(), "it is a directory"},
      {"/nonexistent/x.mp3", "No such file or directory"},
  };
  for (const auto& [path, why] : cases) {
    PlaybackContext ctx;
    FrameHeader header;
    InputStream stream(ctx, header);
    ctx.inputFile = path;
    try {
      stream.OpenStream();
      ADD_FAILURE() << path << " opened";
    } catch (const DecoderError& e) {
      EXPECT_EQ(std::string(e.what()), "cannot open " + path + ": " + why);
    }
    EXPECT_FALSE(stream.IsOpen());
  }
  std::filesystem::remove(fifo);
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
  EXPECT_EQ(stream.AudioEnd(), size - 128);
  // A seek far beyond the three frames is refused without reading through the gigabytes of
  // zeros, and the stream goes on where it was.
  const uint64_t target = size / 418 - 500;
  EXPECT_FALSE(stream.SeekToTime(static_cast<uint32_t>(static_cast<double>(target) * header.GetMsPerFrame() + 1)));
  EXPECT_EQ(ctx.frameCounter.load(), 0u);
  EXPECT_EQ(stream.ReadFrame(), 1);
  std::filesystem::remove(path);
}

// ---- exact seeking on real files ----

std::string Fixture(const std::string& name) { return std::string(TOVIRA_FIXTURE_DIR) + "/" + name; }

struct SeekCase {
  const char* file;
  std::vector<double> fractions;  // of the whole decode's length
};

void PrintTo(const SeekCase& c, std::ostream* os) { *os << c.file; }

class ExactSeek : public ::testing::TestWithParam<SeekCase> {};

// The oracle is the decoder's own uninterrupted decode: frame k of the stream is the PCM at
// k x samples-per-frame in it. After a seek, everything decoded must be that PCM bit for bit,
// from the frame that holds the wanted time.
TEST_P(ExactSeek, SoundFromASeekIsTheWholeDecodeFromTheWantedFrame) {
  const std::string path = Fixture(GetParam().file);
  VectorPcmSink whole;
  std::string error;
  ASSERT_TRUE(MpegDecoder::DecodeFile(path, whole, &error)) << error;
  for (const double fraction : GetParam().fractions) {
    PlaybackContext ctx;
    ctx.inputFile = path;
    auto decoder = std::make_unique<MpegDecoder>(ctx);
    InputStream& in = decoder->Stream();
    in.OpenStream();
    int r = 0;
    while ((r = in.ReadFrame()) == 0) {
    }
    ASSERT_EQ(r, 1);
    VectorPcmSink tail;
    decoder->Prepare(0);
    decoder->SetSink(&tail);
    const FrameHeader& h = decoder->Header();
    const size_t valuesPerFrame = static_cast<size_t>(h.SamplesPerFrame()) * 2;
    const double wholeMs = static_cast<double>(whole.pcm.size() / valuesPerFrame) * h.GetMsPerFrame();
    const auto ms = static_cast<uint32_t>(wholeMs * fraction);
    SCOPED_TRACE(std::to_string(ms) + " ms");
    ASSERT_TRUE(decoder->SeekToTime(ms));
    const uint32_t frame = ctx.frameCounter.load();
    EXPECT_EQ(frame, static_cast<uint32_t>(ms / h.GetMsPerFrame())) << "not the frame that holds the time";
    while ((r = in.ReadFrame()) != -2) {
      if (r == 1) decoder->DecodeCurrentFrame();
    }
    decoder->FlushPcm();
    const size_t from = frame * valuesPerFrame;
    ASSERT_EQ(tail.pcm.size(), whole.pcm.size() - from);
    EXPECT_TRUE(std::equal(tail.pcm.begin(), tail.pcm.end(), whole.pcm.begin() + static_cast<long>(from)))
        << "the sound after the seek differs from the uninterrupted decode";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ExactSeek,
    ::testing::Values(SeekCase{"l3_10s_cbr_pic.mp3", {0.0, 0.25, 0.75, 0.999}},
                      SeekCase{"l3_10s_vbr_pic.mp3", {0.1, 0.5, 0.9}}, SeekCase{"l3_10s_vbr_bare.mp3", {0.3, 0.8}},
                      SeekCase{"l3_8k_16_mono.mp3", {0.5}}, SeekCase{"l3_22k_64.mp3", {0.4}},
                      SeekCase{"l3_44k_128_crc.mp3", {0.6}}, SeekCase{"l2_44k_192.mp2", {0.5}},
                      SeekCase{"l2_22k_64.mp2", {0.7}}),
    [](const auto& info) {
      std::string name = info.param.file;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

}  // namespace
}  // namespace tovira
