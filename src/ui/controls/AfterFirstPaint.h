#pragma once
// Runs a piece of start-up once a window has been painted for the first time, so that what the
// window does not need to be seen does not hold back its first frame. A window that is never
// painted (started minimised, on another desktop) still gets it, after kLatest.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class QWidget;

namespace tovira {

class AfterFirstPaint : public QObject {
  Q_OBJECT
 public:
  static constexpr std::chrono::milliseconds kLatest{500};

  AfterFirstPaint(QWidget& window, std::function<void()> then, std::chrono::milliseconds latest = kLatest);
  bool Done() const { return !then_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Run();

  QWidget& window_;
  std::function<void()> then_;
  QTimer latest_;
};

}  // namespace tovira
