#pragma once
// Time for the session and the display: what the time is and timers that fire later. The program
// runs on the Qt event loop's timers; tests drive a fake clock by hand, so nothing in them sleeps.

#include <chrono>
#include <functional>
#include <memory>

namespace tovira {

class ClockTimer {
 public:
  virtual ~ClockTimer() = default;
  // Fires `OnTimeout` after `interval`, then every `interval` when `repeat`; a running timer
  // starts over.
  virtual void Start(std::chrono::milliseconds interval, bool repeat) = 0;
  virtual void Stop() = 0;
  virtual bool IsActive() const = 0;

  std::function<void()> onTimeout;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::chrono::steady_clock::time_point Now() const = 0;
  // Timers run on the thread that owns the clock (the UI thread in the program).
  virtual std::unique_ptr<ClockTimer> MakeTimer() = 0;
};

// The event loop's timers and the steady clock.
class EventLoopClock final : public Clock {
 public:
  std::chrono::steady_clock::time_point Now() const override { return std::chrono::steady_clock::now(); }
  std::unique_ptr<ClockTimer> MakeTimer() override;
};

}  // namespace tovira
