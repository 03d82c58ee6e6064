#include "session/Autosave.h"

#include "playlist/PlaylistModel.h"
#include "session/Clock.h"

namespace tovira {

Autosave::Autosave(PlaylistModel& playlist, Clock& clock, std::chrono::milliseconds delay)
    : playlist_(playlist), delay_(delay), timer_(clock.MakeTimer()) {
  timer_->onTimeout = [this] { Save(); };
}

Autosave::~Autosave() = default;

void Autosave::NoteChange() {
  // Not restarted by later changes: the first one's age bounds what a kill can lose.
  if (!timer_->IsActive()) timer_->Start(delay_, false);
}

bool Autosave::Pending() const { return timer_->IsActive() || playlist_.HasUnsavedChanges(); }

void Autosave::Save() {
  if (!playlist_.HasUnsavedChanges()) return;
  ++saves_;
  std::string reason;
  if (playlist_.SaveDefaultPlaylist(&reason)) {
    failing_ = false;
    reason_.clear();
    return;
  }
  // A failed write is tried again after another delay; the list stays in memory meanwhile. No
  // reason: nothing was written by design (the old file could not be set aside).
  timer_->Start(delay_, false);
  if (reason.empty()) return;
  const bool told = failing_;
  failing_ = true;
  reason_ = reason;
  if (!told && onFailure) onFailure(reason_);
}

bool Autosave::Flush() {
  timer_->Stop();
  Save();
  timer_->Stop();
  return !failing_;
}

}  // namespace tovira
