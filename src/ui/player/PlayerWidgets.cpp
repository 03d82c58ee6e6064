#include "ui/player/PlayerWidgets.h"

#include <algorithm>
#include <cmath>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFont>
#include <QFontMetrics>
#include <QPaintEvent>
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
  glyphs_.clear();  // drawn for the old height
  left_.reset();
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
    // Of a running time only the last digits change: only they are drawn again.
    if (text.size() == text_.size()) {
      // Characters of another width move the rest: then all of it.
      QRect dirty;
      bool inPlace = true;
      for (int i = 0; i < text.size(); ++i) {
        if (text[i] == text_[i]) continue;
        inPlace = inPlace && Advance(text[i]) == Advance(text_[i]);
        dirty |= CharacterRect(i);
      }
      text_ = text;
      if (inPlace) {
        update(dirty);
      } else {
        left_.reset();
        update();
      }
    } else {
      text_ = text;
      left_.reset();
      update();
    }
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

const ElapsedTimeView::Glyph& ElapsedTimeView::GlyphOf(QChar c, int phase) const {
  const qreal dpr = devicePixelRatioF();
  const uint32_t key = static_cast<uint32_t>(c.unicode()) * kPhases + static_cast<uint32_t>(phase);
  auto found = glyphs_.find(key);
  if (found != glyphs_.end() && found->picture.devicePixelRatio() == dpr) return *found;
  const QFontMetricsF metrics(font());
  Glyph g;
  g.advance = metrics.horizontalAdvance(c);
  // A margin on each side for a glyph that reaches past its advance; transparent, so that a
  // neighbour's overhang is not covered.
  const int margin = Margin();
  QPixmap picture((QSizeF(g.advance + 2 * margin + 1, height()) * dpr).toSize());
  picture.setDevicePixelRatio(dpr);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setFont(font());
  p.setPen(palette().color(QPalette::Text));
  p.drawText(QPointF(margin + static_cast<qreal>(phase) / kPhases, (height() - metrics.height()) / 2.0 + metrics.ascent()),
             QString(c));
  p.end();
  g.picture = picture;
  return *glyphs_.insert(key, g);
}

int ElapsedTimeView::Margin() const { return std::max(2, QFontMetrics(font()).height() / 4); }

qreal ElapsedTimeView::TextLeft() const {
  // Centred as drawText centres it, on the text's exact width.
  if (!left_) left_ = (width() - QFontMetricsF(font()).horizontalAdvance(text_)) / 2.0;
  return *left_;
}

qreal ElapsedTimeView::CharacterX(int index) const {
  qreal x = TextLeft();
  for (int i = 0; i < index && i < text_.size(); ++i) x += Advance(text_[i]);
  return x;
}

ElapsedTimeView::Placed ElapsedTimeView::PlaceAt(qreal x, QChar c) const {
  // To the nearest quarter pixel: the whole pixels place the picture, the rest picks its phase.
  const int quarters = static_cast<int>(std::lround(x * kPhases));
  const int whole = static_cast<int>(std::floor(static_cast<qreal>(quarters) / kPhases));
  const int margin = Margin();
  return {QRect(whole - margin, 0, static_cast<int>(std::ceil(Advance(c))) + 2 * margin + 1, height()),
          quarters - whole * kPhases};
}

QRect ElapsedTimeView::CharacterRect(int index) const {
  if (index < 0 || index >= text_.size()) return {};
  return PlaceAt(CharacterX(index), text_[index]).rect & rect();
}

void ElapsedTimeView::paintEvent(QPaintEvent* event) {
  ++repaints_;
  QPainter p(this);
  p.fillRect(event->rect(), palette().color(QPalette::Base));
  qreal x = TextLeft();
  for (QChar c : text_) {
    const Placed at = PlaceAt(x, c);
    if (event->rect().intersects(at.rect)) p.drawPixmap(at.rect.topLeft(), GlyphOf(c, at.phase).picture);
    x += Advance(c);
  }
}

void ElapsedTimeView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
    glyphs_.clear();
    left_.reset();
  }
  QWidget::changeEvent(event);
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
