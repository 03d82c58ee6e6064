#include "ui/controls/SkinImage.h"

#include <QPainter>
#include <QSvgRenderer>

#include "ui/controls/Skin.h"

namespace tovira {

SkinImage::SkinImage(const QString& svg, QWidget* parent) : QWidget(parent) { SetImage(svg); }

void SkinImage::SetImage(const QString& svg) {
  if (svg == svg_) return;
  svg_ = svg;
  cache_ = {};
  update();
}

QSize SkinImage::sizeHint() const {
  if (svg_.isEmpty()) return {16, 16};
  skin::InitResources();
  const QSvgRenderer renderer(svg_);
  return renderer.isValid() ? renderer.viewBox().size() : QSize(16, 16);
}

void SkinImage::paintEvent(QPaintEvent*) {
  if (svg_.isEmpty()) return;
  const qreal ratio = devicePixelRatioF();
  if (cache_.isNull() || cacheRatio_ != ratio || cache_.deviceIndependentSize().toSize() != size()) {
    cache_ = skin::Render(svg_, size(), ratio);
    cacheRatio_ = ratio;
  }
  QPainter painter(this);
  if (!cache_.isNull()) painter.drawPixmap(0, 0, cache_);
}

}  // namespace tovira
