#include <gtest/gtest.h>

#include <array>
#include <future>
#include <random>

#include "EngineTestSupport.h"
#include "output/NullDevice.h"

namespace tovira {
namespace {

using namespace tovira::testing;

enum Op { kSetInput, kOpen, kPrepare, kStart, kPause, kResume, kSeek, kStop, kClose, kRange, kVolume, kOps };

struct Outcome {
  std::array<int, kOps> succeeded{};
  std::array<int, kOps> failed{};
};

// 1,000 random transport commands from one thread while another watches the engine: every
// command returns, a refused command leaves WrongState without moving the state, the state
// stays one of the six, and the engine closes cleanly at the end.
Outcome RunRandomCommands(NullDevice::Pacing pacing, uint32_t seed, std::atomic<int>& trackEnds) {
  EventLog log;
  PlaybackEngine e(std::make_unique<NullDevice>(pacing), false);
  e.SetNotifyWindow(log.Callback());
  const std::vector<std::string> files = {Fixture("l2_44k_192.mp2"), Fixture("l3_44k_128_js.mp3"),
                                          Fixture("l2_44k_64_mono.mp2"), Fixture("l2_48k_128.mp2")};
  std::atomic<bool> done{false};
  auto commander = std::async(std::launch::async, [&] {
    std::mt19937 rng(seed);
    Outcome out;
    for (int i = 0; i < 1000; ++i) {
      const EngineState before = e.GetState();
      const auto op = static_cast<Op>(rng() % kOps);
      bool ok = false;
      switch (op) {
        case kSetInput: ok = e.SetInputFile(files[rng() % files.size()]); break;
        case kOpen: ok = e.Open(); break;
        case kPrepare: ok = e.Prepare(); break;
        case kStart: ok = e.Start(); break;
        case kPause: ok = e.Pause(); break;
        case kResume: ok = e.Resume(); break;
        case kSeek: ok = e.Seek(rng() % 4000); break;
        case kStop: ok = e.Stop(); break;
        case kClose: ok = e.Close(); break;
        case kRange: ok = e.SetRange(rng() % 3000, rng() % 3000); break;
        case kVolume: ok = e.SetVolume(static_cast<uint32_t>(rng())); break;
        case kOps: break;
      }
      (ok ? out.succeeded : out.failed)[op]++;
      if (!ok && before == EngineState::Closed && op != kSeek) {
        EXPECT_EQ(e.GetState(), EngineState::Closed) << "op " << op;
      }
      if (!ok && (op == kPause || op == kResume || op == kStart || op == kSetInput)) {
        EXPECT_EQ(e.LastError(), EngineError::WrongState) << "op " << op;
      }
    }
    done = true;
    return out;
  });
  while (!done) {
    const auto s = static_cast<int>(e.GetState());
    EXPECT_TRUE(s >= 0 && s <= 5) << s;
    (void)e.Levels();
    (void)e.PositionMs();
    (void)e.BitrateKbps();
    (void)e.Phase();
    std::this_thread::yield();
  }
  EXPECT_EQ(commander.wait_for(kPatience), std::future_status::ready) << "a command did not return";
  const Outcome out = commander.get();
  EXPECT_TRUE(e.Close());
  EXPECT_EQ(e.GetState(), EngineState::Closed);
  // What the window was told, in order, is a run the state machine allows, ending where the
  // engine is.
  std::vector<EngineNotification> events;
  EXPECT_TRUE(Eventually([&] {
    events = log.Events();
    return !events.empty() && events.back().state == EngineState::Closed;
  }));
  EXPECT_EQ(SequenceFault(events), "");
  trackEnds = static_cast<int>(log.Count(EngineEvent::TrackEnded));
  return out;
}

TEST(EngineStress, RandomCommandsAgainstARealTimeDevice) {
  std::atomic<int> ends{0};
  const Outcome o = RunRandomCommands(NullDevice::Pacing::RealTime, 12345, ends);
  // Tracks really ran while the commands came (a real-time track outlasts any run of commands
  // between a start and the next stop): pauses, resumes and seeks got through.
  EXPECT_GT(o.succeeded[kStart], 5);
  EXPECT_GT(o.succeeded[kPause], 5);
  EXPECT_GT(o.succeeded[kResume], 0);
  EXPECT_GT(o.succeeded[kSeek], 0);
  EXPECT_GT(o.failed[kStart] + o.failed[kPause], 10);
}

TEST(EngineStress, RandomCommandsWhileTracksEndByThemselves) {
  std::atomic<int> ends{0};
  const Outcome o = RunRandomCommands(NullDevice::Pacing::Immediate, 777, ends);
  // How many tracks reach their end before the next command depends on the machine's speed;
  // what matters is that every command returned and the engine stayed consistent.
  EXPECT_GT(o.succeeded[kStart], 5);
  RecordProperty("tracks_ended", ends.load());
}

}  // namespace
}  // namespace tovira
