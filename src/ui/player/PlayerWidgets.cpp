#include "ui/player/PlayerWidgets.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include "ui/controls/Skin.h"

#include "session/PlaybackSession.h"

namespace tovira {

namespace {

class AccessibleTimeView final : public QAccessibleWidget {
 public:
  explicit AccessibleTimeView(ElapsedTimeView* view) : QAccessibleWidget(view, QAccessible::StaticText) {}
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return static_cast<const ElapsedTimeView*>(widget())->Text();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* TimeViewFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(ElapsedTimeView::staticMetaObject.className()) && object) {
    return new AccessibleTimeView(static_cast<ElapsedTimeView*>(object));
  }
  return nullptr;
}

}  // namespace

ElapsedTimeView::ElapsedTimeView(QWidget* parent) : QWidget(parent) {
  static const bool installed = (QAccessible::installFactory(&TimeViewFactory), true);
  (void)installed;
  setAccessibleDescription(tr("Elapsed time"));
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

bool AnnounceGate::Tell(bool changed, TimePoint now) {
  untold_ = untold_ || changed;
  if (!untold_ || (toldAt_ && now - *toldAt_ < interval_)) return false;
  toldAt_ = now;
  untold_ = false;
  return true;
}

void ElapsedTimeView::SetText(const QString& text, TimePoint now) {
  const bool changed = text != text_;
  if (changed) {
    text_ = text;
    update();
  }
  // Without a listener no event is made at all (a reader that comes later asks for the text).
  if (!QAccessible::isActive()) {
    gate_.Forget();
    return;
  }
  if (gate_.Tell(changed, now)) {
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
  }
}

void ElapsedTimeView::paintEvent(QPaintEvent*) {
  ++repaints_;
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Base));
  p.setPen(palette().color(QPalette::Text));
  p.setFont(font());
  p.drawText(rect(), Qt::AlignCenter, text_);
}

QPixmap StatusPixmap(StatusImage image, qreal dpr) {
  skin::Status status;
  switch (image) {
    case StatusImage::Playing:
      status = skin::Status::Playing;
      break;
    case StatusImage::Paused:
      status = skin::Status::Paused;
      break;
    case StatusImage::Stopped:
      status = skin::Status::Stopped;
      break;
    case StatusImage::EndOfPlaylist:
      status = skin::Status::EndOfPlaylist;
      break;
    default:
      return {};
  }
  return skin::Render(QString::fromLatin1(skin::StatusImage(status)), skin::kStatusSize, dpr);
}

}  // namespace tovira
