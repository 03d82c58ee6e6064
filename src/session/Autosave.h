#pragma once
// Keeps the default playlist on disk: a save follows every change of the playlist, from wherever
// it comes (the player, the playlist window, drops, hand-offs, folder scans), within the delay,
// and one more at close. Changes that come while a save is pending join it, so a steady stream of
// changes (a long add) is still written every delay. The file is replaced whole, so a kill at any
// moment leaves the old list or the new one.

#include <chrono>
#include <memory>

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
  // Writes now what is not yet written (at close).
  void Flush();
  bool Pending() const;
  int Saves() const { return saves_; }

 private:
  void Save();

  PlaylistModel& playlist_;
  std::chrono::milliseconds delay_;
  std::unique_ptr<ClockTimer> timer_;
  int saves_ = 0;
};

}  // namespace tovira
