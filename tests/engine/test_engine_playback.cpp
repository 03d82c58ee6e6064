// What the engine plays: byte for byte what the decoder alone makes of the file, less what is not
// sound (through the sound card's driver, and for a file with damaged frames), shaped by the
// equaliser, and the block being heard drives the spectrum.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "EngineTestSupport.h"
#include "decoder/DamagedStreams.h"
#include "equalizer/Equalizer.h"
#include "output/NullDevice.h"
#include "output/SdlDevice.h"
#include "output/WavFileDevice.h"

namespace tovira {
namespace {

using namespace tovira::testing;

// A file of this process's own under the build folder: ctest runs the cases side by side.
std::string TempPath(const std::string& name) {
  return std::string(TOVIRA_BINARY_DIR) + "/engine_" + name + "." + std::to_string(::getpid());
}

class EnginePlaysExactly : public ::testing::TestWithParam<std::string> {};

TEST_P(EnginePlaysExactly, WhatTheDecoderProduces) {
  const std::string& name = GetParam();
  const std::string path = name.ends_with(".bit") ? std::string(TOVIRA_CONFORMANCE_DIR) + "/" + name : Fixture(name);
  if (!std::ifstream(path)) GTEST_SKIP() << path << " not present";
  const std::vector<int16_t> reference = SoundOf(path);
  ASSERT_FALSE(reference.empty());
  const auto* pcm = reinterpret_cast<const uint8_t*>(reference.data());
  const std::vector<uint8_t> expected(pcm, pcm + reference.size() * 2);
  // Through SDL's disk driver, a little faster than real time (35 ms per 46 ms buffer): short,
  // and a slow sanitizer build on a loaded machine still keeps the queue filled.
  const std::string raw = TempPath("disk.raw");
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  ::setenv("SDL_DISKAUDIODELAY", "35", 1);
  {
    Rig<SdlDevice> r;
    ASSERT_TRUE(OpenPrepareStart(r.engine, path)) << static_cast<int>(r.engine.LastError());
    ASSERT_TRUE(r.log.WaitFor(E::TrackEnded));
    EXPECT_EQ(r.engine.UnderrunBytes(), 0u) << "the device ran dry in mid-stream; the comparison cannot hold";
  }
  const std::vector<uint8_t> played = test::ReadBytes(raw);
  std::remove(raw.c_str());
  // The driver plays silence before the first block and after the last: find where the stream's
  // first non-zero byte lands and compare the whole stream from its start.
  auto sounding = [](const std::vector<uint8_t>& v) { return std::find_if(v.begin(), v.end(), [](uint8_t b) { return b != 0; }); };
  const auto lead = sounding(expected) - expected.begin();
  ASSERT_LT(lead, static_cast<long>(expected.size()));
  ASSERT_GE(sounding(played) - played.begin(), lead);
  const auto start = sounding(played) - lead;
  ASSERT_GE(played.end() - start, static_cast<long>(expected.size())) << "played less than was decoded";
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), start)) << "played PCM differs from the decoded PCM";
  EXPECT_TRUE(std::all_of(start + static_cast<long>(expected.size()), played.end(), [](uint8_t b) { return b == 0; }))
      << "extra sound after the stream";
}

