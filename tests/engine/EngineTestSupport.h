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

// Checks a recorded run of notifications against the transport's state machine: every state
// change is a move the machine allows, an end of track (TrackEnded or Error) comes right after
// the move to Ended of the same track, serials never go back and a new one starts only at Open.
// Returns the first fault, or an empty string.
inline std::string SequenceFault(const std::vector<EngineNotification>& events) {
  using S = EngineState;
  auto allowed = [](S from, S to) {
    switch (to) {
      case S::Opened: return from == S::Closed || from == S::Playing || from == S::Paused || from == S::Ended;
      case S::Prepared: return from == S::Opened || from == S::Ended;
      case S::Playing: return from == S::Prepared || from == S::Playing || from == S::Paused;
      case S::Paused: return from == S::Playing || from == S::Paused;
      case S::Ended: return from == S::Playing || from == S::Paused;
      case S::Closed: return from == S::Opened || from == S::Prepared;
    }
    return false;
  };
  S state = S::Closed;
  uint64_t serial = 0;
  const EngineNotification* previous = nullptr;
  for (size_t i = 0; i < events.size(); ++i) {
    const EngineNotification& n = events[i];
    const std::string at = "event " + std::to_string(i) + ": ";
    if (n.track < serial) return at + "serial went back";
    if (n.track > serial) {
      if (n.event != EngineEvent::StateChanged || n.state != S::Opened || n.track != serial + 1) {
        return at + "new serial without an Open";
      }
      serial = n.track;
    }
    switch (n.event) {
      case EngineEvent::StateChanged:
        if (!allowed(state, n.state)) {
          return at + "move " + std::to_string(static_cast<int>(state)) + " -> " +
                 std::to_string(static_cast<int>(n.state));
        }
        state = n.state;
        break;
      case EngineEvent::TrackEnded:
      case EngineEvent::Error:
        if (!previous || previous->event != EngineEvent::StateChanged || previous->state != S::Ended ||
            previous->track != n.track || n.state != S::Ended) {
          return at + "end of track not right after Ended";
        }
        if ((n.event == EngineEvent::Error) == n.text.empty()) return at + "text of an end of track";
        break;
      case EngineEvent::Notice:
        if (state != S::Playing && state != S::Paused) return at + "notice outside a track";
        if (n.text.empty() || n.text.find('\n') != std::string::npos) return at + "notice text";
        break;
    }
    previous = &n;
  }
  return {};
}

inline bool OpenPrepareStart(PlaybackEngine& e, const std::string& path) {
  return e.SetInputFile(path) && e.Open() && e.Prepare() && e.Start();
}

}  // namespace tovira::testing
