#include "ui/controls/SkinImage.h"

#include <QPainter>

#include "ui/controls/Skin.h"

namespace tovira {

SkinImage::SkinImage(const QString& svg, QWidget* parent) : QWidget(parent) { SetImage(svg); }

void SkinImage::SetImage(const QString& svg) {
  if (svg == svg_) return;
  svg_ = svg;
  update();
}

QSize SkinImage::sizeHint() const {
  if (svg_.isEmpty()) return {16, 16};
  const QRectF whole = skin::SkinCache::Instance().ViewBox(svg_);
  return whole.isEmpty() ? QSize(16, 16) : whole.size().toSize();
}

void SkinImage::paintEvent(QPaintEvent*) {
  if (svg_.isEmpty()) return;
  const QPixmap pixmap = skin::Render(svg_, size(), devicePixelRatioF());
  QPainter painter(this);
  if (!pixmap.isNull()) painter.drawPixmap(0, 0, pixmap);
}

}  // namespace tovira
