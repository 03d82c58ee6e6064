// Seeking through the engine: what is played after Seek(T) is located in the file's sound by
// cross-correlation, and must start at T exactly, where the engine says it is.

#include <gtest/gtest.h>

#include <cmath>

#include "EngineTestSupport.h"

namespace tovira {
namespace {

using namespace tovira::testing;

constexpr double kRate = 44100.0;
constexpr long kFrame = 1152;  // samples per frame of the fixtures (MPEG-1 Layer III)

// The stereo-sample offset in `whole` where the first `n` samples of `piece` fit best, searched
// in [lo, hi], by normalised cross-correlation of both channels; `score` gets the peak (1 = same).
long BestOffset(const std::vector<int16_t>& whole, const std::vector<int16_t>& piece, long n, long lo, long hi,
                double* score) {
  double pieceEnergy = 0;
  for (long i = 0; i < 2 * n; ++i) pieceEnergy += double(piece[size_t(i)]) * piece[size_t(i)];
  long best = -1;
  *score = -2;
  for (long at = std::max(0L, lo); at <= hi && 2 * (at + n) <= long(whole.size()); ++at) {
    double dot = 0, energy = 0;
    for (long i = 0; i < 2 * n; ++i) {
      const double w = whole[size_t(2 * at + i)];
      dot += w * piece[size_t(i)];
      energy += w * w;
    }
    const double s = (energy > 0 && pieceEnergy > 0) ? dot / std::sqrt(energy * pieceEnergy) : 0;
    if (s > *score) {
      *score = s;
      best = at;
    }
  }
  return best;
}

enum class When { Playing, Paused, BeforeStart };

struct SeekCase {
  const char* file;
  uint32_t ms;
  When when;
};

std::string CaseName(const ::testing::TestParamInfo<SeekCase>& info) {
  const std::string file(info.param.file);  // l3_10s_*.mp3
  static const char* const kWhen[] = {"Playing", "Paused", "BeforeStart"};
  return file.substr(7, file.size() - 11) + "_" + std::to_string(info.param.ms) + "_" + kWhen[static_cast<int>(info.param.when)];
}

class EngineSeek : public ::testing::TestWithParam<SeekCase> {};

TEST_P(EngineSeek, PlaysFromTheSampleAtTheTimeAndSaysSo) {
  const SeekCase& c = GetParam();
  const std::vector<int16_t> whole = SoundOf(Fixture(c.file));
  ASSERT_FALSE(whole.empty());
  Rig m;
  PlaybackEngine& e = m.engine;
  ASSERT_TRUE(e.SetInputFile(Fixture(c.file)) && e.Open() && e.Prepare());
  // Ten seconds were encoded, whatever the tags (the bare file has no information frame to say so).
  const bool bare = std::string(c.file).ends_with("bare.mp3");
  if (!bare) {
    EXPECT_EQ(e.DurationMs(), 10000.0);
  }
  uint32_t heard = 0;
  if (c.when == When::BeforeStart) {
    ASSERT_TRUE(e.Seek(c.ms));
    heard = e.PositionMs();
    ASSERT_TRUE(e.Start());
    EXPECT_EQ(e.HeardPositionMs(), heard) << "the time shown must start where the sound does";
  } else {
    ASSERT_TRUE(e.Start());
    // Nothing is played until the seek is done: the queue fills with the start of the file,
    // which the seek must drop.
    ASSERT_TRUE(Eventually([&] { return e.Phase() == DecodePhase::Decoding && m.device.IsOpen(); }));
    ASSERT_TRUE(c.when != When::Paused || e.Pause());
    ASSERT_TRUE(e.Seek(c.ms));
    heard = e.HeardPositionMs();
    if (c.when == When::Paused) {
      EXPECT_EQ(e.GetState(), EngineState::Paused);
      ASSERT_TRUE(e.Resume());
    }
  }
  ASSERT_TRUE(m.PlayToTheEnd());
  // Its estimate gives way, once the frame index has walked the file, to the whole decode's length.
  if (bare) {
    EXPECT_NEAR(e.DurationMs(), whole.size() / 2 * 1000.0 / kRate, 1.0);
  }
  const std::vector<uint8_t> bytes = m.device.Played();
  const std::vector<int16_t> played(reinterpret_cast<const int16_t*>(bytes.data()),
                                    reinterpret_cast<const int16_t*>(bytes.data() + bytes.size()));
  const long n = 4096;
  ASSERT_GE(long(played.size()), 2 * n);
  const long wanted = long(std::lround(c.ms * kRate / 1000.0));
  double score = 0;
  const long at = BestOffset(whole, played, n, wanted - 3 * kFrame, wanted + 3 * kFrame, &score);
  EXPECT_GT(score, 0.999) << "no stretch of the file near the wanted time sounds like what was played";
  EXPECT_EQ(at, wanted) << "played from " << at / kRate << " s";
  // The position the engine reported is where the sound actually started.
  EXPECT_EQ(heard, c.ms);
  // And from there the file plays on to its end as in an uninterrupted decode.
  ASSERT_EQ(played.size(), whole.size() - size_t(2 * at));
  EXPECT_TRUE(std::equal(played.begin(), played.end(), whole.begin() + 2 * at));
}

INSTANTIATE_TEST_SUITE_P(
    EngineFiles, EngineSeek,
    ::testing::Values(SeekCase{"l3_10s_cbr_pic.mp3", 2500, When::Playing}, SeekCase{"l3_10s_cbr_pic.mp3", 7500, When::Playing},
                      SeekCase{"l3_10s_vbr_pic.mp3", 2500, When::Playing}, SeekCase{"l3_10s_vbr_pic.mp3", 7500, When::Playing},
                      SeekCase{"l3_10s_vbr_bare.mp3", 2500, When::Playing}, SeekCase{"l3_10s_vbr_bare.mp3", 7500, When::Playing},
                      SeekCase{"l3_10s_vbr_pic.mp3", 7500, When::Paused}, SeekCase{"l3_10s_vbr_bare.mp3", 2500, When::Paused},
                      SeekCase{"l3_10s_vbr_pic.mp3", 2500, When::BeforeStart},
                      SeekCase{"l3_10s_cbr_pic.mp3", 7500, When::BeforeStart}),
    CaseName);

}  // namespace
}  // namespace tovira
