// Notifications as a window uses them: the handler drives the engine from inside the callback
// (stop, close, open and start the next file) for every kind of notification, and what it was
// told must match, event for event, what the transport did.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unistd.h>

#include "EngineTestSupport.h"
#include "output/NullDevice.h"

namespace tovira {
namespace {

using namespace tovira::testing;
using S = EngineState;
using E = EngineEvent;

// Plays like the null device, but refuses every opening, or fails (throws) once it has been
// fed a few blocks, as a device that goes away in the middle of a track.
class PickyDevice final : public PullThreadDevice {
 public:
  enum class Mode { Accept, RefuseAll, ThrowWhenFed };
  PickyDevice(Mode mode, Pacing pacing) : PullThreadDevice(pacing), mode_(mode) {}
  bool Open(const PcmFormat& format, AudioSource& source, std::string* error) override {
    if (mode_ == Mode::RefuseAll) {
      if (error) *error = "refused by the test";
      return false;
    }
    fed_ = 0;
    return PullThreadDevice::Open(format, source, error);
  }
  void DataQueued() override {
    if (mode_ == Mode::ThrowWhenFed && ++fed_ > 3) {
      throw std::system_error(std::make_error_code(std::errc::io_error), "device gone");
    }
    PullThreadDevice::DataQueued();
  }
  std::string Name() const override { return "picky"; }

