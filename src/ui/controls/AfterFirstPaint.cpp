#include "ui/controls/AfterFirstPaint.h"

#include <QEvent>
#include <QWidget>

namespace tovira {

AfterFirstPaint::AfterFirstPaint(QWidget& window, std::function<void()> then, std::chrono::milliseconds latest)
    : window_(window), then_(std::move(then)) {
  window_.installEventFilter(this);
  latest_.setSingleShot(true);
  connect(&latest_, &QTimer::timeout, this, &AfterFirstPaint::Run);
  latest_.start(latest);
}

bool AfterFirstPaint::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &window_ && event->type() == QEvent::Paint) {
    window_.removeEventFilter(this);
    // Queued: the paint is still to be flushed to the screen when this returns.
    QMetaObject::invokeMethod(this, &AfterFirstPaint::Run, Qt::QueuedConnection);
  }
  return false;
}

void AfterFirstPaint::Run() {
  if (!then_) return;
  window_.removeEventFilter(this);
  latest_.stop();
  // Taken out first: what runs may open a modal loop, in which a second call must find nothing.
  const std::function<void()> then = std::move(then_);
  then_ = nullptr;
  then();
}

}  // namespace tovira
