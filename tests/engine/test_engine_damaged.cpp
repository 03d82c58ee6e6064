#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "EngineTestSupport.h"
#include "decoder/ByteSource.h"
#include "decoder/DamagedStreams.h"
#include "output/NullDevice.h"
#include "output/WavFileDevice.h"

namespace tovira {
namespace {

using namespace tovira::testing;

// The fixture with `frames` damaged, written where the engine can open it.
std::string DamagedCopy(const std::vector<size_t>& frames, const std::string& tag) {
  std::vector<uint8_t> bytes = test::ReadBytes(Fixture("l3_44k_128_js.mp3"));
  if (bytes.empty()) return {};
  const std::vector<size_t> offsets = test::FrameOffsets(bytes);
  for (size_t f : frames) test::DamageFrame(bytes, offsets.at(f), test::Damage::BlockTypeZero);
  const std::string path =
      std::string(TOVIRA_BINARY_DIR) + "/engine_damaged_" + tag + "." + std::to_string(::getpid()) + ".mp3";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

// Damaged frames in the middle: the engine plays the file to its end, exactly as the decoder
// conceals it, and counts the damaged frames.
TEST(EngineDamagedFrames, PlayToTheEndAndAreCounted) {
  const std::string path = DamagedCopy({20, 21, 50}, "middle");
  if (path.empty()) GTEST_SKIP() << "fixtures not made";
  const std::string wav = path + ".wav";
  VectorPcmSink expected;
  uint64_t damaged = 0;
  ASSERT_TRUE(MpegDecoder::DecodeFile(path, expected, nullptr, &damaged));
  ASSERT_EQ(damaged, 3u);
  {
    EventLog log;
    PlaybackEngine e(std::make_unique<WavFileDevice>(wav), false);
    e.SetNotifyWindow(log.Callback());
    e.SetVolume(0xFFFFFFFFu);
    ASSERT_TRUE(OpenPrepareStart(e, path));
    ASSERT_TRUE(log.WaitFor(EngineEvent::TrackEnded));
    EXPECT_EQ(e.GetState(), EngineState::Ended);
    EXPECT_EQ(e.DamagedFrames(), 3u);
    // A new track starts its own count.
    e.Stop();
    ASSERT_TRUE(e.Prepare());
    EXPECT_EQ(e.DamagedFrames(), 0u);
    e.Close();
  }
  const std::vector<uint8_t> played = test::ReadBytes(wav);
  std::remove(wav.c_str());
  std::remove(path.c_str());
  ASSERT_EQ(played.size(), 44 + expected.pcm.size() * 2);
  EXPECT_EQ(std::memcmp(played.data() + 44, expected.pcm.data(), expected.pcm.size() * 2), 0);
}

// Two seconds of frames that cannot be decoded end the track with an error instead of playing on.
TEST(EngineDamagedFrames, ALongStretchEndsTheTrackWithAnError) {
  std::vector<size_t> frames;
  for (size_t f = 20; f < 110; ++f) frames.push_back(f);
  const std::string path = DamagedCopy(frames, "stretch");
  if (path.empty()) GTEST_SKIP() << "fixtures not made";
  EventLog log;
  PlaybackEngine e(std::make_unique<NullDevice>(NullDevice::Pacing::Immediate), false);
  e.SetNotifyWindow(log.Callback());
  ASSERT_TRUE(OpenPrepareStart(e, path));
  ASSERT_TRUE(log.WaitFor(EngineEvent::Error));
  EXPECT_EQ(log.Count(EngineEvent::TrackEnded), 0u);
  for (const EngineNotification& n : log.Events()) {
    if (n.event == EngineEvent::Error) {
      EXPECT_EQ(n.text, MpegDecoder::kLostStreamMessage);
    }
  }
  const auto stretch = static_cast<uint64_t>(std::ceil(2000.0 / (1152 * 1000.0 / 44100)));
  EXPECT_EQ(e.DamagedFrames(), stretch);
  e.Close();
  std::remove(path.c_str());
}

}  // namespace
}  // namespace tovira
