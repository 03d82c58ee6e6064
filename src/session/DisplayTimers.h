#pragma once
// The ticks of everything in the player window that moves while a track plays: the elapsed time
// (10 ms), the position slider and live bit rate (500 ms, also while paused) and the spectrum
// (100 ms). The session switches them with the transport, so a stopped player wakes no one.

#include <QObject>

#include <memory>

namespace tovira {

class Clock;
class ClockTimer;

inline constexpr int kTimeTickMs = 10;
inline constexpr int kPositionTickMs = 500;
inline constexpr int kSpectrumTickMs = 100;

class DisplayTimers : public QObject {
  Q_OBJECT
 public:
  explicit DisplayTimers(Clock& clock, QObject* parent = nullptr);
  ~DisplayTimers() override;

  // `playing`: time and spectrum run; `active` (playing or paused): the position runs.
  void Set(bool playing, bool active);
  bool Idle() const;

 signals:
  void timeTick();
  void positionTick();
  void spectrumTick();

 private:
  std::unique_ptr<ClockTimer> time_, position_, spectrum_;
};

}  // namespace tovira
