#include "session/DisplayTimers.h"

#include <algorithm>

#include "session/Clock.h"

namespace tovira {

DisplayTimers::DisplayTimers(Clock& clock, QObject* parent) : QObject(parent), clock_(clock), timer_(clock.MakeTimer()) {
  timer_->onTimeout = [this] { OnFrame(); };
}

DisplayTimers::~DisplayTimers() = default;

std::chrono::steady_clock::time_point DisplayTimers::Now() const { return clock_.Now(); }

void DisplayTimers::SetPlaying(bool playing) {
  if (playing == playing_) return;
  playing_ = playing;
  // The slider and rate are shown at once by the state change; the next ones half a second on.
  if (playing) lastSlow_ = clock_.Now();
  Update();
}

void DisplayTimers::SetSettling(bool settling) {
  if (settling == settling_) return;
  settling_ = settling;
  Update();
}

void DisplayTimers::SetDisplayFrame(std::chrono::milliseconds frame) {
  frame = std::max(frame, std::chrono::milliseconds(1));
  const auto interval = frame * ((kTextFrame.count() + frame.count() - 1) / frame.count());
  if (interval == interval_) return;
  interval_ = interval;
  if (timer_->IsActive()) timer_->Start(interval_, true);
}

bool DisplayTimers::Idle() const { return !timer_->IsActive(); }

void DisplayTimers::Update() {
  const bool run = playing_ || settling_;
  if (run == timer_->IsActive()) return;
  if (run) {
    timer_->Start(interval_, true);
  } else {
    timer_->Stop();
  }
}

void DisplayTimers::OnFrame() {
  emit frame();
  if (playing_ && clock_.Now() - lastSlow_ >= kSlowTick) {
    lastSlow_ = clock_.Now();
    emit slowTick();
  }
}

}  // namespace tovira
