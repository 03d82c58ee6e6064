// Free-format streams: frames without a bit-rate index, whose length the decoder must find.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "DamagedStreams.h"
#include "Decode.h"
#include "StreamBuilder.h"
#include "decoder/DecoderError.h"
#include "decoder/StreamProbe.h"

namespace tovira {
namespace {

using test::HeaderFields;
using test::MakeHeader;
using test::Version;

std::vector<uint8_t> Fixture(const std::string& name) {
  return test::ReadBytes(std::string(TOVIRA_FIXTURE_DIR) + "/" + name);
}

StreamSummary Probe(const std::vector<uint8_t>& bytes) {
  StreamSummary s;
  EXPECT_EQ(ProbeStream(std::make_unique<MemorySource>(bytes), s), ProbeStatus::Ok);
  return s;
}

// The encoders write the same frames in free format as at the fixed rate, only the header's
// bit-rate index differs: the fixed-rate file, decoded the usual way, is the oracle.
TEST(FreeFormat, DecodesAsTheSameEncodingAtItsFixedRate) {
  const std::pair<const char*, const char*> pairs[] = {
      {"ff_l2_44k_192.mp2", "l2_44k_192.mp2"},
      {"ff_l3_44k_128_js.mp3", "l3_44k_128_js.mp3"},
      {"ff_l3_22k_64.mp3", "l3_22k_64.mp3"},  // MPEG-2
      {"ff_l3_11k_32.mp3", "l3_11k_32.mp3"},  // MPEG-2.5
  };
  for (const auto& [freeName, fixedName] : pairs) {
    SCOPED_TRACE(freeName);
    const std::vector<uint8_t> freeBytes = Fixture(freeName);
    const std::vector<uint8_t> fixedBytes = Fixture(fixedName);
    if (freeBytes.empty() || fixedBytes.empty()) GTEST_SKIP() << "fixtures not made";
    ASSERT_EQ(test::HeaderAt(freeBytes, 0) & 0xF000u, 0u) << "not free format";
    const test::Decoded got = test::Decode(freeBytes);
    const test::Decoded want = test::Decode(fixedBytes);
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_EQ(got.damaged, 0u);
    ASSERT_GT(want.pcm.size(), 60000u);
    EXPECT_TRUE(got.pcm == want.pcm) << got.pcm.size() << " values, " << want.pcm.size() << " wanted";

    const StreamSummary f = Probe(freeBytes);
    const StreamSummary x = Probe(fixedBytes);
    EXPECT_TRUE(f.header.IsFreeFormat());
    EXPECT_EQ(f.header.GetBitrate(), x.header.GetBitrate());
    EXPECT_EQ(f.Frames(), x.Frames());
    EXPECT_EQ(f.DurationMs(), x.DurationMs());
  }
}

// The compliance streams of Layers I, II and III with every bit-rate index set to 0 must sound
// as before: Layer I's four-byte slots, both Layer II table families (48 kHz, MPEG-2) and the
// Layer III reservoir across frames of found length. The bit rate shown is the original one
// (at 44.1 kHz, 383 to 385 kbit/s give the same Layer I frames: 384 is the one meant).
TEST(FreeFormat, ComplianceStreamsWithoutTheirBitRateIndexDecodeAlike) {
  for (const char* name : {"l1-fl1", "l1-fl2", "l2-fl16", "l2-test32", "l3-compl", "M2L3_compl24"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> fixed = test::ReadBytes(std::string(TOVIRA_CONFORMANCE_DIR) + "/" + name + ".bit");
    if (fixed.empty()) GTEST_SKIP() << "no compliance streams";
    std::vector<uint8_t> freeBytes = fixed;
    const std::vector<size_t> offsets = test::FrameOffsets(fixed);
    ASSERT_GT(offsets.size(), 10u);
    for (size_t at : offsets) {
      ASSERT_EQ(fixed[at + 2] >> 4, fixed[2] >> 4) << "not one bit rate throughout";
      freeBytes[at + 2] &= 0x0F;
    }
    const test::Decoded want = test::Decode(fixed);
    const test::Decoded got = test::Decode(freeBytes);
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_EQ(got.damaged, want.damaged);
    EXPECT_TRUE(got.pcm == want.pcm) << got.pcm.size() << " values, " << want.pcm.size() << " wanted";
    EXPECT_EQ(Probe(freeBytes).header.GetBitrate(), Probe(fixed).header.GetBitrate());
  }
}

// Frames of `length` bytes without padding (zeros after the header), padded where `pad` says.
std::vector<uint8_t> FreeFrames(HeaderFields fields, int32_t length, const std::vector<int>& pad) {
  std::vector<uint8_t> out;
  const int32_t slot = fields.layer == 1 ? 4 : 1;
  fields.bitrateIndex = 0;
  for (int p : pad) {
    fields.padding = p;
    test::AppendBE32(out, MakeHeader(fields));
    out.resize(out.size() + static_cast<size_t>(length + p * slot - 4), 0);
  }
  return out;
}

// The length is taken only when three distances agree, and only up to the highest bit rate of
// the layer and version (MPEG-1 Layer III 320 kbit/s: 1044 bytes at 44.1 kHz; Layer I 448 kbit/s:
// 448 bytes at 48 kHz; MPEG-2 Layer II 160 kbit/s: 960 bytes at 24 kHz), and down to the lowest
// (MPEG-2.5 at 8 kHz, 8 kbit/s: 72 bytes).
TEST(FreeFormat, LengthNeedsAgreeingFramesWithinTheAllowedRates) {
  const std::vector<int> pads = {0, 1, 0, 1, 1, 0};
  auto found = [&](const HeaderFields& f, int32_t length, bool atEnd = false) {
    return FindFreeFormatLength(FreeFrames(f, length, pads), atEnd);
  };
  const HeaderFields l3{};
  EXPECT_EQ(found(l3, 1044), 1044);
  EXPECT_EQ(found(l3, 1045), 0);
  const HeaderFields l1{.layer = 1, .rateField = 1};
  EXPECT_EQ(found(l1, 448), 448);
  EXPECT_EQ(found(l1, 452), 0);
  const HeaderFields l2lsf{.version = Version::Mpeg2, .layer = 2, .rateField = 1, .mode = 3};
  EXPECT_EQ(found(l2lsf, 960), 960);
  EXPECT_EQ(found(l2lsf, 961), 0);
  const HeaderFields low{.version = Version::Mpeg25, .rateField = 2, .mode = 3};
  EXPECT_EQ(found(low, 72), 72);
  EXPECT_EQ(found(low, 71), 0);

  // Two agreeing distances, then another stream's header (here: two channels, not one): not
  // enough, unless the audio ends there.
  std::vector<uint8_t> two = FreeFrames(l2lsf, 500, {0, 1, 0});
  const std::vector<uint8_t> other = FreeFrames({.version = Version::Mpeg2, .layer = 2, .rateField = 1}, 500, {0, 0});
  EXPECT_EQ(FindFreeFormatLength(two, true), 500);
  two.insert(two.end(), other.begin(), other.end());
  EXPECT_EQ(FindFreeFormatLength(two, false), 0);
  EXPECT_EQ(FindFreeFormatLength(two, true), 0);
}

// Random bytes full of free-format headers, some at regular distances so that searches get far:
// every read, seek and decode ends, and inside the buffers (the sanitizer build checks that).
TEST(FreeFormat, HostileBytesNeverHangOrReadOutside) {
  std::mt19937 rng(99);
  for (int round = 0; round < 30; ++round) {
    std::vector<uint8_t> bytes(static_cast<size_t>(2000 + rng() % 60000));
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    const size_t step = 72 + rng() % 1500;
    for (size_t i = rng() % 100; i + 4 <= bytes.size(); i += (round % 2) ? step + rng() % 3 : 1 + rng() % 300) {
      const uint32_t h = MakeHeader({.layer = 1 + static_cast<int>(rng() % 3), .bitrateIndex = 0,
                                     .rateField = static_cast<int>(rng() % 3), .padding = static_cast<int>(rng() % 2)});
      for (int k = 0; k < 4; ++k) bytes[i + static_cast<size_t>(k)] = static_cast<uint8_t>(h >> (24 - 8 * k));
    }
    PlaybackContext ctx;
    FrameHeader header;
    InputStream stream(ctx, header);
    stream.SetSource(std::make_unique<MemorySource>(bytes));
    stream.OpenStream();
    try {
      int r = 0, calls = 0;
      while ((r = stream.ReadFrame()) != -2 && ++calls < 100000) {
        if (r == 1) stream.StepBack(rng() % 512);
      }
      EXPECT_EQ(r, -2) << "the reader did not reach the end";
      stream.SeekToTime(static_cast<uint32_t>(rng() % 3000));
      stream.ReadFrame();
    } catch (const DecoderError&) {
      // Giving a lost stream up is an end too.
    }
    test::Decode(bytes);
  }
}

}  // namespace
}  // namespace tovira
