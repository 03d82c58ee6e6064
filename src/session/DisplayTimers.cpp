#include "session/DisplayTimers.h"

#include <chrono>

#include "session/Clock.h"

namespace tovira {

namespace {

void Switch(ClockTimer& timer, bool on, int ms) {
  if (on == timer.IsActive()) return;
  if (on) {
    timer.Start(std::chrono::milliseconds(ms), true);
  } else {
    timer.Stop();
  }
}

}  // namespace

DisplayTimers::DisplayTimers(Clock& clock, QObject* parent)
    : QObject(parent), time_(clock.MakeTimer()), position_(clock.MakeTimer()), spectrum_(clock.MakeTimer()) {
  time_->onTimeout = [this] { emit timeTick(); };
  position_->onTimeout = [this] { emit positionTick(); };
  spectrum_->onTimeout = [this] { emit spectrumTick(); };
}

DisplayTimers::~DisplayTimers() = default;

void DisplayTimers::Set(bool playing, bool active) {
  Switch(*time_, playing, kTimeTickMs);
  Switch(*position_, active, kPositionTickMs);
  Switch(*spectrum_, playing, kSpectrumTickMs);
}

bool DisplayTimers::Idle() const { return !time_->IsActive() && !position_->IsActive() && !spectrum_->IsActive(); }

}  // namespace tovira
