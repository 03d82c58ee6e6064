#pragma once
// Keeps a companion window docked to the main window: below it (the playlist) or beside it (the
// equaliser). Showing slides the window out from behind the main window, hiding slides it back
// and then hides it: a first pause of 500 ms, then one step of a 25th of the window's size every
// 10 ms. While shown, the window follows the main window when that moves, and is hidden and shown
// again with it.
//
// Where the windowing system does not let a program place its windows (Wayland without
// XWayland), the window is shown and hidden at once and left where the compositor puts it.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QTimer>
#include <QWidget>

namespace tovira {

enum class DockSide { Below, Beside };

inline constexpr int kSlideFirstDelayMs = 500;
inline constexpr int kSlideStepMs = 10;
inline constexpr int kSlideSteps = 25;

// Where the window sits when docked to a main window whose frame is `mainFrame`.
QPoint DockedPosition(DockSide side, const QRect& mainFrame);

// The window's position at step `counter` (1, 2, ...) of a slide; nullopt-like `done` once the
// slide has gone its whole way (the window then sits docked, or is hidden).
struct SlideStep {
  QPoint position;
  bool done = false;
};
SlideStep SlidePosition(DockSide side, const QRect& mainFrame, const QSize& size, int counter, bool hiding);

class WindowDock : public QObject {
  Q_OBJECT
 public:
  // `window` is docked to `main`; both must outlive the dock or be its parents.
  WindowDock(QWidget* window, QWidget* main, DockSide side, QObject* parent = nullptr);

  // Slides the window out (show) or back (hide). A new request during a slide starts over in
  // the new direction after the first pause.
  void StartSlide(bool show);
  // Whether the window is meant to be shown (the last request).
  bool Shown() const { return shown_; }
  bool Sliding() const { return timer_.isActive(); }
  // One step of the slide, as the timer runs it (tests may call it).
  void Step();
  // Places the shown window at its docked position.
  void Dock();
  // Shows the window docked at once, without a slide (the main window's first appearance), or
  // hides it at once.
  void SetShownNow(bool show);
  // Gives the window the keys because the user asked for it: not taken back as after a show.
  void Activate();
  // False where windows cannot be placed by the program.
  static bool CanPlaceWindows();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QRect MainFrame() const;
  void ShowBehindMain();
  void KeepMainInFront();

  QPointer<QWidget> window_;
  QPointer<QWidget> main_;
  DockSide side_;
  bool shown_ = false;
  bool hiddenWithMain_ = false;
  bool justShown_ = false;
  int counter_ = 0;
  QTimer timer_;
};

// Where a session runs under Wayland and XWayland is there, asks Qt for the X11 platform so that
// the companion windows can be placed. Call before the QApplication is made; an explicit
// QT_QPA_PLATFORM is left alone.
void PreferPlaceableWindows();

}  // namespace tovira