// Layers I to III, at 32 kHz (l1-fl1) and 44.1 kHz.
INSTANTIATE_TEST_SUITE_P(LayersIToIII, EnginePlaysExactly,
                         ::testing::Values("l2_44k_192.mp2", "l3_44k_128_js.mp3", "l1-fl1.bit", "l1-fl2.bit", "l1-fl4.bit"),
                         [](const auto& info) {
                           std::string n = info.param;
                           std::replace_if(n.begin(), n.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                           return n;
                         });

// Seeks past the end are refused, before Start and while playing, and leave the sound as it
// was; the equaliser's factors shape it.
TEST(EnginePlayback, OnlyTheEqualiserShapesTheSoundAndARefusedSeekLeavesItUntouched) {
  const std::string path = Fixture("l2_44k_192.mp2");
  const std::vector<int16_t> reference = DecodeReference(path);
  Rig m;
  PlaybackEngine& e = m.engine;
  EqualizerFactors half = FlatEqualizerFactors();
  for (auto& channel : half.factor) std::fill(std::begin(channel), std::end(channel), 0.5f);
  e.SetEqualizer(half);
  ASSERT_TRUE(e.SetInputFile(path) && e.Open() && e.Prepare());
  EXPECT_FALSE(e.Seek(3600000));
  EXPECT_EQ(e.PositionMs(), 0u);
  ASSERT_TRUE(e.Start());
  ASSERT_TRUE(Eventually([&] { return m.device.IsOpen() && !m.device.IsPaused(); }));
  for (int i = 0; i < 2; ++i) {
    m.device.Play(5000);
    EXPECT_FALSE(e.Seek(3600000));
  }
  ASSERT_TRUE(m.PlayToTheEnd());
  const auto played = m.device.Played();
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
  Rig m;
  PlaybackEngine& e = m.engine;
  ASSERT_TRUE(OpenPrepareStart(e, Fixture("l2_44k_192.mp2")));
  ASSERT_TRUE(Eventually([&] { return e.Phase() == DecodePhase::Decoding && m.device.IsOpen(); }));
  // Queued but unheard blocks leave the levels at zero.
  EXPECT_EQ(e.Levels(), SpectrumLevels{});
  ASSERT_TRUE(Eventually([&] { return !m.device.Play(4).empty(); }));
  ASSERT_TRUE(Eventually([&] {
    const SpectrumLevels l = e.Levels();
    return std::any_of(l.begin(), l.end(), [](int32_t v) { return v > 0; });
  }));
  ASSERT_TRUE(e.Stop());
  EXPECT_EQ(e.Levels(), SpectrumLevels{});
}

// The fixture with `frames` damaged, written where the engine can open it.
std::string DamagedCopy(const std::vector<size_t>& frames, const std::string& tag) {
  std::vector<uint8_t> bytes = test::ReadBytes(Fixture("l3_44k_128_js.mp3"));
  const std::vector<size_t> offsets = test::FrameOffsets(bytes);
  for (size_t f : frames) test::DamageFrame(bytes, offsets.at(f), test::Damage::BlockTypeZero);
  const std::string path = TempPath("damaged_" + tag + ".mp3");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

// Damaged frames in the middle: the engine plays the file to its end, exactly as the decoder
// conceals it, and counts the damaged frames.
TEST(EngineDamagedFrames, PlayToTheEndAndAreCounted) {
  const std::string path = DamagedCopy({20, 21, 50}, "middle");
  const std::string wav = path + ".wav";
  VectorPcmSink whole;
  uint64_t damaged = 0;
  ASSERT_TRUE(MpegDecoder::DecodeFile(path, whole, nullptr, &damaged));
  ASSERT_EQ(damaged, 3u);
  const std::vector<int16_t> expected = SoundOf(path);
  {
    Rig<WavFileDevice> r(std::make_unique<WavFileDevice>(wav));
    ASSERT_TRUE(OpenPrepareStart(r.engine, path));
    ASSERT_TRUE(r.log.WaitFor(E::TrackEnded));
    EXPECT_EQ(r.engine.GetState(), S::Ended);
    EXPECT_EQ(r.engine.DamagedFrames(), 3u);
    // A new track starts its own count.
    ASSERT_TRUE(r.engine.Stop() && r.engine.Prepare());
    EXPECT_EQ(r.engine.DamagedFrames(), 0u);
  }
  const std::vector<uint8_t> played = test::ReadBytes(wav);
  std::remove(wav.c_str());
  std::remove(path.c_str());
  ASSERT_EQ(played.size(), 44 + expected.size() * 2);
  EXPECT_EQ(std::memcmp(played.data() + 44, expected.data(), expected.size() * 2), 0);
}

// Two seconds of frames that cannot be decoded end the track with an error instead of playing on.
TEST(EngineDamagedFrames, ALongStretchEndsTheTrackWithAnError) {
  std::vector<size_t> frames;
  for (size_t f = 20; f < 110; ++f) frames.push_back(f);
  const std::string path = DamagedCopy(frames, "stretch");
  Rig<NullDevice> r(std::make_unique<NullDevice>(NullDevice::Pacing::Immediate));
  ASSERT_TRUE(OpenPrepareStart(r.engine, path));
  ASSERT_TRUE(r.log.WaitFor(E::Error));
  EXPECT_EQ(r.log.Count(E::TrackEnded), 0u);
  EXPECT_EQ(r.log.Events().back().text, MpegDecoder::kLostStreamMessage);
  EXPECT_EQ(r.engine.DamagedFrames(), static_cast<uint64_t>(std::ceil(2000.0 / (1152 * 1000.0 / 44100))));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace tovira
