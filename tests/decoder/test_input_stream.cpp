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
using test::MakeHeader;

constexpr double kMs = 26.12244987487793;  // one frame of 1152 samples at 44.1 kHz

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

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// An APEv2 footer (or header) for a tag of `size` bytes of items and footer.
std::vector<uint8_t> ApeBlock(uint32_t size, uint32_t flags) {
  std::vector<uint8_t> f = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0};
  for (auto v : {size, 0u, flags}) {
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  f.resize(32, 0);
  return f;
}

TEST(InputStream, ReadsEveryFrameAndKeepsTheFirstLayer) {
  std::vector<uint8_t> bytes = Frames({}, 10);
  AppendFrame(bytes, {.layer = 2, .bitrateIndex = 8});  // a stray header of another layer
  Reader r(bytes);
  EXPECT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.header.FormatChanged, 1);
  EXPECT_EQ(r.header.bodyLength, 413);
  // An identical header is taken as it stands and reports no change.
  EXPECT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.header.FormatChanged, 0);
  EXPECT_EQ(r.CountFrames(), 9);
  EXPECT_EQ(r.header.layer, 3);
  EXPECT_EQ(r.stream.ReadFrame(), -2);

  // Free format: valid, but no frame length can be known.
  std::vector<uint8_t> freeFormat;
  test::AppendBE32(freeFormat, MakeHeader({.bitrateIndex = 0}));
  freeFormat.resize(400, 0);
  EXPECT_EQ(Reader(freeFormat).stream.ReadFrame(), 0);
}

TEST(InputStream, FindsRealFramesBehindJunk) {
  Reader near(Cat({std::vector<uint8_t>(100000, 0x5A), Frames({}, 3)}));
  EXPECT_EQ(near.CountFrames(), 3);
  // More junk than one call scans: that call finds nothing, the next one goes on from there.
  Reader far(Cat({std::vector<uint8_t>(140000, 0x5A), Frames({}, 3)}));
  EXPECT_EQ(far.stream.ReadFrame(), 0);
  EXPECT_EQ(far.CountFrames(), 3);

  // A lone sync pattern in junk looks like a header but is not followed by one.
  std::vector<uint8_t> junk(5000, 0);
  const uint32_t fake = MakeHeader({});
  for (int shift = 24, at = 1000; shift >= 0; shift -= 8, ++at) junk[at] = static_cast<uint8_t>(fake >> shift);
  Reader r(Cat({junk, Frames({.bitrateIndex = 11}, 4)}));  // real frames at 192 kbit/s
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.header.bitrateIndex, 11);
  EXPECT_EQ(r.CountFrames(), 3);
}

TEST(InputStream, SkipsId3v2TagsAtTheStartAndBetweenFrames) {
  Reader r(Cat({test::Id3v2Tag(3000, 0xFF), Frames({}, 2), test::Id3v2Tag(500), Frames({}, 2)}));
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.FirstFrameOffset(), 3010u);
  EXPECT_EQ(r.CountFrames(), 3);

  auto bytes = Cat({test::Id3v2Tag(0), Frames({}, 2)});
  bytes[6] = bytes[7] = bytes[8] = bytes[9] = 0x7F;  // 256 MiB claimed, a few hundred bytes present
  Reader huge(bytes);
  EXPECT_THROW(huge.stream.ReadFrame(), DecoderError);
}

TEST(InputStream, ReadsNeverLeaveTheFrame) {
  // A truncated last frame reads as padded with zeros, not with what earlier frames left in
  // the buffer.
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 2; ++i) AppendFrame(bytes, {}, 0x77);
  AppendFrame(bytes, {}, 0xEE);
  bytes.resize(bytes.size() - 300);
  Reader r(bytes);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(r.stream.ReadFrame(), 1);
  // The body's first bytes are the frame's, the missing rest reads as zeros.
  EXPECT_EQ(r.stream.GetBits(8), 0xEEu);
  r.stream.SetBitPosition(InputStream::kBodyOffsetBits + 200 * 8);
  EXPECT_EQ(r.stream.GetBits(16), 0u);
  // Reads past the readable area return zeros and stay inside the buffer, however far they go.
  r.stream.SetBitPosition(InputStream::kReadableBytes * 8 - 4);
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(r.stream.GetBits(16), 0u) << i;
  EXPECT_EQ(r.stream.ReadFrame(), -2);
}

