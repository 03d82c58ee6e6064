#include "ui/controls/ErrorLine.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QTimer>

namespace tovira {

ErrorLine::ErrorLine(QWidget* parent) : QLabel(parent) {
  setWordWrap(true);
  setStyleSheet(QStringLiteral(
      "QLabel { background: #fff3d4; color: #4a3200; border: 1px solid #d9a640; border-radius: 3px; padding: 1px 4px; }"));
  QFont f = font();
  f.setPointSize(7);
  setFont(f);
  hide();
  opacity_ = new QGraphicsOpacityEffect(this);
  setGraphicsEffect(opacity_);
  fade_ = new QPropertyAnimation(opacity_, "opacity", this);
  fade_->setDuration(600);
  fade_->setStartValue(1.0);
  fade_->setEndValue(0.0);
  connect(fade_, &QPropertyAnimation::finished, this, [this] {
    hide();
    clear();
  });
  stay_ = new QTimer(this);
  stay_->setSingleShot(true);
  connect(stay_, &QTimer::timeout, fade_, [this] { fade_->start(); });
}

void ErrorLine::Show(const QString& text, const QString& detail) {
  fade_->stop();
  opacity_->setOpacity(1.0);
  setText(text);
  setToolTip(detail);
  show();
  raise();
  stay_->start(stayMs_);
}

bool ErrorLine::Busy() const { return stay_->isActive() || fade_->state() == QAbstractAnimation::Running; }

}  // namespace tovira
