#include "ui/controls/Skin.h"

#include <QPainter>
#include <QSvgRenderer>

// The resource initialiser must be called from the global namespace; a static library's
// resources are otherwise dropped by the linker.
static void InitSkinResources() { Q_INIT_RESOURCE(skin); }

namespace tovira::skin {
void InitResources() {
  static const bool done = (InitSkinResources(), true);
  (void)done;
}

const char* StatusImage(Status status) {
  switch (status) {
    case Status::Playing: return ":/skin/status-play.svg";
    case Status::Paused: return ":/skin/status-pause.svg";
    case Status::Stopped: return ":/skin/status-stop.svg";
    case Status::EndOfPlaylist: return ":/skin/status-end.svg";
  }
  return ":/skin/status-stop.svg";
}

QPixmap Render(const QString& svg, const QRectF& source, const QSize& size, qreal dpr) {
  InitResources();
  if (size.isEmpty() || dpr <= 0) return {};
  QSvgRenderer renderer(svg);
  if (!renderer.isValid()) return {};
  renderer.setViewBox(source);
  QPixmap pixmap((QSizeF(size) * dpr).toSize());
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  return pixmap;
}

QPixmap Render(const QString& svg, const QSize& size, qreal dpr) {
  InitResources();
  QSvgRenderer renderer(svg);
  if (!renderer.isValid()) return {};
  return Render(svg, renderer.viewBoxF(), size, dpr);
}

void Paint(QPainter& painter, const QString& svg, const QRectF& target) {
  InitResources();
  QSvgRenderer renderer(svg);
  if (renderer.isValid()) renderer.render(&painter, target);
}

QIcon AppIcon() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    const QPixmap pixmap = Render(QString::fromLatin1(kAppIcon), QSize(side, side), 1.0);
    if (!pixmap.isNull()) icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace tovira::skin
