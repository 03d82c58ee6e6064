#include <gtest/gtest.h>

#include <future>
#include <random>

#include "EngineTestSupport.h"
#include "output/NullDevice.h"

namespace tovira {
namespace {

using namespace tovira::testing;

// Random transport commands from one thread while another watches the engine: every command
// returns, the state stays one of the six, and the engine closes cleanly at the end.
TEST(EngineStress, ThousandRandomCommandsFromASecondThread) {
  std::atomic<int> events{0};
  PlaybackEngine e(std::make_unique<NullDevice>(NullDevice::Pacing::Immediate), false);
  e.SetNotifyWindow([&](const EngineNotification&) { events.fetch_add(1); });
  const std::vector<std::string> files = {Fixture("l2_44k_192.mp2"), Fixture("l3_44k_128_js.mp3"),
                                          Fixture("l2_44k_64_mono.mp2")};
  std::atomic<bool> done{false};
  auto commander = std::async(std::launch::async, [&] {
    std::mt19937 rng(12345);
    int failures = 0;
    for (int i = 0; i < 1000; ++i) {
      const EngineState before = e.GetState();
      bool ok = false;
      switch (rng() % 12) {
        case 0: ok = e.SetInputFile(files[rng() % files.size()]); break;
        case 1: ok = e.Open(); break;
        case 2: ok = e.Prepare(); break;
        case 3: case 4: ok = e.Start(); break;
        case 5: ok = e.Pause(); break;
        case 6: ok = e.Resume(); break;
        case 7: ok = e.Seek(rng() % 4000); break;
        case 8: ok = e.Stop(); break;
        case 9: ok = e.Close(); break;
        case 10: ok = e.SetRange(rng() % 3000, rng() % 3000); break;
        case 11: ok = e.SetVolume(static_cast<uint32_t>(rng())); break;
      }
      if (!ok) ++failures;
      // Operations that cannot succeed from Closed must not have moved the state.
      if (before == EngineState::Closed && !ok) {
        EXPECT_EQ(e.GetState(), EngineState::Closed);
      }
    }
    done = true;
    return failures;
  });
  uint64_t polls = 0;
  while (!done) {
    const auto s = static_cast<int>(e.GetState());
    EXPECT_TRUE(s >= 0 && s <= 5) << s;
    (void)e.Levels();
    (void)e.PositionMs();
    (void)e.BitrateKbps();
    (void)e.Phase();
    ++polls;
    std::this_thread::yield();
  }
  ASSERT_EQ(commander.wait_for(kPatience), std::future_status::ready) << "a command did not return";
  const int failures = commander.get();
  EXPECT_GT(failures, 0);      // the random mix certainly hits wrong states
  EXPECT_LT(failures, 1000);   // and certainly gets some through
  EXPECT_GT(events.load(), 0);
  EXPECT_TRUE(e.Close());
  EXPECT_EQ(e.GetState(), EngineState::Closed);
  EXPECT_GT(polls, 0u);
}

}  // namespace
}  // namespace tovira
