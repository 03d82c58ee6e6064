#pragma once
// A clock the test moves by hand: timers fire in time order as Advance passes their moments, on
// the test's own thread, so timer-driven behaviour is checked without sleeping.

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "session/Clock.h"

namespace tovira::test {

class FakeClock final : public Clock {
 public:
  using Ms = std::chrono::milliseconds;

  std::chrono::steady_clock::time_point Now() const override { return std::chrono::steady_clock::time_point(now_); }
  std::unique_ptr<ClockTimer> MakeTimer() override { return std::make_unique<Timer>(*this); }

  // Moves time on by `ms`, firing every timer due on the way (a repeating one as often as due).
  void Advance(Ms ms) {
    const Ms end = now_ + ms;
    for (;;) {
      Timer* next = nullptr;
      for (Timer* t : timers_) {
        if (t->active_ && t->due_ <= end && (!next || t->due_ < next->due_)) next = t;
      }
      if (!next) break;
      now_ = next->due_;
      if (next->repeat_) {
        next->due_ += next->interval_;
      } else {
        next->active_ = false;
      }
      if (next->onTimeout) next->onTimeout();
    }
    now_ = end;
  }
  // Timers running now.
  int Active() const {
    return static_cast<int>(std::count_if(timers_.begin(), timers_.end(), [](const Timer* t) { return t->active_; }));
  }

 private:
  class Timer final : public ClockTimer {
   public:
    explicit Timer(FakeClock& clock) : clock_(clock) { clock_.timers_.push_back(this); }
    ~Timer() override { std::erase(clock_.timers_, this); }
    void Start(Ms interval, bool repeat) override {
      interval_ = std::max(interval, Ms(1));
      repeat_ = repeat;
      due_ = clock_.now_ + interval_;
      active_ = true;
    }
    void Stop() override { active_ = false; }
    bool IsActive() const override { return active_; }

    FakeClock& clock_;
    Ms interval_{0}, due_{0};
    bool repeat_ = false, active_ = false;
  };

  Ms now_{0};
  std::vector<Timer*> timers_;
};

}  // namespace tovira::test
