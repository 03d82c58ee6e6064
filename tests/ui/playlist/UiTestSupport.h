#pragma once
// One QApplication for a test executable, and a temporary folder tree.

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <filesystem>
#include <fstream>
#include <string>

namespace tovira::test {

// The test main made the application before any test runs.
inline QApplication& App() { return *qApp; }

// Runs the event loop until `done` holds or `ms` pass; returns `done()`.
template <class Pred>
bool PumpUntil(Pred done, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

inline void Touch(const std::filesystem::path& p, const std::string& content = "x") {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p) << content;
}

struct TempDir {
  std::filesystem::path path;
  TempDir() {
    char tmpl[] = "/tmp/tovira-ui-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

}  // namespace tovira::test
