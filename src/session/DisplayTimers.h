#pragma once
// The one display tick of the player window: every frame the elapsed time, the spectrum's feed and
// the bars' fall are brought up to date, and every half second the position slider and the live
// bit rate. It runs while a track plays, or while a face still has something settling (bars
// falling after a pause or a stop); otherwise no timer runs at all.

#include <QObject>

#include <chrono>
#include <memory>

namespace tovira {

class Clock;
class ClockTimer;

// The time text is drawn about 30 times a second, on whole frames of the display: its hundredths
// still run, and each frame wakes the program, which on a desktop costs more than the drawing.
inline constexpr std::chrono::milliseconds kTextFrame{30};
inline constexpr std::chrono::milliseconds kSlowTick{500};       // position slider and live bit rate

class DisplayTimers : public QObject {
  Q_OBJECT
 public:
  explicit DisplayTimers(Clock& clock, QObject* parent = nullptr);
  ~DisplayTimers() override;

  // The session: whether a track plays now.
  void SetPlaying(bool playing);
  // A face: something it shows still moves although nothing plays.
  void SetSettling(bool settling);
  // The display's own frame time. A tick comes every so many whole frames that it is at least
  // kTextFrame apart.
  void SetDisplayFrame(std::chrono::milliseconds frame);
  std::chrono::milliseconds FrameInterval() const { return interval_; }
  bool Idle() const;
  std::chrono::steady_clock::time_point Now() const;

 signals:
  void frame();
  // Every kSlowTick of playing, on a frame.
  void slowTick();

 private:
  void Update();
  void OnFrame();

  Clock& clock_;
  std::unique_ptr<ClockTimer> timer_;
  std::chrono::milliseconds interval_{34};
  bool playing_ = false;
  bool settling_ = false;
  std::chrono::steady_clock::time_point lastSlow_{};
};

}  // namespace tovira