TEST(InputStream, StepBackCopiesTheReservoirAndZeroFillsWhatIsMissing) {
  // Mono MPEG-1 Layer III: 17 bytes of side information, 396 of main data; frame k is filled
  // with 0x11 (k + 1).
  std::vector<uint8_t> bytes;
  for (int k = 0; k < 3; ++k) AppendFrame(bytes, {.mode = 3}, static_cast<uint8_t>(0x11 * (k + 1)));
  Reader r(bytes);
  auto expectBytes = [&](int count, uint32_t value) {
    for (int i = 0; i < count; ++i) ASSERT_EQ(r.stream.GetBits(8), value) << i;
  };
  const int main = 413 - 17;
  // Nothing precedes the first frame: the reservoir reads as zeros, then comes its own main data.
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  r.stream.StepBack(100);
  expectBytes(100, 0);
  expectBytes(1, 0x11);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  r.stream.StepBack(50);
  expectBytes(50, 0x11);
  expectBytes(1, 0x22);
  // Reaching back further than the previous frame's main data and its reservoir: zeros first.
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  r.stream.StepBack(511);
  expectBytes(511 - main - 50, 0);
  expectBytes(50, 0x11);
  expectBytes(main, 0x22);
  expectBytes(1, 0x33);

  // A rewind starts afresh: the first frame has no reservoir, whatever the buffers still hold.
  r.ctx.frameCounter = 3;
  r.stream.RewindStream();
  EXPECT_EQ(r.ctx.frameCounter.load(), 0u);
  EXPECT_EQ(r.header.previousHeader, 0u);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.header.FormatChanged, 1);
  r.stream.StepBack(100);
  expectBytes(100, 0);
  expectBytes(1, 0x11);
}

