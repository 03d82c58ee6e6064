// Notifications as a window uses them: the handler drives the engine from inside the callback
// (stop, close, open and start the next file) for every kind of notification, and what it was
// told must match, event for event, what the transport did; so must what it is told while a
// Stop races the end of the track, and while random commands hit a running engine.

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <system_error>

#include "EngineTestSupport.h"
#include "output/NullDevice.h"

namespace tovira {
namespace {

using namespace tovira::testing;
using Pacing = PullThreadDevice::Pacing;

// Plays like the null device until it has been fed a few blocks, then fails (throws), as a
// device that goes away in the middle of a track.
class FailingDevice final : public PullThreadDevice {
 public:
  FailingDevice() : PullThreadDevice(Pacing::Immediate) {}
  bool Open(const PcmFormat& format, AudioSource& source, std::string* error) override {
    fed_ = 0;
    return PullThreadDevice::Open(format, source, error);
  }
  void DataQueued() override {
    if (++fed_ > 3) throw std::system_error(std::make_error_code(std::errc::io_error), "device gone");
    PullThreadDevice::DataQueued();
  }
  std::string Name() const override { return "failing"; }

 private:
  int fed_ = 0;  // decode thread only
};

std::unique_ptr<AudioDevice> Refusing() {
  auto d = std::make_unique<ManualDevice>();
  d->failOpen = true;
  return d;
}

struct Scenario {
  const char* name;
  E trigger;  // the notification whose handler moves on to the next file
  std::function<std::unique_ptr<AudioDevice>()> device;
  bool damaged;  // a stream that plays for a while and then cannot be read on
  // What one track reports between its Playing and its Stop's Opened.
  std::vector<std::pair<E, S>> middle;
};

const std::vector<std::pair<E, S>> kEnd = {{E::StateChanged, S::Ended}, {E::TrackEnded, S::Ended}};
const std::vector<std::pair<E, S>> kError = {{E::StateChanged, S::Ended}, {E::Error, S::Ended}};
const Scenario kScenarios[] = {
    // Real-time pacing: the stop from the handler comes long before the track could end.
    {"StateChangedToPlaying", E::StateChanged, [] { return std::make_unique<NullDevice>(Pacing::RealTime); }, false, {}},
    {"TrackEnded", E::TrackEnded, [] { return std::make_unique<NullDevice>(Pacing::Immediate); }, false, kEnd},
    // No device: playing goes on silently (in real time), and the window hears of it.
    {"NoticeOfTheSilentDevice", E::Notice, Refusing, false, {{E::Notice, S::Playing}}},
    {"ErrorOfAnUnreadableFile", E::Error, [] { return std::make_unique<NullDevice>(Pacing::Immediate); }, true, kError},
    {"ErrorOfAFailingDevice", E::Error, [] { return std::make_unique<FailingDevice>(); }, false, kError},
};

class EngineNotify : public ::testing::TestWithParam<Scenario> {};

TEST_P(EngineNotify, TheHandlerPlaysTheNextFileFromInsideTheCallback) {
  constexpr uint64_t kTracks = 4;
  const Scenario& sc = GetParam();
  std::string file = Fixture("l2_44k_192.mp2");
  if (sc.damaged) {
    // A tag cut off at the end.
    const std::string copy = ::testing::TempDir() + "damaged_" + std::to_string(getpid()) + ".mp2";
    std::ofstream(copy, std::ios::binary) << std::ifstream(file, std::ios::binary).rdbuf() << "ID3\x03";
    file = copy;
  }

  EventLog log;  // outlives the engine
  const auto record = log.Callback();
  std::atomic<int> inHandler{0};
  PlaybackEngine e(sc.device(), true);
  e.SetNotifyWindow([&](const EngineNotification& n) {
    EXPECT_EQ(inHandler.fetch_add(1), 0) << "two handlers at once";
    record(n);
    if (n.event == sc.trigger && (n.event != E::StateChanged || n.state == S::Playing)) {
      // What a window does: forget this file and play the next one, or stop after the last.
      EXPECT_EQ(n.track, e.TrackSerial()) << "trigger of a stale track";
      EXPECT_TRUE(e.Stop());
      EXPECT_TRUE(e.Close());
      EXPECT_TRUE(n.track >= kTracks || OpenPrepareStart(e, file)) << "next file did not start";
    }
    inHandler.fetch_sub(1);
  });

  ASSERT_TRUE(OpenPrepareStart(e, file));
  // The last Close is told after the handler that called it returns.
  if (!log.WaitForClosed(kTracks)) {
    // A deadlocked engine cannot be destroyed either: end here, loudly.
    std::fprintf(stderr, "no progress after %zu notifications\n", log.Events().size());
    std::abort();
  }
  EXPECT_EQ(e.GetState(), S::Closed);
  EXPECT_EQ(e.TrackSerial(), 0u);
  std::vector<std::tuple<E, S, uint64_t>> expected, got;
  for (uint64_t track = 1; track <= kTracks; ++track) {
    for (S s : {S::Opened, S::Prepared, S::Playing}) expected.emplace_back(E::StateChanged, s, track);
    for (const auto& [event, state] : sc.middle) expected.emplace_back(event, state, track);
    for (S s : {S::Opened, S::Closed}) expected.emplace_back(E::StateChanged, s, track);
  }
  for (const EngineNotification& n : log.Events()) {
    got.emplace_back(n.event, n.state, n.track);
    EXPECT_TRUE((n.event != E::Error && n.event != E::Notice) || IsSentence(n.text)) << n.text;
  }
  EXPECT_EQ(got, expected);
  if (sc.damaged) std::remove(file.c_str());
}

INSTANTIATE_TEST_SUITE_P(EveryKind, EngineNotify, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

// A user's Stop racing the end of the track, many times over: the end of the track is either
// told before the Stop's Opened or not at all, never after it.
TEST(EngineNotifyOrder, AStopRacingTheEndNeverFollowsItsEndOfTrack) {
  Rig<NullDevice> r(std::make_unique<NullDevice>(Pacing::Immediate));
  PlaybackEngine& e = r.engine;
  ASSERT_TRUE(e.SetInputFile(Fixture("l2_44k_64_mono.mp2")) && e.Open());
  for (int round = 0; round < 40; ++round) {
    ASSERT_TRUE(e.Prepare() && e.Start());
    // Spread the stops over the track's short life.
    std::this_thread::sleep_for(std::chrono::microseconds(round * 150));
    ASSERT_TRUE(e.Stop());
  }
  ASSERT_TRUE(e.Close() && r.log.WaitForClosed());
  const auto events = r.log.Events();
  EXPECT_EQ(SequenceFault(events), "");
  // Every round is Prepared, Playing, [Ended, TrackEnded,] Opened.
  const size_t ends = r.log.Count(E::TrackEnded);
  EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const auto& n) { return n.state == S::Opened; }), 41);
  EXPECT_LE(ends, 40u);
  EXPECT_EQ(events.size(), 1 + 40 * 3 + 2 * ends + 1);
}

