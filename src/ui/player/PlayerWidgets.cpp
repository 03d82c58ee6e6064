#include "ui/player/PlayerWidgets.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "ui/player/PlayerDialog.h"

namespace tovira {

ElapsedTimeView::ElapsedTimeView(QWidget* parent) : QWidget(parent) {
  // Paints every pixel of its rectangle, so an update never makes the window repaint beneath it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  QFont f(QStringLiteral("Arial Narrow"));
  f.setStyleHint(QFont::SansSerif);
  f.setStretch(QFont::SemiCondensed);
  f.setBold(true);
  f.setPointSize(15);
  setFont(f);
  text_ = QStringLiteral("00:00.00");
}

void ElapsedTimeView::resizeEvent(QResizeEvent*) {
  // 15 points where the narrow face is installed; smaller where a wider stand-in takes its place.
  QFont f = font();
  f.setPointSize(15);
  const QString widest = QStringLiteral("00:00.00");
  while (f.pointSize() > 6) {
    const QFontMetrics m(f);
    if (m.horizontalAdvance(widest) <= width() - 4 && m.height() <= height() + 4) break;
    f.setPointSize(f.pointSize() - 1);
  }
  setFont(f);
}

void ElapsedTimeView::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  update();
}

void ElapsedTimeView::paintEvent(QPaintEvent*) {
  ++repaints_;
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Base));
  p.setPen(palette().color(QPalette::Text));
  p.setFont(font());
  p.drawText(rect(), Qt::AlignCenter, text_);
}

void LevelsSink::SetLevels(const std::array<int32_t, 20>& levels) {
  if (levels == levels_) return;
  levels_ = levels;
  update();
}

void LevelsSink::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(10, 14, 22));
  const int n = static_cast<int>(levels_.size());
  const qreal w = static_cast<qreal>(width()) / n;
  for (int i = 0; i < n; ++i) {
    const qreal h = height() * std::min(255, std::max(0, levels_[static_cast<size_t>(i)])) / 255.0;
    p.fillRect(QRectF(i * w + 1, height() - h, w - 2, h), QColor(120, 230, 140));
  }
}

QPixmap StatusPixmap(StatusImage image) {
  if (image == StatusImage::None) return {};
  QPixmap pm(20, 15);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  const QColor lit(120, 230, 140);
  switch (image) {
    case StatusImage::Playing: {
      QPainterPath path;
      path.moveTo(6, 2);
      path.lineTo(16, 7.5);
      path.lineTo(6, 13);
      path.closeSubpath();
      p.fillPath(path, lit);
      break;
    }
    case StatusImage::Paused:
      p.setBrush(QColor(240, 200, 90));
      p.drawRect(QRectF(5, 2, 3.5, 11));
      p.drawRect(QRectF(11.5, 2, 3.5, 11));
      break;
    case StatusImage::Stopped:
      p.setBrush(QColor(230, 110, 100));
      p.drawRect(QRectF(5, 2.5, 10, 10));
      break;
    case StatusImage::EndOfPlaylist: {
      // A stop square behind a bar: nothing more to play.
      p.setBrush(QColor(150, 170, 220));
      p.drawRect(QRectF(3, 3, 9, 9));
      p.drawRect(QRectF(14, 2, 3, 11));
      break;
    }
    case StatusImage::None:
      break;
  }
  return pm;
}

QPixmap AppIconPixmap(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  QLinearGradient g(0, 0, 0, s);
  g.setColorAt(0, QColor(60, 90, 150));
  g.setColorAt(1, QColor(20, 30, 60));
  p.setBrush(g);
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.2, s * 0.2);
  // Five bars of a spectrum.
  const qreal heights[] = {0.35, 0.6, 0.8, 0.5, 0.3};
  const qreal w = s * 0.12;
  for (int i = 0; i < 5; ++i) {
    const qreal h = heights[i] * s * 0.7;
    p.setBrush(QColor(120, 230, 140));
    p.drawRect(QRectF(s * 0.14 + i * (w + s * 0.03), s * 0.85 - h, w, h));
  }
  return pm;
}

}  // namespace tovira