 private:
  const Mode mode_;
  int fed_ = 0;  // decode thread only
};

// A stream that plays for a while and then cannot be read on: a tag cut off at the end.
std::string DamagedFile() {
  const std::string path = ::testing::TempDir() + "damaged_" + std::to_string(getpid()) + ".mp2";
  std::ofstream out(path, std::ios::binary);
  std::ifstream in(Fixture("l2_44k_192.mp2"), std::ios::binary);
  out << in.rdbuf() << "ID3\x03";
  return path;
}

struct Scenario {
  const char* name;
  E trigger;  // the notification whose handler moves on to the next file
  PickyDevice::Mode mode;
  PullThreadDevice::Pacing pacing;
  bool fallback;
  bool damaged;
  // What one track reports, from its Open to its Close.
  std::vector<std::pair<E, S>> perTrack;
};

const Scenario kScenarios[] = {
    // Real-time pacing: the stop from the handler comes long before the track could end.
    {"StateChangedToPlaying", E::StateChanged, PickyDevice::Mode::Accept, PullThreadDevice::Pacing::RealTime,
     false, false,
     {{E::StateChanged, S::Opened}, {E::StateChanged, S::Prepared}, {E::StateChanged, S::Playing},
      {E::StateChanged, S::Opened}, {E::StateChanged, S::Closed}}},
    {"TrackEnded", E::TrackEnded, PickyDevice::Mode::Accept, PullThreadDevice::Pacing::Immediate, false, false,
     {{E::StateChanged, S::Opened}, {E::StateChanged, S::Prepared}, {E::StateChanged, S::Playing},
      {E::StateChanged, S::Ended}, {E::TrackEnded, S::Ended}, {E::StateChanged, S::Opened},
      {E::StateChanged, S::Closed}}},
    // No device: playing goes on silently (in real time), and the window hears of it.
    {"NoticeOfTheSilentDevice", E::Notice, PickyDevice::Mode::RefuseAll, PullThreadDevice::Pacing::RealTime,
     true, false,
     {{E::StateChanged, S::Opened}, {E::StateChanged, S::Prepared}, {E::StateChanged, S::Playing},
      {E::Notice, S::Playing}, {E::StateChanged, S::Opened}, {E::StateChanged, S::Closed}}},
    {"ErrorOfAnUnreadableFile", E::Error, PickyDevice::Mode::Accept, PullThreadDevice::Pacing::Immediate, false,
     true,
     {{E::StateChanged, S::Opened}, {E::StateChanged, S::Prepared}, {E::StateChanged, S::Playing},
      {E::StateChanged, S::Ended}, {E::Error, S::Ended}, {E::StateChanged, S::Opened},
      {E::StateChanged, S::Closed}}},
    {"ErrorOfAFailingDevice", E::Error, PickyDevice::Mode::ThrowWhenFed, PullThreadDevice::Pacing::Immediate,
     false, false,
     {{E::StateChanged, S::Opened}, {E::StateChanged, S::Prepared}, {E::StateChanged, S::Playing},
      {E::StateChanged, S::Ended}, {E::Error, S::Ended}, {E::StateChanged, S::Opened},
      {E::StateChanged, S::Closed}}},
};

class EngineNotify : public ::testing::TestWithParam<Scenario> {};

TEST_P(EngineNotify, TheHandlerPlaysTheNextFileFromInsideTheCallback) {
  constexpr uint64_t kTracks = 4;
  const Scenario& sc = GetParam();
  const std::string file = sc.damaged ? DamagedFile() : Fixture("l2_44k_192.mp2");

  std::mutex mutex;
  std::condition_variable cv;
  std::vector<EngineNotification> log;
  std::vector<std::string> faults;
  std::atomic<int> inHandler{0};
  bool done = false;

  PlaybackEngine e(std::make_unique<PickyDevice>(sc.mode, sc.pacing), sc.fallback);
  auto fault = [&](const std::string& what) {
    std::lock_guard lock(mutex);
    faults.push_back(what);
  };
  e.SetNotifyWindow([&](const EngineNotification& n) {
    if (inHandler.fetch_add(1) != 0) fault("two handlers at once");
    {
      std::lock_guard lock(mutex);
      log.push_back(n);
    }
    const bool trigger = n.event == sc.trigger && (n.event != E::StateChanged || n.state == S::Playing);
    if (trigger) {
      // What a window does: forget this file and play the next one, or stop after the last.
      if (n.track != e.TrackSerial()) fault("trigger of a stale track");
      if (!e.Stop()) fault("Stop failed");
      if (!e.Close()) fault("Close failed");
      if (n.track < kTracks) {
        if (!OpenPrepareStart(e, file)) fault("next file did not start");
      } else {
        std::lock_guard lock(mutex);
        done = true;
      }
    }
    inHandler.fetch_sub(1);
    cv.notify_all();
  });

  ASSERT_TRUE(OpenPrepareStart(e, file));
  {
    std::unique_lock lock(mutex);
    // The last Close is told after the handler that called it returns.
    if (!cv.wait_for(lock, kPatience, [&] {
          return done && !log.empty() && log.back().state == S::Closed && log.back().track == kTracks;
        })) {
      // A deadlocked engine cannot be destroyed either: end here, loudly.
      std::fprintf(stderr, "no progress after %zu notifications\n", log.size());
      for (const auto& n : log) std::fprintf(stderr, "  %d %d %llu %s\n", static_cast<int>(n.event), static_cast<int>(n.state), static_cast<unsigned long long>(n.track), n.text.c_str());
      std::abort();
    }
  }
  EXPECT_EQ(e.GetState(), S::Closed);
  EXPECT_EQ(e.TrackSerial(), 0u);
  std::vector<EngineNotification> events;
  {
    std::lock_guard lock(mutex);
    EXPECT_TRUE(faults.empty()) << faults.front();
    events = log;
  }
  std::vector<std::tuple<E, S, uint64_t>> expected, got;
  for (uint64_t track = 1; track <= kTracks; ++track) {
    for (const auto& [event, state] : sc.perTrack) expected.emplace_back(event, state, track);
  }
  for (const EngineNotification& n : events) got.emplace_back(n.event, n.state, n.track);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(SequenceFault(events), "");
  for (const EngineNotification& n : events) {
    if (n.event != E::Error && n.event != E::Notice) continue;
    // One sentence for a dialog or a status line.
    EXPECT_FALSE(n.text.empty());
    EXPECT_EQ(n.text.find('\n'), std::string::npos);
    EXPECT_TRUE(std::isupper(static_cast<unsigned char>(n.text.front()))) << n.text;
    EXPECT_EQ(n.text.back(), '.') << n.text;
  }
  if (sc.damaged) std::remove(file.c_str());
}

INSTANTIATE_TEST_SUITE_P(EveryKind, EngineNotify, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

// A user's Stop racing the end of the track, many times over: the end of the track is either
// told before the Stop's Opened or not at all, never after it.
TEST(EngineNotifyOrder, AStopRacingTheEndNeverFollowsItsEndOfTrack) {
  EventLog log;
  PlaybackEngine e(std::make_unique<NullDevice>(NullDevice::Pacing::Immediate), false);
  e.SetNotifyWindow(log.Callback());
  const std::string file = Fixture("l2_44k_64_mono.mp2");
  ASSERT_TRUE(e.SetInputFile(file));
  ASSERT_TRUE(e.Open());
  for (int round = 0; round < 40; ++round) {
    ASSERT_TRUE(e.Prepare());
    ASSERT_TRUE(e.Start());
    // Spread the stops over the track's short life.
    std::this_thread::sleep_for(std::chrono::microseconds(round * 150));
    ASSERT_TRUE(e.Stop());
  }
  ASSERT_TRUE(e.Close());
  ASSERT_TRUE(Eventually([&] {
    const auto ev = log.Events();
    return !ev.empty() && ev.back().state == S::Closed;
  }));
  const auto events = log.Events();
  EXPECT_EQ(SequenceFault(events), "");
  // Every round is Prepared, Playing, [Ended, TrackEnded,] Opened.
  size_t ends = 0, opens = 0;
  for (const auto& n : events) {
    ends += n.event == E::TrackEnded;
    opens += n.event == E::StateChanged && n.state == S::Opened;
  }
  EXPECT_EQ(opens, 41u);
  EXPECT_LE(ends, 40u);
  EXPECT_EQ(events.size(), 1 + 40 * 3 + 2 * ends + 1);
}

}  // namespace
}  // namespace tovira
