#include "ui/controls/Skin.h"

#include <QCoreApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <QThread>

// The resource initialiser must be called from the global namespace; a static library's
// resources are otherwise dropped by the linker.
static void InitSkinResources() { Q_INIT_RESOURCE(skin); }

namespace tovira::skin {
void InitResources() {
  static const bool done = (InitSkinResources(), true);
  (void)done;
}

void PaintFocusFrame(QPainter& painter, const QRect& rect) {
  if (rect.width() < 3 || rect.height() < 3) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::white, 1));
  painter.drawRect(rect.adjusted(1, 1, -2, -2));
  painter.setPen(QPen(kFocusFrame, 1));
  painter.drawRect(rect.adjusted(0, 0, -1, -1));
  painter.restore();
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

namespace {
// Enough for every sheet the program names, with room for images shown by path.
constexpr int kMaxSheets = 64;
}  // namespace

size_t qHash(const SkinCache::Key& key, size_t seed) {
  return qHashMulti(seed, key.svg, key.source.x(), key.source.y(), key.source.width(), key.source.height(),
                    key.size.width(), key.size.height(), key.dpr);
}

SkinCache& SkinCache::Instance() {
  static SkinCache cache;
  // Pixmaps belong to the application object: let them go with it, not at the program's exit.
  static const bool hooked = (qAddPostRoutine([] {
                                cache.pictures_.clear();
                                cache.sheets_.clear();
                              }),
                              true);
  (void)hooked;
  return cache;
}

SkinCache::SkinCache(qsizetype maxBytes) : sheets_(kMaxSheets), pictures_(maxBytes) {}

SkinCache::~SkinCache() = default;

QSvgRenderer* SkinCache::Sheet(const QString& svg) {
  Q_ASSERT(!qApp || QThread::currentThread() == qApp->thread());
  InitResources();
  QSvgRenderer* renderer = sheets_.object(svg);
  if (!renderer) {
    // A broken sheet is kept too, so that it is not read again on every paint.
    renderer = new QSvgRenderer(svg);
    sheets_.insert(svg, renderer, 1);
  }
  return renderer->isValid() ? renderer : nullptr;
}

QRectF SkinCache::ViewBox(const QString& svg) {
  const QSvgRenderer* renderer = Sheet(svg);
  return renderer ? renderer->viewBoxF() : QRectF();
}

QPixmap SkinCache::Render(const QString& svg, const QRectF& source, const QSize& size, qreal dpr) {
  if (size.isEmpty() || dpr <= 0) return {};
  Key key{svg, source, size, dpr};
  if (const QPixmap* cached = pictures_.object(key)) return *cached;
  QSvgRenderer* renderer = Sheet(svg);
  if (!renderer) return {};
  // The renderer is shared: show the part asked for, then put its own view box back.
  const QRectF whole = renderer->viewBoxF();
  renderer->setViewBox(source);
  QPixmap pixmap((QSizeF(size) * dpr).toSize());
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  }
  renderer->setViewBox(whole);
  const qsizetype bytes = qsizetype(pixmap.width()) * pixmap.height() * pixmap.depth() / 8;
  pictures_.insert(key, new QPixmap(pixmap), bytes);  // one larger than the budget is not kept
  return pixmap;
}

QPixmap SkinCache::Render(const QString& svg, const QSize& size, qreal dpr) {
  const QRectF whole = ViewBox(svg);
  return whole.isEmpty() ? QPixmap() : Render(svg, whole, size, dpr);
}

void SkinCache::Paint(QPainter& painter, const QString& svg, const QRectF& target) {
  if (QSvgRenderer* renderer = Sheet(svg)) renderer->render(&painter, target);
}

QPixmap Render(const QString& svg, const QRectF& source, const QSize& size, qreal dpr) {
  return SkinCache::Instance().Render(svg, source, size, dpr);
}

QPixmap Render(const QString& svg, const QSize& size, qreal dpr) {
  return SkinCache::Instance().Render(svg, size, dpr);
}

void Paint(QPainter& painter, const QString& svg, const QRectF& target) {
  SkinCache::Instance().Paint(painter, svg, target);
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
