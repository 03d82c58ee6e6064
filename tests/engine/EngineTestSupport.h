#pragma once
// Shared pieces of the engine tests: fixture paths, a notification log to wait on, and a pump
// that plays a manual device on its own thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Eventually.h"
#include "decoder/MpegDecoder.h"
#include "engine/PlaybackEngine.h"
#include "output/ManualDevice.h"

namespace tovira::testing {

using test::kPatience;

inline std::string Fixture(const std::string& name) { return std::string(TOVIRA_FIXTURE_DIR) + "/" + name; }
inline std::string Conformance(const std::string& name) {
  return std::string(TOVIRA_CONFORMANCE_DIR) + "/" + name;
}

class EventLog {
 public:
  EngineNotify Callback() {
    return [this](const EngineNotification& n) {
      {
        std::lock_guard lock(mutex_);
        events_.push_back(n);
      }
      cv_.notify_all();
    };
  }
  size_t Count(EngineEvent e) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& ev : events_) n += ev.event == e;
    return n;
  }
  // Waits until `count` events of kind `e` arrived; false after kPatience.
  bool WaitFor(EngineEvent e, size_t count = 1) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kPatience, [&] {
      size_t n = 0;
      for (const auto& ev : events_) n += ev.event == e;
      return n >= count;
    });
  }
  std::vector<EngineNotification> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<EngineNotification> events_;
};

using test::Eventually;

// Plays a manual device continuously on a thread of its own.
class Pump {
 public:
  explicit Pump(ManualDevice& d) : device_(d), thread_([this] {
    while (!quit_) {
      if (device_.Play(16384).empty()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }) {}
  ~Pump() {
    quit_ = true;
    thread_.join();
  }

 private:
  ManualDevice& device_;
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

inline std::vector<int16_t> DecodeReference(const std::string& path) {
  VectorPcmSink sink;
  std::string error;
  EXPECT_TRUE(MpegDecoder::DecodeFile(path, sink, &error)) << error;
  return sink.pcm;
}

inline bool OpenPrepareStart(PlaybackEngine& e, const std::string& path) {
  return e.SetInputFile(path) && e.Open() && e.Prepare() && e.Start();
}

}  // namespace tovira::testing
