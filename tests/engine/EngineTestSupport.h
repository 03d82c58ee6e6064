#pragma once
// Shared pieces of the engine tests: fixture paths, a notification log to wait on, an engine on a
// test device, and the state machine's rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Eventually.h"
#include "decoder/MpegDecoder.h"
#include "decoder/StreamProbe.h"
#include "engine/PlaybackEngine.h"
#include "output/ManualDevice.h"

namespace tovira::testing {

using test::Eventually;
using test::kPatience;
using E = EngineEvent;
using S = EngineState;

inline std::string Fixture(const std::string& name) { return std::string(TOVIRA_FIXTURE_DIR) + "/" + name; }

class EventLog {
 public:
  EngineNotify Callback() {
    return [this](const EngineNotification& n) {
      std::lock_guard lock(mutex_);
      events_.push_back(n);
    };
  }
  std::vector<EngineNotification> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  size_t Count(E e) const {
    const auto events = Events();
    return static_cast<size_t>(std::count_if(events.begin(), events.end(), [&](const auto& n) { return n.event == e; }));
  }
  // Waits until `count` events of kind `e` arrived; false after kPatience.
  bool WaitFor(E e, size_t count = 1) const { return Eventually([&] { return Count(e) >= count; }); }
  // Waits until the move to Closed (of `track`, if given) is the last thing told: an operation
  // may leave the telling to the notifier thread.
  bool WaitForClosed(uint64_t track = 0) const {
    return Eventually([&] {
      const auto events = Events();
      return !events.empty() && events.back().state == S::Closed && (track == 0 || events.back().track == track);
    });
  }

 private:
  mutable std::mutex mutex_;
  std::vector<EngineNotification> events_;
};

// An engine playing into `device`, telling `log` (which outlives it).
template <typename Device = ManualDevice>
struct Rig {
  EventLog log;
  Device& device;
  PlaybackEngine engine;
  explicit Rig(std::unique_ptr<Device> d = std::make_unique<Device>(), bool fallback = false)
      : device(*d), engine(std::move(d), fallback) {
    engine.SetNotifyWindow(log.Callback());
  }
  // Plays a manual device on a thread of its own until the end of the track is told.
  bool PlayToTheEnd() {
    std::atomic<bool> quit{false};
    std::thread pump([&] {
      while (!quit) {
        if (device.Play(16384).empty()) std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    });
    const bool ended = log.WaitFor(E::TrackEnded);
    quit = true;
    pump.join();
    return ended;
  }
};

inline std::vector<int16_t> DecodeReference(const std::string& path) {
  VectorPcmSink sink;
  std::string error;
  EXPECT_TRUE(MpegDecoder::DecodeFile(path, sink, &error)) << error;
  return sink.pcm;
}

// What the player is to play of a file: for Layer III its whole decode without the information
// frame, the decoder's 529 samples and the delay and padding the encoder states (worked out here
// from the header fields, not by the engine's code).
inline std::vector<int16_t> SoundOf(const std::string& path) {
  std::vector<int16_t> pcm = DecodeReference(path);
  StreamSummary s;
  if (ProbeStream(path, s) != ProbeStatus::Ok || s.header.layer != 3) return pcm;
  const size_t perFrame = static_cast<size_t>(s.header.SamplesPerFrame());
  size_t begin = 529 + ((s.hasXing || s.hasVbri) ? perFrame : 0);
  size_t length = pcm.size() / 2;
  if (s.hasXing && s.xing.encoderDelay >= 0) {
    begin += static_cast<size_t>(s.xing.encoderDelay);
    length = static_cast<size_t>(s.xing.frameCount) * perFrame - s.xing.encoderDelay - s.xing.encoderPadding;
  }
  begin = std::min(begin, pcm.size() / 2);
  length = std::min(length, pcm.size() / 2 - begin);
  return std::vector<int16_t>(pcm.begin() + 2 * begin, pcm.begin() + 2 * (begin + length));
}

inline bool OpenPrepareStart(PlaybackEngine& e, const std::string& path) {
  return e.SetInputFile(path) && e.Open() && e.Prepare() && e.Start();
}

// Checks a recorded run of notifications against the transport's state machine: every state
// change is a move the machine allows, an end of track (TrackEnded or Error) comes right after
// the move to Ended of the same track, serials never go back and a new one starts only at Open or
// with a TrackChanged while a track plays.
// Returns the first fault, or an empty string.
inline std::string SequenceFault(const std::vector<EngineNotification>& events) {
  // The moves the transport allows, from -> to.
  static const std::set<std::pair<S, S>> kMoves = {
      {S::Closed, S::Opened},   {S::Playing, S::Opened}, {S::Paused, S::Opened},    {S::Ended, S::Opened},
      {S::Opened, S::Prepared}, {S::Ended, S::Prepared}, {S::Prepared, S::Playing}, {S::Playing, S::Playing},
      {S::Paused, S::Playing},  {S::Playing, S::Paused}, {S::Paused, S::Paused},    {S::Playing, S::Ended},
      {S::Paused, S::Ended},    {S::Opened, S::Closed},  {S::Prepared, S::Closed}};
  S state = S::Closed;
  uint64_t serial = 0;
  for (size_t i = 0; i < events.size(); ++i) {
    const EngineNotification& n = events[i];
    const std::string at = "event " + std::to_string(i) + ": ";
    if (n.track < serial) return at + "serial went back";
    if (n.track > serial) {
      const bool open = n.event == E::StateChanged && n.state == S::Opened;
      const bool joined = n.event == E::TrackChanged && (state == S::Playing || state == S::Paused);
      if (!open && !joined) return at + "new serial without an Open";
      serial = n.track;
    } else if (n.event == E::TrackChanged) {
      return at + "track change to the same serial";
    }
    switch (n.event) {
      case E::StateChanged:
        if (!kMoves.contains({state, n.state})) {
          return at + "move " + std::to_string(static_cast<int>(state)) + " -> " + std::to_string(static_cast<int>(n.state));
        }
        state = n.state;
        break;
      case E::TrackEnded:
      case E::Error:
        if (i == 0 || events[i - 1].event != E::StateChanged || events[i - 1].state != S::Ended ||
            events[i - 1].track != n.track || n.state != S::Ended) {
          return at + "end of track not right after Ended";
        }
        if ((n.event == E::Error) == n.text.empty()) return at + "text of an end of track";
        break;
      case E::Notice:
      case E::TrackChanged:
        if (state != S::Playing && state != S::Paused) return at + "notice or track change outside a track";
        break;
    }
  }
  return {};
}

// One sentence for a dialog or a status line.
inline bool IsSentence(const std::string& text) {
  return !text.empty() && std::isupper(static_cast<unsigned char>(text.front())) && text.back() == '.' &&
         text.find('\n') == std::string::npos;
}

}  // namespace tovira::testing
