#include "ui/player/PlayerWidgets.h"

#include <QFont>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include "ui/controls/Skin.h"

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
  glyphRatio_ = 0;
}

void ElapsedTimeView::BuildGlyphs() {
  const qreal ratio = devicePixelRatioF();
  const QFontMetrics m(font());
  glyphTop_ = (height() - m.height()) / 2;
  for (size_t i = 0; i < glyphs_.size(); ++i) {
    const QString c(QChar::fromLatin1(kGlyphChars[i]));
    Glyph& g = glyphs_[i];
    g.advance = m.horizontalAdvance(c);
    g.picture = QPixmap(QSize(g.advance + 2, m.height()) * ratio);
    g.picture.setDevicePixelRatio(ratio);
    g.picture.fill(Qt::transparent);
    QPainter p(&g.picture);
    p.setPen(palette().color(QPalette::Text));
    p.setFont(font());
    p.drawText(0, m.ascent(), c);
  }
  glyphRatio_ = ratio;
}

const ElapsedTimeView::Glyph* ElapsedTimeView::GlyphOf(QChar c) const {
  for (size_t i = 0; i < glyphs_.size(); ++i) {
    if (c == QLatin1Char(kGlyphChars[i])) return &glyphs_[i];
  }
  return nullptr;
}

std::vector<int> ElapsedTimeView::Layout(const QString& text) const {
  std::vector<int> x{0};
  for (const QChar c : text) {
    const Glyph* g = GlyphOf(c);
    if (!g) return {};
    x.push_back(x.back() + g->advance);
  }
  const int left = (width() - x.back()) / 2;
  for (int& v : x) v += left;
  return x;
}

void ElapsedTimeView::SetText(const QString& text) {
  if (text == text_) return;
  const QString before = text_;
  text_ = text;
  if (glyphRatio_ == 0 || before.size() != text.size()) return update();
  // Only the characters that changed (the digits have equal widths in the usual faces; where
  // they do not, the places move and everything is repainted).
  const std::vector<int> was = Layout(before), now = Layout(text);
  if (was.empty() || was != now) return update();
  QRect dirty;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != before[i]) dirty |= QRect(now[size_t(i)], 0, now[size_t(i) + 1] - now[size_t(i)] + 2, height());
  }
  update(dirty);
}

void ElapsedTimeView::paintEvent(QPaintEvent* event) {
  ++repaints_;
  if (glyphRatio_ != devicePixelRatioF()) BuildGlyphs();
  QPainter p(this);
  p.fillRect(event->rect(), palette().color(QPalette::Base));
  const std::vector<int> x = Layout(text_);
  if (x.empty()) {
    p.setPen(palette().color(QPalette::Text));
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text_);
    return;
  }
  for (qsizetype i = 0; i < text_.size(); ++i) {
    const int left = x[size_t(i)];
    if (left > event->rect().right() || x[size_t(i) + 1] + 2 < event->rect().left()) continue;
    p.drawPixmap(left, glyphTop_, GlyphOf(text_[i])->picture);
  }
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
