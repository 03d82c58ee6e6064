#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "output/NullDevice.h"

#include <cstring>

namespace tovira {
namespace {

using namespace tovira::testing;

constexpr double kBytesPerMs = 44100 * 4 / 1000.0;

struct ManualEngine {
  EventLog log;  // outlives the engine
  ManualDevice* device;
  PlaybackEngine engine;
  ManualEngine() : ManualEngine(std::make_unique<ManualDevice>()) {}
  explicit ManualEngine(std::unique_ptr<ManualDevice> d, bool fallback = false)
      : device(d.get()), engine(std::move(d), fallback) {
    engine.SetNotifyWindow(log.Callback());
  }
};

TEST(EngineStates, OperationsInTheWrongStateChangeNothing) {
  ManualEngine m;
  PlaybackEngine& e = m.engine;
  EXPECT_EQ(e.GetState(), EngineState::Closed);
  for (auto op : {&PlaybackEngine::Prepare, &PlaybackEngine::Start, &PlaybackEngine::Pause,
                  &PlaybackEngine::Resume, &PlaybackEngine::Stop}) {
    EXPECT_FALSE((e.*op)());
    EXPECT_EQ(e.LastError(), EngineError::WrongState);
    EXPECT_EQ(e.GetState(), EngineState::Closed);
  }
  EXPECT_FALSE(e.Seek(100));
  EXPECT_TRUE(e.SetRange(0, 0));
  EXPECT_TRUE(e.SetVolume(0xFFFFFFFFu));
  // No input yet, then an input that does not exist.
  EXPECT_FALSE(e.Open());
  EXPECT_EQ(e.LastError(), EngineError::NoInput);
  EXPECT_TRUE(e.SetInputFile("/nonexistent/file.mp3"));
  EXPECT_FALSE(e.Open());
  EXPECT_EQ(e.LastError(), EngineError::NoInput);
  EXPECT_EQ(e.GetState(), EngineState::Closed);

  ASSERT_TRUE(e.SetInputFile(Fixture("l2_44k_192.mp2")));
  ASSERT_TRUE(e.Open());
  EXPECT_FALSE(e.SetInputFile("other.mp3"));
  EXPECT_EQ(e.LastError(), EngineError::WrongState);
  EXPECT_FALSE(e.Open());
  EXPECT_FALSE(e.Start());
  ASSERT_TRUE(e.Prepare());
  EXPECT_EQ(e.GetState(), EngineState::Prepared);
  // Pause before Start fails, and Start still works afterwards.
  EXPECT_FALSE(e.Pause());
  EXPECT_EQ(e.LastError(), EngineError::WrongState);
  EXPECT_FALSE(e.Prepare());
  ASSERT_TRUE(e.Start());
  EXPECT_EQ(e.LastError(), EngineError::None);
  EXPECT_EQ(e.GetState(), EngineState::Playing);
  // Start twice: the second call fails and the track keeps playing.
  EXPECT_FALSE(e.Start());
  EXPECT_EQ(e.LastError(), EngineError::WrongState);
  EXPECT_EQ(e.GetState(), EngineState::Playing);
  EXPECT_FALSE(e.SetNotifyWindow(nullptr));
  EXPECT_TRUE(e.SetRange(0, 0));  // allowed at any time
  EXPECT_TRUE(e.Close());
  EXPECT_EQ(e.GetState(), EngineState::Closed);
  EXPECT_FALSE(m.device->IsOpen());
}

TEST(EngineStates, PauseSilencesTheDeviceAtOnceAndASeekWhilePausedDropsTheQueue) {
  const std::string path = Fixture("l2_44k_192.mp2");
  const size_t fullBytes = DecodeReference(path).size() * 2;
  ManualEngine m;
  PlaybackEngine& e = m.engine;
  ASSERT_TRUE(OpenPrepareStart(e, path));
  // Let the decoder fill the queue while nothing plays.
  ASSERT_TRUE(Eventually([&] { return m.device->IsOpen() && !m.device->IsPaused(); }));
  ASSERT_TRUE(e.Pause());
  EXPECT_EQ(e.GetState(), EngineState::Paused);
  EXPECT_TRUE(m.device->IsPaused());  // no more sound, now
  EXPECT_TRUE(m.device->Play(4096).empty());
  ASSERT_TRUE(e.Seek(1000));
  EXPECT_EQ(e.GetState(), EngineState::Paused);
  EXPECT_GE(e.PositionMs(), 970u);
  EXPECT_LE(e.PositionMs(), 1060u);
  ASSERT_TRUE(e.Resume());
  // Sound again as soon as the emptied queue has refilled.
  EXPECT_TRUE(Eventually([&] { return !m.device->IsPaused(); }));
  {
    Pump pump(*m.device);
    ASSERT_TRUE(m.log.WaitFor(EngineEvent::TrackEnded));
  }
  // Everything from about one second on, and none of what was queued before the seek.
  const double played = static_cast<double>(m.device->Played().size());
  EXPECT_LT(played, fullBytes - 900 * kBytesPerMs);
  EXPECT_GT(played, fullBytes - 1100 * kBytesPerMs);
  EXPECT_EQ(e.GetState(), EngineState::Ended);
}

TEST(EngineStates, TheHeardPositionFollowsTheDeviceNotTheDecoder) {
  ManualEngine m;
  PlaybackEngine& e = m.engine;
  ASSERT_TRUE(OpenPrepareStart(e, Fixture("l2_44k_192.mp2")));
  ASSERT_TRUE(Eventually([&] { return m.device->IsOpen() && !m.device->IsPaused(); }));
  EXPECT_EQ(e.HeardPositionMs(), 0u);
  EXPECT_GT(e.PositionMs(), 300u);  // the decoder runs ahead by the queue
  // One second of sound taken by the device.
  size_t taken = 0;
  ASSERT_TRUE(Eventually([&] {
    taken += m.device->Play(std::min<size_t>(16384, 176400 - taken)).size();
    return taken == 176400;
  }));
  EXPECT_NEAR(e.HeardPositionMs(), 1000.0, 2.0);
  ASSERT_TRUE(e.Pause());
  ASSERT_TRUE(e.Seek(2000));
  EXPECT_NEAR(e.HeardPositionMs(), 2000.0, 30.0);
  EXPECT_TRUE(e.Close());
}

TEST(EngineStates, StopDuringTheFinalDrainReturnsAndOpens) {
  ManualEngine m;
  PlaybackEngine& e = m.engine;
  ASSERT_TRUE(OpenPrepareStart(e, Fixture("l2_44k_192.mp2")));
  // Play just enough for the decoder to reach the end of the stream; the last blocks stay queued.
  ASSERT_TRUE(Eventually([&] {
    if (e.Phase() == DecodePhase::Draining) return true;
    m.device->Play(16384);
    return false;
  }));
  // Pausing during the drain must not keep Stop from returning either.
  ASSERT_TRUE(e.Pause());
  EXPECT_EQ(e.GetState(), EngineState::Paused);
  ASSERT_TRUE(e.Stop());
  EXPECT_EQ(e.GetState(), EngineState::Opened);
  EXPECT_EQ(e.LastError(), EngineError::None);
  EXPECT_EQ(m.log.Count(EngineEvent::TrackEnded), 0u);
  EXPECT_EQ(e.PositionMs(), 0u);
  EXPECT_FALSE(m.device->IsOpen());
  // The same track can be prepared and started again.
  ASSERT_TRUE(e.Prepare());
  ASSERT_TRUE(e.Start());
  EXPECT_TRUE(Eventually([&] { return m.device->IsOpen() && !m.device->IsPaused(); }));
  EXPECT_TRUE(e.Stop());
}

TEST(EngineStates, TheEndOfATrackIsNotifiedAtOnceAndStopThenOpens) {
  EventLog log;
  PlaybackEngine e(std::make_unique<NullDevice>(NullDevice::Pacing::Immediate), false);
  e.SetNotifyWindow(log.Callback());
  ASSERT_TRUE(OpenPrepareStart(e, Fixture("l2_44k_192.mp2")));
  ASSERT_TRUE(log.WaitFor(EngineEvent::TrackEnded));
  EXPECT_EQ(e.GetState(), EngineState::Ended);
  EXPECT_EQ(e.PositionMs(), 0u);
  EXPECT_FALSE(e.Pause());
  EXPECT_EQ(e.LastError(), EngineError::WrongState);
  EXPECT_FALSE(e.Seek(10));
  ASSERT_TRUE(e.Stop());
  EXPECT_EQ(e.GetState(), EngineState::Opened);
  // Ended may also be prepared directly for another round.
  ASSERT_TRUE(e.Prepare());
  ASSERT_TRUE(e.Start());
  ASSERT_TRUE(log.WaitFor(EngineEvent::TrackEnded, 2));
  ASSERT_TRUE(e.Prepare());
  EXPECT_EQ(e.GetState(), EngineState::Prepared);
}

size_t PlayedBytesWithRange(uint32_t startMs, uint32_t endMs) {
  ManualEngine m;
  PlaybackEngine& e = m.engine;
  EXPECT_TRUE(e.SetInputFile(Fixture("l2_44k_192.mp2")));
  EXPECT_TRUE(e.Open());
  EXPECT_TRUE(e.Prepare());
  EXPECT_TRUE(e.SetRange(startMs, endMs));
  EXPECT_TRUE(e.Start());
  Pump pump(*m.device);
  EXPECT_TRUE(m.log.WaitFor(EngineEvent::TrackEnded));
  return m.device->Played().size();
}

TEST(EngineStates, ARangeEndingBeforeItsStartPlaysToTheEnd) {
  const size_t fullBytes = DecodeReference(Fixture("l2_44k_192.mp2")).size() * 2;
  const double toEnd = static_cast<double>(PlayedBytesWithRange(2000, 1000));
  EXPECT_NEAR(toEnd, fullBytes - 2000 * kBytesPerMs, 60 * kBytesPerMs);
  const double window = static_cast<double>(PlayedBytesWithRange(1000, 2000));
  EXPECT_NEAR(window, 1000 * kBytesPerMs, 60 * kBytesPerMs);
}

TEST(EngineStates, AnOutputThatCannotOpenFailsStartOrFallsBackToSilence) {
  auto refused = std::make_unique<ManualDevice>();
  refused->failOpen = true;
  ManualEngine m(std::move(refused));
  ASSERT_TRUE(m.engine.SetInputFile(Fixture("l2_44k_192.mp2")));
  ASSERT_TRUE(m.engine.Open());
  ASSERT_TRUE(m.engine.Prepare());
  EXPECT_FALSE(m.engine.Start());
  EXPECT_EQ(m.engine.LastError(), EngineError::OutputFailed);
  EXPECT_EQ(m.engine.GetState(), EngineState::Prepared);

  auto refused2 = std::make_unique<ManualDevice>();
  refused2->failOpen = true;
  ManualEngine f(std::move(refused2), true);
  ASSERT_TRUE(OpenPrepareStart(f.engine, Fixture("l2_44k_192.mp2")));
  ASSERT_TRUE(f.log.WaitFor(EngineEvent::Notice));
  EXPECT_EQ(f.engine.DeviceName(), "null");
  for (const auto& n : f.log.Events()) {
    if (n.event == EngineEvent::Notice) {
      EXPECT_EQ(n.text.find('\n'), std::string::npos);
    }
  }
  EXPECT_TRUE(f.engine.Close());
}

TEST(EngineStates, HalfRateOnlyWhenTheDeviceCannotTakeTheRateDecidedPerTrack) {
  auto limited = std::make_unique<ManualDevice>();
  limited->maxRate = 44100;
  ManualEngine m(std::move(limited));
  PlaybackEngine& e = m.engine;
  ASSERT_TRUE(OpenPrepareStart(e, Fixture("l2_48k_128.mp2")));
  EXPECT_EQ(e.Decimation(), 1);
  ASSERT_TRUE(Eventually([&] { return m.device->IsOpen(); }));
  EXPECT_EQ(m.device->Format().sampleRate, 24000);
  ASSERT_TRUE(e.Close());
  // The next track is judged on its own: 44.1 kHz plays at full rate.
  ASSERT_TRUE(OpenPrepareStart(e, Fixture("l2_44k_192.mp2")));
  EXPECT_EQ(e.Decimation(), 0);
  ASSERT_TRUE(Eventually([&] { return m.device->Opens() == 2; }));
  EXPECT_EQ(m.device->Format().sampleRate, 44100);
  ASSERT_TRUE(e.Close());

  ManualEngine any;
  ASSERT_TRUE(OpenPrepareStart(any.engine, Fixture("l2_48k_128.mp2")));
  EXPECT_EQ(any.engine.Decimation(), 0);
  ASSERT_TRUE(Eventually([&] { return any.device->IsOpen(); }));
  EXPECT_EQ(any.device->Format().sampleRate, 48000);
}

TEST(EngineStates, ARefusedSeekLeavesTheSoundUntouched) {
  const std::string path = Fixture("l2_44k_192.mp2");
  const std::vector<int16_t> reference = DecodeReference(path);
  ManualEngine m;
  PlaybackEngine& e = m.engine;
  ASSERT_TRUE(OpenPrepareStart(e, path));
  ASSERT_TRUE(Eventually([&] { return m.device->IsOpen() && !m.device->IsPaused(); }));
  m.device->Play(5000);
  EXPECT_FALSE(e.Seek(3600000));  // past the end: refused
  m.device->Play(5000);
  EXPECT_FALSE(e.Seek(3600000));
  {
    Pump pump(*m.device);
    ASSERT_TRUE(m.log.WaitFor(EngineEvent::TrackEnded));
  }
  const auto played = m.device->Played();
  ASSERT_EQ(played.size(), reference.size() * 2);
  EXPECT_EQ(std::memcmp(played.data(), reference.data(), played.size()), 0);
}

TEST(EngineStates, SeeksAnswerInEveryPhase) {
  ManualEngine m;
  PlaybackEngine& e = m.engine;
  ASSERT_TRUE(OpenPrepareStart(e, Fixture("l2_44k_192.mp2")));
  // Blocked on a full queue: the seek still gets through.
  EXPECT_TRUE(e.Seek(500));
  EXPECT_FALSE(e.Seek(3600000));  // past the end
  ASSERT_TRUE(Eventually([&] {
    if (e.Phase() == DecodePhase::Draining) return true;
    m.device->Play(16384);
    return false;
  }));
  // During the final drain a seek goes back to decoding.
  EXPECT_TRUE(e.Seek(0));
  EXPECT_EQ(e.GetState(), EngineState::Playing);
  {
    Pump pump(*m.device);
    ASSERT_TRUE(m.log.WaitFor(EngineEvent::TrackEnded));
  }
  EXPECT_EQ(e.GetState(), EngineState::Ended);
}

}  // namespace
}  // namespace tovira
