#pragma once
// One QApplication for a GoogleTest executable of widget tests (the tests run on the offscreen
// platform, set by ctest's environment).

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

namespace tovira::test {

inline QApplication& QtApp() {
  static int argc = 1;
  static char name[] = "tovira-test";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

// Runs the event loop until `pred` holds or `ms` milliseconds pass; returns whether it held.
template <typename Pred>
bool ProcessEventsUntil(Pred pred, int ms = 30000) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

}  // namespace tovira::test
