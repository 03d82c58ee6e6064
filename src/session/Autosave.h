#pragma once
// Keeps the default playlist on disk: a save follows every change of the playlist, from wherever
// it comes (the player, the playlist window, drops, hand-offs, folder scans), within the delay,
// and one more at close. Changes that come while a save is pending join it, so a steady stream of
// changes (a long add) is still written every delay. The file is replaced whole, so a kill at any
// moment leaves the old list or the new one. A save that fails keeps the list in memory and is
// tried again after the delay and at close; the first failure of a run is told, not every retry.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tovira {

class Clock;
class ClockTimer;
class PlaylistModel;

class Autosave {
 public:
  Autosave(PlaylistModel& playlist, Clock& clock, std::chrono::milliseconds delay = std::chrono::milliseconds(1000));
  ~Autosave();

  // The playlist changed (its `changed` callback).
  void NoteChange();
  // Writes now what is not yet written (at close). False when that write failed.
  bool Flush();
  bool Pending() const;
  int Saves() const { return saves_; }
  // Whether the last write failed (nothing written since succeeded), and why in words.
  bool Failing() const { return failing_; }
  const std::string& FailureReason() const { return reason_; }

  // The first failure after a success (or since the start), with its reason; a retry that fails
  // again is not told, a success ends the run.
  std::function<void(const std::string& reason)> onFailure;

 private:
  void Save();

  PlaylistModel& playlist_;
  std::chrono::milliseconds delay_;
  std::unique_ptr<ClockTimer> timer_;
  int saves_ = 0;
  bool failing_ = false;
  std::string reason_;
};

}  // namespace tovira