enum Op { kSetInput, kOpen, kPrepare, kStart, kPause, kResume, kSeek, kStop, kClose, kRange, kVolume, kOps };

class EngineStress : public ::testing::TestWithParam<Pacing> {};

// 1,000 random transport commands (next tracks among them, at another rate too) from one thread
// while another watches the engine: every
// command returns, a refused command leaves WrongState without moving the state, the state
// stays one of the six, what the window is told is a run the state machine allows, and the
// engine closes cleanly at the end.
TEST_P(EngineStress, RandomCommandsWhileAnotherThreadWatches) {
  Rig<NullDevice> r(std::make_unique<NullDevice>(GetParam()));
  PlaybackEngine& e = r.engine;
  const std::vector<std::string> files = {Fixture("l2_44k_192.mp2"), Fixture("l3_44k_128_js.mp3"),
                                          Fixture("l2_44k_64_mono.mp2"), Fixture("l2_48k_128.mp2")};
  std::atomic<bool> done{false};
  auto commander = std::async(std::launch::async, [&] {
    std::mt19937 rng(GetParam() == Pacing::RealTime ? 12345 : 777);
    std::array<int, kOps> succeeded{}, failed{};
    const std::function<bool()> ops[kOps] = {
        [&] { return e.SetInputFile(files[rng() % files.size()]); }, [&] { return e.Open(); }, [&] { return e.Prepare(); },
        [&] { return e.Start(); }, [&] { return e.Pause(); }, [&] { return e.Resume(); }, [&] { return e.Seek(rng() % 4000); },
        [&] { return e.Stop(); }, [&] { return e.Close(); }, [&] { return e.SetRange(rng() % 3000, rng() % 3000); },
        [&] { return e.SetVolume(static_cast<uint32_t>(rng())); }};
    // Next tracks come from a stream of their own, so the transport's commands stay the same.
    std::mt19937 nextRng(GetParam() == Pacing::RealTime ? 4242 : 99);
    for (int i = 0; i < 1000; ++i) {
      const S before = e.GetState();
      const auto op = static_cast<Op>(rng() % kOps);
      const bool ok = ops[op]();
      (ok ? succeeded : failed)[op]++;
      if (const auto n = nextRng() % 8; n < 2) {
        const S now = e.GetState();
        const bool set = n == 0 ? e.SetNextInput(files[nextRng() % files.size()]) : e.ClearNextInput();
        EXPECT_TRUE(set || now == S::Closed || now == S::Opened || now == S::Ended || e.GetState() != now)
            << "next track refused while " << static_cast<int>(now);
      }
      EXPECT_TRUE(ok || before != S::Closed || op == kSeek || e.GetState() == S::Closed) << "op " << op;
      if (!ok && (op == kPause || op == kResume || op == kStart || op == kSetInput)) {
        EXPECT_EQ(e.LastError(), EngineError::WrongState) << "op " << op;
      }
    }
    done = true;
    return std::pair(succeeded, failed);
  });
  while (!done) {
    EXPECT_LE(static_cast<int>(e.GetState()), 5);
    (void)e.Levels(), (void)e.PositionMs(), (void)e.HeardPositionMs(), (void)e.DurationMs(), (void)e.BitrateKbps(), (void)e.Phase();
    std::this_thread::yield();
  }
  ASSERT_EQ(commander.wait_for(kPatience), std::future_status::ready) << "a command did not return";
  const auto [succeeded, failed] = commander.get();
  EXPECT_TRUE(e.Close() && r.log.WaitForClosed());
  EXPECT_EQ(e.GetState(), S::Closed);
  EXPECT_EQ(SequenceFault(r.log.Events()), "");
  EXPECT_GT(succeeded[kStart], 5);
  if (GetParam() == Pacing::RealTime) {
    // Tracks really ran while the commands came (a real-time track outlasts any run of commands
    // between a start and the next stop): pauses, resumes and seeks got through.
    EXPECT_GT(succeeded[kPause], 5);
    EXPECT_GT(succeeded[kResume], 0);
    EXPECT_GT(succeeded[kSeek], 0);
    EXPECT_GT(failed[kStart] + failed[kPause], 10);
  }
}

// Immediate pacing: how many tracks end by themselves before the next command depends on the
// machine's speed; every command must return and the engine stay consistent all the same.
INSTANTIATE_TEST_SUITE_P(Devices, EngineStress, ::testing::Values(Pacing::RealTime, Pacing::Immediate),
                         [](const auto& info) { return info.param == Pacing::RealTime ? "RealTime" : "Immediate"; });

}  // namespace
}  // namespace tovira
