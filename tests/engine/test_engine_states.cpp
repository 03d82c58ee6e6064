// The transport's states: what each refuses, pause and the heard position, seeks and stops in
// every phase of the decode thread, ranges, and the rate the device decides.

#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace tovira {
namespace {

using namespace tovira::testing;
using P = PlaybackEngine;

constexpr double kBytesPerMs = 44100 * 4 / 1000.0;
const std::string kTrack = Fixture("l2_44k_192.mp2");  // three seconds at 44.1 kHz

// Each of `ops` fails with `why` and leaves the state as it was.
void ExpectRefused(P& e, std::initializer_list<bool (P::*)()> ops, EngineError why = EngineError::WrongState) {
  const S before = e.GetState();
  for (auto op : ops) {
    EXPECT_FALSE((e.*op)());
    EXPECT_EQ(e.LastError(), why);
    EXPECT_EQ(e.GetState(), before);
  }
}

// Plays until the decode thread has read the whole stream and waits for the queue to play out.
bool PlayUntilDraining(Rig<>& m) {
  return Eventually([&] {
    if (m.engine.Phase() == DecodePhase::Draining) return true;
    m.device.Play(16384);
    return false;
  });
}

TEST(EngineStates, EachStateRefusesWhatItDoesNotAllow) {
  Rig m;
  P& e = m.engine;
  ExpectRefused(e, {&P::Prepare, &P::Start, &P::Pause, &P::Resume, &P::Stop});
  EXPECT_FALSE(e.Seek(100));
  // No input yet, then an input that does not exist.
  ExpectRefused(e, {&P::Open}, EngineError::NoInput);
  ASSERT_TRUE(e.SetInputFile("/nonexistent/file.mp3"));
  ExpectRefused(e, {&P::Open}, EngineError::NoInput);

  ASSERT_TRUE(e.SetInputFile(kTrack) && e.Open());
  EXPECT_FALSE(e.SetInputFile("other.mp3"));
  EXPECT_EQ(e.LastError(), EngineError::WrongState);
  ExpectRefused(e, {&P::Open, &P::Start, &P::Pause, &P::Stop});
  ASSERT_TRUE(e.Prepare());
  ExpectRefused(e, {&P::Prepare, &P::Pause, &P::Resume, &P::Stop});
  // A device that cannot be opened fails the start and leaves the track prepared.
  m.device.failOpen = true;
  ExpectRefused(e, {&P::Start}, EngineError::OutputFailed);
  m.device.failOpen = false;
  ASSERT_TRUE(e.Start());
  EXPECT_EQ(e.LastError(), EngineError::None);
  ExpectRefused(e, {&P::Open, &P::Prepare, &P::Start});
  EXPECT_FALSE(e.SetNotifyWindow(nullptr));
  ASSERT_TRUE(m.PlayToTheEnd());
  // Ended: nothing left to pause or seek, and it may be prepared again at once.
  ExpectRefused(e, {&P::Open, &P::Start, &P::Pause, &P::Resume});
  EXPECT_FALSE(e.Seek(10));
  EXPECT_EQ(e.PositionMs(), 0u);
  ASSERT_TRUE(e.Prepare());
  EXPECT_TRUE(e.Close());
  EXPECT_EQ(e.GetState(), S::Closed);
  EXPECT_FALSE(m.device.IsOpen());
  EXPECT_EQ(SequenceFault(m.log.Events()), "");
}

TEST(EngineStates, PauseSeekAndStopAnswerInEveryPhaseAndTheHeardPositionFollowsTheDevice) {
  Rig m;
  P& e = m.engine;
  ASSERT_TRUE(OpenPrepareStart(e, kTrack));
  ASSERT_TRUE(Eventually([&] { return m.device.IsOpen() && !m.device.IsPaused(); }));
  EXPECT_EQ(e.HeardPositionMs(), 0u);
  EXPECT_GT(e.PositionMs(), 300u);  // the decoder runs ahead by the queue
  // One second of sound taken by the device.
  size_t taken = 0;
  ASSERT_TRUE(Eventually([&] {
    taken += m.device.Play(std::min<size_t>(16384, 176400 - taken)).size();
    return taken == 176400;
  }));
  EXPECT_NEAR(e.HeardPositionMs(), 1000.0, 2.0);
  ASSERT_TRUE(e.Pause());
  EXPECT_EQ(e.GetState(), S::Paused);
  EXPECT_TRUE(m.device.Play(4096).empty());  // no more sound, now
  ASSERT_TRUE(e.Resume());
  // Sound again (on a loaded machine the decoder may still be refilling the queue).
  size_t resumed = 0;
  EXPECT_TRUE(Eventually([&] { return (resumed += m.device.Play(4096 - resumed).size()) == 4096; }));
  // During the final drain a seek goes back to decoding.
  ASSERT_TRUE(PlayUntilDraining(m));
  EXPECT_TRUE(e.Seek(0));
  EXPECT_EQ(e.GetState(), S::Playing);
  ASSERT_TRUE(Eventually([&] { return e.Phase() == DecodePhase::Decoding; }));
  // Pausing during the drain must not keep Stop from returning either.
  ASSERT_TRUE(PlayUntilDraining(m));
  ASSERT_TRUE(e.Pause());
  ASSERT_TRUE(e.Stop());
  EXPECT_EQ(e.GetState(), S::Opened);
  EXPECT_EQ(e.LastError(), EngineError::None);
  EXPECT_EQ(m.log.Count(E::TrackEnded), 0u);
  EXPECT_EQ(e.PositionMs(), 0u);
  EXPECT_FALSE(m.device.IsOpen());
  // The same track can be prepared and started again.
  ASSERT_TRUE(e.Prepare() && e.Start());
  EXPECT_TRUE(Eventually([&] { return m.device.IsOpen() && !m.device.IsPaused(); }));
}

TEST(EngineStates, ARangePlaysItsWindowOrToTheEndWhenItEndsBeforeItStarts) {
  const double full = static_cast<double>(DecodeReference(kTrack).size() * 2);
  const struct {
    uint32_t start, end;
    double bytes;
  } cases[] = {{1000, 2000, 1000 * kBytesPerMs}, {2000, 1000, full - 2000 * kBytesPerMs}};
  for (const auto& c : cases) {
    Rig m;
    ASSERT_TRUE(m.engine.SetInputFile(kTrack) && m.engine.Open() && m.engine.Prepare());
    ASSERT_TRUE(m.engine.SetRange(c.start, c.end) && m.engine.Start() && m.PlayToTheEnd());
    EXPECT_NEAR(static_cast<double>(m.device.Played().size()), c.bytes, 60 * kBytesPerMs) << c.start << "-" << c.end;
  }
}

TEST(EngineStates, HalfRateOnlyWhenTheDeviceCannotTakeTheRateDecidedPerTrack) {
  Rig limited, any;
  limited.device.maxRate = 44100;
  const struct {
    const char* file;
    Rig<>* rig;
    int decimation;
    int32_t rate;
  } cases[] = {{"l2_48k_128.mp2", &limited, 1, 24000}, {"l2_44k_192.mp2", &limited, 0, 44100}, {"l2_48k_128.mp2", &any, 0, 48000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(OpenPrepareStart(c.rig->engine, Fixture(c.file)));
    EXPECT_EQ(c.rig->engine.Decimation(), c.decimation);
    ASSERT_TRUE(Eventually([&] { return c.rig->device.IsOpen(); }));
    EXPECT_EQ(c.rig->device.Format().sampleRate, c.rate);
    ASSERT_TRUE(c.rig->engine.Close());
  }
}

}  // namespace
}  // namespace tovira
