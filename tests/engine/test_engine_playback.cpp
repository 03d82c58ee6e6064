#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "EngineTestSupport.h"
#include "equalizer/Equalizer.h"
#include "output/SdlDevice.h"

namespace tovira {
namespace {

using namespace tovira::testing;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Plays `path` through SDL's disk driver at full volume with flat factors and returns what the
// driver wrote.
std::vector<uint8_t> PlayThroughDiskDriver(const std::string& path, uint64_t* underruns) {
  // One file per process: ctest runs the cases of this file side by side.
  const std::string raw = std::string(TOVIRA_BINARY_DIR) + "/engine_disk_test." + std::to_string(::getpid()) + ".raw";
  std::remove(raw.c_str());
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  // A little faster than real time (35 ms per 46 ms buffer) keeps the test short while leaving a
  // slow sanitizer build on a loaded machine ample room to keep the queue filled.
  ::setenv("SDL_DISKAUDIODELAY", "35", 1);
  {
    EventLog log;
    PlaybackEngine e(std::make_unique<SdlDevice>(), false);
    e.SetNotifyWindow(log.Callback());
    e.SetVolume(0xFFFFFFFFu);
    EXPECT_TRUE(OpenPrepareStart(e, path)) << static_cast<int>(e.LastError());
    EXPECT_TRUE(log.WaitFor(EngineEvent::TrackEnded));
    *underruns = e.UnderrunBytes();
    e.Close();
  }
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  auto bytes = ReadFile(raw);
  std::remove(raw.c_str());
  return bytes;
}

void ExpectPlayedEqualsDecoded(const std::string& path) {
  const std::vector<int16_t> reference = DecodeReference(path);
  ASSERT_FALSE(reference.empty());
  std::vector<uint8_t> expected(reference.size() * 2);
  std::memcpy(expected.data(), reference.data(), expected.size());
  uint64_t underruns = 0;
  const std::vector<uint8_t> played = PlayThroughDiskDriver(path, &underruns);
  EXPECT_EQ(underruns, 0u) << "the device ran dry in mid-stream; the comparison below cannot hold";
  // The driver plays silence before the first block and after the last: find where the stream's
  // first non-zero byte lands and compare the whole stream from its start.
  const auto firstSound = std::find_if(expected.begin(), expected.end(), [](uint8_t b) { return b != 0; });
  ASSERT_NE(firstSound, expected.end());
  const auto lead = firstSound - expected.begin();
  const auto playedSound = std::find_if(played.begin(), played.end(), [](uint8_t b) { return b != 0; });
  ASSERT_GE(playedSound - played.begin(), lead);
  const auto start = playedSound - lead;
  ASSERT_GE(played.end() - start, static_cast<long>(expected.size())) << "played less than was decoded";
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), start)) << "played PCM differs from the decoded PCM";
  EXPECT_TRUE(std::all_of(start + static_cast<long>(expected.size()), played.end(), [](uint8_t b) { return b == 0; }))
      << "extra sound after the stream";
}

// What the device plays is, byte for byte, what the decoder alone makes of the file.
class EnginePlaysExactly : public ::testing::TestWithParam<std::string> {};

TEST_P(EnginePlaysExactly, WhatTheDecoderProduces) {
  const std::string& name = GetParam();
  const std::string path = name.ends_with(".bit") ? Conformance(name) : Fixture(name);
  if (!std::ifstream(path)) GTEST_SKIP() << path << " not present";
  ExpectPlayedEqualsDecoded(path);
}

INSTANTIATE_TEST_SUITE_P(LayersIToIII, EnginePlaysExactly,
                         ::testing::Values("l2_44k_192.mp2", "l3_44k_128_js.mp3", "l1-fl1.bit", "l1-fl2.bit",
                                           "l1-fl4.bit"),
                         [](const auto& info) {
                           std::string n = info.param;
                           std::replace_if(n.begin(), n.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                           return n;
                         });

TEST(EnginePlayback, EqualiserFactorsShapeTheSound) {
  const std::string path = Fixture("l2_44k_192.mp2");
  const std::vector<int16_t> reference = DecodeReference(path);
  EventLog log;
  auto d = std::make_unique<ManualDevice>();
  ManualDevice& device = *d;
  PlaybackEngine e(std::move(d), false);
  e.SetNotifyWindow(log.Callback());
  EqualizerFactors half = FlatEqualizerFactors();
  for (auto& channel : half.factor) std::fill(std::begin(channel), std::end(channel), 0.5f);
  e.SetEqualizer(half);
  ASSERT_TRUE(OpenPrepareStart(e, path));
  {
    Pump pump(device);
    ASSERT_TRUE(log.WaitFor(EngineEvent::TrackEnded));
  }
  const auto played = device.Played();
  ASSERT_EQ(played.size(), reference.size() * 2);
  // The filter bank is linear: half of every sub-band sample gives half of every output sample,
  // up to the truncation of each.
  int worst = 0;
  for (size_t i = 0; i < reference.size(); ++i) {
    int16_t s;
    std::memcpy(&s, played.data() + 2 * i, 2);
    worst = std::max(worst, std::abs(s - reference[i] / 2));
  }
  EXPECT_LE(worst, 2);
}

TEST(EnginePlayback, TheHeardBlockDrivesTheSpectrum) {
  auto d = std::make_unique<ManualDevice>();
  ManualDevice& device = *d;
  PlaybackEngine e(std::move(d), false);
  ASSERT_TRUE(OpenPrepareStart(e, Fixture("l2_44k_192.mp2")));
  ASSERT_TRUE(Eventually([&] { return e.Phase() == DecodePhase::Decoding && device.IsOpen(); }));
  // Queued but unheard blocks leave the levels at zero.
  EXPECT_EQ(e.Levels(), SpectrumLevels{});
  ASSERT_TRUE(Eventually([&] { return !device.Play(4).empty(); }));
  ASSERT_TRUE(Eventually([&] {
    const SpectrumLevels l = e.Levels();
    return std::any_of(l.begin(), l.end(), [](int32_t v) { return v > 0; });
  }));
  ASSERT_TRUE(e.Stop());
  EXPECT_EQ(e.Levels(), SpectrumLevels{});
}

}  // namespace
}  // namespace tovira
