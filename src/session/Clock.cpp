#include "session/Clock.h"

#include <QTimer>

namespace tovira {

namespace {

class EventLoopTimer final : public ClockTimer {
 public:
  EventLoopTimer() {
    // Display ticks of 10 ms need the precise kind; the coarse one may be 5 % late.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (onTimeout) onTimeout();
    });
  }
  void Start(std::chrono::milliseconds interval, bool repeat) override {
    timer_.setSingleShot(!repeat);
    timer_.start(interval);
  }
  void Stop() override { timer_.stop(); }
  bool IsActive() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};

}  // namespace

std::unique_ptr<ClockTimer> EventLoopClock::MakeTimer() { return std::make_unique<EventLoopTimer>(); }

}  // namespace tovira
