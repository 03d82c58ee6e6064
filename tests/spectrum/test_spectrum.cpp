#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>

#include "spectrum/SpectrumAnalyzer.h"
#include "spectrum/SpectrumFeed.h"

namespace tovira {
namespace {

constexpr size_t kN = SpectrumAnalyzer::kFftSize;

// A cosine that completes `bin` periods in 1024 frames, in both channels. The samples are whole
// multiples of 256, so the analyser's 8-bit reduction adds no distortion of its own.
std::vector<int16_t> Tone(double bin, double amplitude, size_t frames = kN) {
  std::vector<int16_t> v(2 * frames);
  for (size_t n = 0; n < frames; ++n) {
    const double x = amplitude / 256 * std::cos(2 * std::numbers::pi * bin * n / kN);
    const auto s = static_cast<int16_t>(256 * std::lround(x));
    v[2 * n] = v[2 * n + 1] = s;
  }
  return v;
}

TEST(SpectrumAnalyzer, AToneRaisesOnlyItsBand) {
  SpectrumAnalyzer a;
  const int cases[][2] = {{8, 1}, {130, 15}, {3, 0}, {119, 14}, {239, 19}};  // bin, band
  for (const auto& [bin, band] : cases) {
    const auto tone = Tone(bin, 127 * 256);
    const SpectrumLevels levels = a.Analyze(tone.data(), kN);
    for (int b = 0; b < kSpectrumBands; ++b) {
      // One bin at the top (20 ln 255 = 110) spread over the band's width: 8 bins, 24 from band 15.
      EXPECT_EQ(levels[b], b == band ? 110 / (b < 15 ? 8 : 24) : 0) << "bin " << bin << " band " << b;
    }
  }
}

// A loud tone at bin 8 over noise: the tone's bin holds at 255 (a byte store would keep 1920 mod
// 256), the others keep their magnitude.
TEST(SpectrumAnalyzer, MagnitudesMatchADirectTransform) {
  SpectrumAnalyzer a;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> d(-2000, 2000);
  std::vector<int16_t> pcm = Tone(8, 120 * 256);
  for (auto& s : pcm) s = static_cast<int16_t>(s + d(rng));
  std::array<uint8_t, kN> left{}, right{};
  a.Magnitudes(pcm.data(), kN, left, right);
  for (int c = 0; c < 2; ++c) {
    for (size_t k : {0u, 1u, 5u, 8u, 100u, 255u, 511u, 700u}) {
      std::complex<double> x{};
      for (size_t n = 0; n < kN; ++n) {
        x += static_cast<double>(pcm[2 * n + c] / 256) * std::polar(1.0, -2 * std::numbers::pi * k * n / kN);
      }
      const double expected = std::min(255.0, std::floor(std::abs(x) / 32));
      EXPECT_NEAR(c == 0 ? left[k] : right[k], expected, 1.0) << "channel " << c << " bin " << k;
    }
  }
  EXPECT_EQ(left[8], 255);
}

TEST(SpectrumAnalyzer, ChannelsAreAveragedAndShortBlocksPadded) {
  SpectrumAnalyzer a;
  auto tone = Tone(8, 127 * 256);
  for (size_t n = 0; n < kN; ++n) tone[2 * n + 1] = 0;  // right silent: average 127
  SpectrumLevels levels = a.Analyze(tone.data(), kN);
  EXPECT_EQ(levels[1], static_cast<int32_t>(20 * std::log(127.0)) / 8);
  const auto shortTone = Tone(8, 127 * 256, 100);
  levels = a.Analyze(shortTone.data(), 100);
  EXPECT_GT(levels[0] + levels[1] + levels[2], 0);
}

PcmFormat Stereo() { return PcmFormat{44100, 2, 16}; }

TEST(SpectrumFeed, LevelsFollowTheBlockBeingHeard) {
  SpectrumFeed feed;
  const auto low = Tone(8, 127 * 256), high = Tone(130, 127 * 256);
  feed.OnBlockQueued(0, reinterpret_cast<const uint8_t*>(low.data()), low.size() * 2, Stereo());
  feed.OnBlockQueued(1, reinterpret_cast<const uint8_t*>(high.data()), high.size() * 2, Stereo());
  // Queued but not heard: nothing shows yet.
  EXPECT_EQ(feed.Levels(), SpectrumLevels{});
  feed.OnBlockHeard(0);
  EXPECT_GT(feed.Levels()[1], 0);
  EXPECT_EQ(feed.Levels()[15], 0);
  EXPECT_EQ(feed.Analyses(), 1u);  // asked twice, analysed once
  feed.OnBlockHeard(1);
  EXPECT_EQ(feed.Levels()[1], 0);
  EXPECT_GT(feed.Levels()[15], 0);
  // The decode thread may tell of a block later than the display did: the newer one stays.
  feed.OnBlockHeard(0);
  EXPECT_GT(feed.Levels()[15], 0);
  feed.Clear();
  EXPECT_EQ(feed.Levels(), SpectrumLevels{});
  // What was queued before the clear stays dark even while it is still being heard...
  feed.OnBlockHeard(1);
  EXPECT_EQ(feed.Levels(), SpectrumLevels{});
  // ...and the next block shows.
  feed.OnBlockQueued(2, reinterpret_cast<const uint8_t*>(low.data()), low.size() * 2, Stereo());
  feed.OnBlockHeard(2);
  EXPECT_GT(feed.Levels()[1], 0);
}

TEST(SpectrumFeed, AResetForgetsQueuedBlocks) {
  SpectrumFeed feed;
  const auto low = Tone(8, 127 * 256);
  feed.OnBlockQueued(0, reinterpret_cast<const uint8_t*>(low.data()), low.size() * 2, Stereo());
  feed.OnReset();
  feed.OnBlockHeard(0);  // a new stream's block 0 that was never queued here
  EXPECT_EQ(feed.Levels(), SpectrumLevels{});
  // Other formats are shown as silence rather than misread.
  feed.OnBlockQueued(1, reinterpret_cast<const uint8_t*>(low.data()), low.size() * 2, PcmFormat{44100, 1, 16});
  feed.OnBlockHeard(1);
  EXPECT_EQ(feed.Levels(), SpectrumLevels{});
}

}  // namespace
}  // namespace tovira
