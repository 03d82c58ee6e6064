#include "ui/playlist/WindowDock.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWindow>

#include <algorithm>

namespace tovira {

QPoint DockedPosition(DockSide side, const QRect& mainFrame) {
  if (side == DockSide::Below) return {mainFrame.left(), mainFrame.top() + mainFrame.height()};
  return {mainFrame.left() + mainFrame.width(), mainFrame.top()};
}

SlideStep SlidePosition(DockSide side, const QRect& mainFrame, const QSize& size, int counter, bool hiding) {
  const int extent = side == DockSide::Below ? size.height() : size.width();
  const int step = std::max(1, extent / kSlideSteps);
  const int travelled = counter * step;
  SlideStep s;
  // The last step lands exactly on the docked place (or fully behind the main window), however
  // the size divides.
  s.done = travelled + step > extent;
  const int offset = s.done ? extent : travelled;
  const QPoint docked = DockedPosition(side, mainFrame);
  const int out = hiding ? extent - offset : offset;  // how far the window stands out
  if (side == DockSide::Below) {
    s.position = QPoint(docked.x(), docked.y() - extent + out);
  } else {
    s.position = QPoint(docked.x() - extent + out, docked.y());
  }
  return s;
}

bool WindowDock::CanPlaceWindows() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void PreferPlaceableWindows() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
  if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY")) return;
  qputenv("QT_QPA_PLATFORM", "xcb");
}

WindowDock::WindowDock(QWidget* window, QWidget* main, DockSide side, QObject* parent)
    : QObject(parent), window_(window), main_(main), side_(side) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &WindowDock::Step);
  window_->setAttribute(Qt::WA_ShowWithoutActivating);
  if (main_) main_->installEventFilter(this);
  window_->installEventFilter(this);
}

QRect WindowDock::MainFrame() const { return main_ ? main_->frameGeometry() : QRect(); }

void WindowDock::StartSlide(bool show) {
  shown_ = show;
  hiddenWithMain_ = false;
  counter_ = 1;
  if (!CanPlaceWindows() || !main_) {
    timer_.stop();
    window_->setVisible(show);
    return;
  }
  timer_.start(kSlideFirstDelayMs);
}

void WindowDock::Step() {
  if (!window_ || !main_) return;
  const SlideStep s = SlidePosition(side_, MainFrame(), window_->frameGeometry().size(), counter_, !shown_);
  window_->move(s.position);
  if (shown_ && !window_->isVisible()) {
    window_->show();
    KeepMainInFront();  // the window slides out from behind the main window
  }
  if (s.done) {
    timer_.stop();
    if (!shown_) window_->hide();
    return;
  }
  ++counter_;
  timer_.start(kSlideStepMs);
}

void WindowDock::Dock() {
  if (window_ && main_ && shown_ && !timer_.isActive() && CanPlaceWindows()) {
    window_->move(DockedPosition(side_, MainFrame()));
  }
}

void WindowDock::SetShownNow(bool show) {
  timer_.stop();
  shown_ = show;
  hiddenWithMain_ = false;
  if (!window_) return;
  if (!show) {
    window_->hide();
    return;
  }
  ShowBehindMain();
}

void WindowDock::ShowBehindMain() {
  if (main_ && CanPlaceWindows()) window_->move(DockedPosition(side_, MainFrame()));
  window_->show();
  KeepMainInFront();
  // A window manager frames the window after it is shown; placed again once the frame is known.
  QTimer::singleShot(kSlideFirstDelayMs, this, &WindowDock::Dock);
}

void WindowDock::Activate() {
  justShown_ = false;
  window_->raise();
  window_->activateWindow();
}

void WindowDock::KeepMainInFront() {
  if (!main_) return;
  // A window manager stacks a window it maps on top, and may give it the keys: the main window goes
  // back above it, and takes the keys back the first time the new window is given them.
  main_->raise();
  justShown_ = true;
}

bool WindowDock::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && main_ && justShown_) {
    switch (event->type()) {
      case QEvent::WindowActivate:
        // The keys the window manager gave a window just shown go back to the main window.
        justShown_ = false;
        main_->activateWindow();
        main_->raise();
        break;
      default:
        break;
    }
  }
  if (watched == main_ && window_) {
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
        Dock();
        break;
      case QEvent::Hide:
        if (shown_ && window_->isVisible()) {
          hiddenWithMain_ = true;
          window_->hide();
        }
        break;
      case QEvent::Show:
        if (hiddenWithMain_ && shown_) {
          hiddenWithMain_ = false;
          ShowBehindMain();
        }
        break;
      case QEvent::WindowStateChange:
        if (main_->isMinimized() && shown_ && window_->isVisible()) {
          hiddenWithMain_ = true;
          window_->hide();
        } else if (!main_->isMinimized() && hiddenWithMain_ && shown_) {
          hiddenWithMain_ = false;
          ShowBehindMain();
        }
        break;
      default:
        break;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tovira
