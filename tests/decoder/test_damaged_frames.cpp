#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "DamagedStreams.h"
#include "Decode.h"
#include "decoder/ByteSource.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"

namespace tovira {
namespace {

using test::Damage;

using test::Decode;
using test::Decoded;

// A stream made at build time, or else one of the compliance streams.
std::vector<uint8_t> Fixture(const std::string& name) {
  std::vector<uint8_t> bytes = test::ReadBytes(std::string(TOVIRA_FIXTURE_DIR) + "/" + name);
  return bytes.empty() ? test::ReadBytes(std::string(TOVIRA_CONFORMANCE_DIR) + "/" + name) : bytes;
}

std::vector<uint8_t> WithFrames(std::vector<uint8_t> bytes, const std::vector<size_t>& frames, Damage kind,
                                size_t granule = 0) {
  const std::vector<size_t> offsets = test::FrameOffsets(bytes);
  for (size_t f : frames) test::DamageFrame(bytes, offsets.at(f), kind, granule);
  return bytes;
}

struct DamageCase {
  const char* file;
  Damage kind;
  size_t samplesPerFrame;  // per channel
  const char* name;
  size_t granule = 0;  // Layer III: the first damaged granule; the ones before it still play
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.file << " " << c.name; }

class DamagedFrames : public ::testing::TestWithParam<DamageCase> {};

// A damaged frame in the middle of a real stream plays as the silence of an empty frame (from
// the damaged granule on): the whole output equals that of the stream with those frames emptied (valid frames without audio),
// and once the next granule's overlap and the filter history (15 time slots) have passed, it
// equals the undamaged output again: the reservoir carries on and nothing stale is left.
TEST_P(DamagedFrames, PlayAsSilenceAndTheStreamGoesOn) {
  const DamageCase c = GetParam();
  const std::vector<uint8_t> clean = Fixture(c.file);
  if (clean.empty()) GTEST_SKIP() << c.file << " not made";
  const std::vector<size_t> frames = {20, 21, 40};
  const Decoded good = Decode(clean);
  const Decoded damaged = Decode(WithFrames(clean, frames, c.kind, c.granule));
  const Decoded emptied = Decode(WithFrames(clean, frames, Damage::Emptied, c.granule));
  ASSERT_TRUE(good.ok && damaged.ok && emptied.ok) << damaged.error;
  EXPECT_EQ(good.damaged, 0u);
  EXPECT_EQ(emptied.damaged, 0u);
  EXPECT_EQ(damaged.damaged, frames.size());
  ASSERT_EQ(damaged.pcm.size(), good.pcm.size());
  ASSERT_EQ(damaged.pcm, emptied.pcm);

  const size_t frameValues = 2 * c.samplesPerFrame;
  const size_t settle = (576 + 15 * 32 + c.samplesPerFrame - 1) / c.samplesPerFrame;  // frames
  auto affected = [&](size_t frame) {
    for (size_t f : frames) {
      if (frame >= f && frame <= f + settle) return true;
    }
    return false;
  };
  size_t differing = 0;
  for (size_t i = 0; i < good.pcm.size(); ++i) {
    if (affected(i / frameValues)) {
      differing += good.pcm[i] != damaged.pcm[i];
    } else {
      ASSERT_EQ(good.pcm[i], damaged.pcm[i]) << "value " << i << ", frame " << i / frameValues;
    }
  }
  EXPECT_GT(differing, frameValues) << "the damaged frames should have been audible";
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, DamagedFrames,
    ::testing::Values(DamageCase{"l3_44k_128_js.mp3", Damage::BlockTypeZero, 1152, "BlockTypeZero"},
                      DamageCase{"l3_44k_128_js.mp3", Damage::PastTheFrame, 1152, "PastTheFrame"},
                      DamageCase{"l3_44k_128_js.mp3", Damage::HuffmanOverrun, 1152, "HuffmanOverrun"},
                      DamageCase{"l3_44k_128_js.mp3", Damage::BlockTypeZero, 1152, "SecondGranuleBlockTypeZero", 1},
                      DamageCase{"l3_44k_64_mono.mp3", Damage::HuffmanOverrun, 1152, "MonoHuffmanOverrun"},
                      DamageCase{"l3_44k_64_mono.mp3", Damage::HuffmanOverrun, 1152, "MonoSecondGranuleOverrun", 1},
                      DamageCase{"l3_22k_64.mp3", Damage::PastTheFrame, 576, "Mpeg2PastTheFrame"},
                      DamageCase{"l3_11k_32.mp3", Damage::BlockTypeZero, 576, "Mpeg25BlockTypeZero"},
                      DamageCase{"l2_44k_192.mp2", Damage::BadAllocation, 1152, "Layer2BadAllocation"},
                      DamageCase{"l2_22k_64.mp2", Damage::BadAllocation, 1152, "Layer2LsfBadAllocation"},
                      DamageCase{"l1-fl4.bit", Damage::BadAllocation, 384, "Layer1BadAllocation"},
                      DamageCase{"l1-fl1.bit", Damage::Forbidden, 384, "Layer1ForbiddenAllocation"},
                      DamageCase{"ff_l3_10s_200.mp3", Damage::HuffmanOverrun, 1152, "FreeFormatHuffmanOverrun"},
                      DamageCase{"ff_l2_44k_192.mp2", Damage::BadAllocation, 1152, "FreeFormatLayer2BadAllocation"}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

// Only a long stretch without one decodable frame gives the stream up: two seconds of damaged
// frames end it with an error, a shorter stretch plays through.
TEST(DamagedFrames, TwoSecondsWithoutAFrameEndTheStream) {
  const std::vector<uint8_t> clean = Fixture("l3_44k_128_js.mp3");
  if (clean.empty()) GTEST_SKIP() << "fixtures not made";
  const size_t total = test::FrameOffsets(clean).size();
  const double msPerFrame = 1152 * 1000.0 / 44100;
  const size_t stretch = static_cast<size_t>(std::ceil(2000.0 / msPerFrame));  // 77 frames
  ASSERT_GT(total, 20 + stretch + 5);

  std::vector<size_t> shortRun, longRun;
  for (size_t f = 20; f < 20 + stretch - 1; ++f) shortRun.push_back(f);
  for (size_t f = 20; f < total; ++f) longRun.push_back(f);

  const Decoded survives = Decode(WithFrames(clean, shortRun, Damage::BlockTypeZero));
  EXPECT_TRUE(survives.ok) << survives.error;
  EXPECT_EQ(survives.damaged, shortRun.size());
  EXPECT_EQ(survives.pcm.size(), total * 2 * 1152);

  const Decoded lost = Decode(WithFrames(clean, longRun, Damage::BlockTypeZero));
  EXPECT_FALSE(lost.ok);
  EXPECT_EQ(lost.error, MpegDecoder::kLostStreamMessage);
  EXPECT_EQ(lost.damaged, stretch);
  EXPECT_EQ(lost.pcm.size(), (20 + stretch) * 2 * 1152);
}

// A stream cut where a frame's main data lies before the cut: that frame has no reservoir behind
// it and plays as an empty frame, neither as noise nor as damage (the file is not damaged);
// the next frames find their reservoir as usual.
TEST(DamagedFrames, FirstFrameWithoutItsReservoirPlaysAsAnEmptyFrame) {
  const std::vector<uint8_t> whole = Fixture("l3_44k_128_js.mp3");
  if (whole.empty()) GTEST_SKIP() << "fixtures not made";
  const std::vector<size_t> offsets = test::FrameOffsets(whole);
  size_t f = 20;
  while (f < offsets.size() && ((whole[offsets[f] + 4] << 1) | (whole[offsets[f] + 5] >> 7)) == 0) ++f;
  ASSERT_LT(f + 10, offsets.size()) << "no frame reaches back into the reservoir";
  const std::vector<uint8_t> cut(whole.begin() + static_cast<std::ptrdiff_t>(offsets[f]), whole.end());
  const Decoded got = Decode(cut);
  const Decoded want = Decode(WithFrames(cut, {0}, Damage::Emptied));
  ASSERT_TRUE(got.ok) << got.error;
  EXPECT_EQ(got.damaged, 0u);
  EXPECT_EQ(got.pcm, want.pcm);
  EXPECT_TRUE(std::any_of(got.pcm.begin(), got.pcm.end(), [](int16_t v) { return v != 0; }));
}

// Prepare for a new track drops what the previous one left in the overlap and the filter: the
// first frame of an all-empty stream, decoded right after a loud frame, is silent.
TEST(DamagedFrames, PrepareClearsWhatThePreviousTrackLeft) {
  for (const char* name : {"l3_44k_128_js.mp3", "l2_44k_192.mp2"}) {
    const std::vector<uint8_t> loud = Fixture(name);
    if (loud.empty()) GTEST_SKIP() << "fixtures not made";
    std::vector<size_t> all(test::FrameOffsets(loud).size());
    std::iota(all.begin(), all.end(), size_t{0});
    PlaybackContext ctx;
    MpegDecoder dec(ctx);
    test::DecodeFrames(dec, loud, 0, 20);
    const std::vector<int16_t> pcm = test::DecodeFrames(dec, WithFrames(loud, all, Damage::Emptied), 0, 1);
    ASSERT_EQ(pcm.size(), 2304u) << name;
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](int16_t v) { return v == 0; })) << name;
  }
}

}  // namespace
}  // namespace tovira
