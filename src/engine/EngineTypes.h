#pragma once
// The engine's vocabulary: its states, its last-error codes and the notifications it sends.
// Kept apart from PlaybackEngine.h so that a window can name them without the decoder's headers.

#include <cstdint>
#include <functional>
#include <string>

namespace tovira {

enum class EngineState : int32_t {
  Closed = 0,
  Opened = 1,    // input open; also the state after a requested stop
  Prepared = 2,  // first header read, decoder set up
  Ended = 3,     // the track ended by itself (TrackEnded) or because of an error (Error)
  Playing = 4,
  Paused = 5,
};

// The last-error code, set by a failing operation; the numbers are those of the stored format.
enum class EngineError : int32_t {
  None = 0,
  WrongState = 2,
  SetupFailed = 3,
  NoInput = 5,
  OutputFailed = 6,
};

enum class EngineEvent {
  StateChanged,  // an operation or the decode thread moved the state (in `state`)
  TrackEnded,    // the track played to its end (state Ended), sent as soon as the output ran dry
  Notice,        // a one-line message for the user; playing goes on (e.g. no sound device, silent)
  Error,         // the track ended because of an error (state Ended); `text` says why
  // The next track (PlaybackEngine::SetNextInput) began to be heard, right after the last sample
  // of the one before: `track` is its serial, which TrackSerial() now returns; `state` is
  // Playing or Paused. The track before it ended without a TrackEnded.
  TrackChanged,
};

struct EngineNotification {
  EngineEvent event = EngineEvent::StateChanged;
  EngineState state = EngineState::Closed;
  std::string text;     // Notice/Error: one sentence fit for a dialog or status line (the reason; the UI adds the file name)
  uint64_t track = 0;   // serial of the track the event belongs to (PlaybackEngine::TrackSerial)
};

using EngineNotify = std::function<void(const EngineNotification&)>;

}  // namespace tovira