// Frames of 32 and 320 kbit/s in an irregular order, tags front and back, a stretch of junk and
// an ID3v2 tag in the middle: the seek counts frames, not bytes.
TEST(InputStream, SeekStandsOnTheFrameThatHoldsTheTime) {
  std::vector<uint8_t> bytes = test::Id3v2Tag(20000);
  std::mt19937 rng(99);
  int index = 0;
  for (; index < 30; ++index) AppendFrame(bytes, {.bitrateIndex = (rng() % 3 == 0) ? 14 : 1}, static_cast<uint8_t>(index));
  bytes = Cat({bytes, std::vector<uint8_t>(700, 0), test::Id3v2Tag(300)});
  for (; index < 60; ++index) AppendFrame(bytes, {.bitrateIndex = (rng() % 2 == 0) ? 14 : 5}, static_cast<uint8_t>(index));
  bytes = Cat({bytes, test::Id3v1Tag("t", "a", 1)});
  Reader r(bytes);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  // Frame k spans k x kMs to (k + 1) x kMs; its body is filled with k.
  const std::pair<double, uint32_t> seeks[] = {{0, 0},           {59 * kMs + 5, 59}, {20 * kMs + 1, 20},
                                               {21 * kMs - 1, 20}, {31 * kMs + 5, 31}, {29 * kMs + 5, 29},
                                               {30 * kMs + 5, 30}, {45 * kMs + 5, 45}, {kMs + 5, 1}};
  for (const auto& [ms, frame] : seeks) {
    SCOPED_TRACE(frame);
    ASSERT_TRUE(r.stream.SeekToTime(static_cast<uint32_t>(ms)));
    EXPECT_EQ(r.ctx.frameCounter.load(), frame);
    ASSERT_EQ(r.stream.ReadFrame(), 1);
    EXPECT_EQ(r.stream.GetBits(8), frame);
  }
  // Past the last frame the seek is refused and reading goes on where it was.
  EXPECT_FALSE(r.stream.SeekToTime(static_cast<uint32_t>(60 * kMs + 5)));
  EXPECT_FALSE(r.stream.SeekToTime(60000));
  EXPECT_EQ(r.ctx.frameCounter.load(), 1u);
  ASSERT_EQ(r.stream.ReadFrame(), 1);
  EXPECT_EQ(r.stream.GetBits(8), 2u);
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

TEST(InputStream, TagsAtTheEndAreNotAudio) {
  const auto frames = Frames({}, 10);
  // An APEv2 tag with header: 32-byte header, 40 bytes of items, 32-byte footer (size 72).
  const auto apeTag = Cat({ApeBlock(72, 0xA0000000u), std::vector<uint8_t>(40, 0xFF), ApeBlock(72, 0x80000000u)});
  const std::string lyrics = "LYRICSBEGININD00002" "11EAL00005Words";
  char size[7];
  std::snprintf(size, sizeof size, "%06zu", lyrics.size());
  const std::string lyricsText = lyrics + size + "LYRICS200";
  const std::vector<uint8_t> lyricsTag(lyricsText.begin(), lyricsText.end());
  const auto v1 = test::Id3v1Tag("Title", "Artist", 3);
  const std::pair<const char*, std::vector<uint8_t>> cases[] = {
      {"ID3v1", v1},
      {"APEv2 then ID3v1", Cat({apeTag, v1})},
      {"Lyrics3 then APEv2 then ID3v1", Cat({lyricsTag, apeTag, v1})},
      {"APEv2 alone", apeTag},
      {"nothing", {}},
  };
  for (const auto& [name, tail] : cases) {
    SCOPED_TRACE(name);
    Reader r(Cat({frames, tail}));
    EXPECT_EQ(r.stream.AudioEnd(), frames.size());
    EXPECT_EQ(r.CountFrames(), 10);
  }
  // A tail tag whose items hide sync-looking bytes that would otherwise be scanned as frames.
  std::vector<uint8_t> items(2000, 0);
  for (size_t i = 0; i + 418 <= items.size(); i += 418) {
    const uint32_t h = MakeHeader({});
    for (int k = 0; k < 4; ++k) items[i + static_cast<size_t>(k)] = static_cast<uint8_t>(h >> (24 - 8 * k));
  }
  EXPECT_EQ(Reader(Cat({Frames({}, 5), items, ApeBlock(2032, 0)})).CountFrames(), 5);
}

TEST(InputStream, MalformedTagsAtTheEndAreAudio) {
  const auto frames = Frames({}, 3);
  auto text = [](const std::string& t) { return std::vector<uint8_t>(t.begin(), t.end()); };
  const std::vector<uint8_t> tails[] = {
      ApeBlock(0xFFFFFFF0u, 0),                                         // claims more than the file holds
      ApeBlock(8, 0),                                                   // smaller than its own footer
      ApeBlock(static_cast<uint32_t>(frames.size()) + 1, 0x80000000u),  // with its header, reaches before the start
      text("00x010LYRICS200"),  // size with a letter in it
      text("999999LYRICS200"),  // more than the file holds
      text("000020LYRICS200"),  // no LYRICSBEGIN where the size points
      text("LYRICSEND"),        // an end marker without a beginning
      {'3', 'D', 'I', 4, 0, 0, 0, 0, 1, 0},  // a footer without its tag
      {'3', 'D', 'I', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F},
      text("123456LYRICS200"),  // tag-like bytes that do not hold together
  };
  for (const auto& tail : tails) {
    SCOPED_TRACE(std::string(tail.begin(), tail.end()));
    auto bytes = Cat({frames, tail});
    Reader r(bytes);
    EXPECT_EQ(r.stream.AudioEnd(), bytes.size());
    EXPECT_EQ(r.stream.ReadFrame(), 1);
  }
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

TEST(InputStream, MissingFilesPipesDevicesAndFoldersFailAtOnceSayingWhy) {
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
    EXPECT_EQ(stream.ReadFrame(), -2);
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
  const std::string path = std::string(TOVIRA_FIXTURE_DIR) + "/" + GetParam().file;
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
                      SeekCase{"l3_8k_16_mono.mp3", {0.5, 0.05}}, SeekCase{"l3_22k_64.mp3", {0.4}},
                      SeekCase{"l3_44k_128_crc.mp3", {0.6}}, SeekCase{"l2_44k_192.mp2", {0.5}},
                      SeekCase{"l2_22k_64.mp2", {0.7}}, SeekCase{"ff_l3_10s_200.mp3", {0.2, 0.65, 0.999}},
                      SeekCase{"ff_l2_44k_192.mp2", {0.4}}),
    [](const auto& info) {
      std::string name = info.param.file;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

}  // namespace
}  // namespace tovira
