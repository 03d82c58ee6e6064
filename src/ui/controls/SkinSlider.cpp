#include "ui/controls/SkinSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>

#include "ui/controls/AccessibleControls.h"

namespace tovira {
namespace {

// Base thickness of the channel before its edge is widened.
constexpr int kChannelThickness = 4;
// Sunken edge: outer and inner borders, lit from the top left.
const QColor kEdgeOuterDark(0x9a, 0xa3, 0xae);
const QColor kEdgeOuterLight(0xf6, 0xf8, 0xfa);
const QColor kEdgeInnerDark(0x5a, 0x64, 0x70);
const QColor kEdgeInnerLight(0xd9, 0xde, 0xe4);
const QColor kChannelFill(0x8c, 0x97, 0xa4);

}  // namespace

SkinSlider::SkinSlider(Qt::Orientation orientation, const skin::Thumb& thumb, QWidget* parent)
    : QAbstractSlider(parent), thumb_(thumb) {
  setOrientation(orientation);
  setMouseTracking(true);
  // By Tab only: a click leaves the keys with whatever had them (the player window's Space).
  setFocusPolicy(Qt::TabFocus);
  setSizePolicy(Horizontal() ? QSizePolicy::Expanding : QSizePolicy::Fixed,
                Horizontal() ? QSizePolicy::Fixed : QSizePolicy::Expanding);
  connect(this, &QAbstractSlider::rangeChanged, this, [this] { update(); });
  InstallAccessibleControls();
}

QString SkinSlider::ValueText() const { return valueText_ ? valueText_(value()) : QString::number(value()); }

void SkinSlider::CommitValue(int value) {
  const int before = this->value();
  setValue(value);
  if (this->value() != before) emit valueCommitted(this->value());
}

void SkinSlider::SetBackgroundColour(const QColor& colour) {
  if (colour == background_) return;
  background_ = colour;
  update();
}

QSize SkinSlider::sizeHint() const {
  const int across = std::max(Horizontal() ? thumb_.height : thumb_.width, kChannelThickness + 4);
  return Horizontal() ? QSize(100, across) : QSize(across, 100);
}

QSize SkinSlider::minimumSizeHint() const {
  const QSize hint = sizeHint();
  const int along = 2 * ThumbLength();
  return Horizontal() ? QSize(along, hint.height()) : QSize(hint.width(), along);
}

int SkinSlider::Span() const { return std::max(0, (Horizontal() ? width() : height()) - ThumbLength()); }

int SkinSlider::ValueAt(int thumbStart) const {
  return QStyle::sliderValueFromPosition(minimum(), maximum(), std::clamp(thumbStart, 0, Span()), Span(),
                                         UpsideDown());
}

QRect SkinSlider::ThumbRect() const {
  const int start = QStyle::sliderPositionFromValue(minimum(), maximum(), sliderPosition(), Span(), UpsideDown());
  if (Horizontal()) return {start, (height() - thumb_.height) / 2, thumb_.width, thumb_.height};
  return {(width() - thumb_.width) / 2, start, thumb_.width, thumb_.height};
}

QRect SkinSlider::ChannelRect() const {
  // The channel runs between the thumb's centre at either end; its edge is widened by two
  // pixels above and below when horizontal, by one on either side when vertical.
  const int half = ThumbLength() / 2;
  if (Horizontal()) {
    const QRect base(half, (height() - kChannelThickness) / 2, std::max(0, width() - 2 * half), kChannelThickness);
    return base.adjusted(0, -2, 0, 2);
  }
  const QRect base((width() - kChannelThickness) / 2, half, kChannelThickness, std::max(0, height() - 2 * half));
  return base.adjusted(-1, 0, 1, 0);
}

SkinSlider::ThumbState SkinSlider::DrawThumbState() const {
  if (isSliderDown()) return ThumbState::Dragged;
  return thumbHover_ ? ThumbState::MouseOver : ThumbState::Normal;
}

QPixmap SkinSlider::ThumbPixmap(ThumbState state) const {
  const QRectF source(static_cast<int>(state) * thumb_.width, 0, thumb_.width, thumb_.height);
  return skin::Render(QString::fromUtf8(thumb_.image), source, QSize(thumb_.width, thumb_.height), devicePixelRatioF());
}

void SkinSlider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (background_.alpha() > 0) painter.fillRect(rect(), background_);

  // Sunken channel: two borders, dark above and left, light below and right.
  QRect channel = ChannelRect();
  auto edge = [&painter](QRect& r, const QColor& dark, const QColor& light) {
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), dark);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), dark);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), light);
    painter.fillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 1), light);
    r.adjust(1, 1, -1, -1);
  };
  if (channel.width() > 4 && channel.height() > 4) {
    edge(channel, kEdgeOuterDark, kEdgeOuterLight);
    edge(channel, kEdgeInnerDark, kEdgeInnerLight);
    painter.fillRect(channel, kChannelFill);
  }

  const QPixmap thumb = ThumbPixmap(DrawThumbState());
  if (!thumb.isNull()) painter.drawPixmap(ThumbRect().topLeft(), thumb);
  if (hasFocus()) skin::PaintFocusFrame(painter, rect());
}

void SkinSlider::SetThumbHover(bool hover) {
  if (hover == thumbHover_) return;
  thumbHover_ = hover;
  update(ThumbRect());
}

void SkinSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || maximum() == minimum()) {
    event->ignore();
    return;
  }
  event->accept();
  const QPoint point = event->position().toPoint();
  const QRect thumb = ThumbRect();
  if (thumb.contains(point)) {
    dragOffset_ = Along(point) - Along(thumb.topLeft());
    setSliderDown(true);
    update();
    return;
  }
  // A click in the channel moves one page towards the click and applies the new value.
  const int clicked = ValueAt(Along(point) - ThumbLength() / 2);
  if (clicked == value()) return;
  triggerAction(clicked > value() ? SliderPageStepAdd : SliderPageStepSub);
  emit valueCommitted(value());
}

void SkinSlider::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (isSliderDown()) {
    const QRect before = ThumbRect();
    setSliderPosition(ValueAt(Along(point) - dragOffset_));
    update(before.united(ThumbRect()));
    return;
  }
  SetThumbHover(ThumbRect().contains(point));
}

void SkinSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !isSliderDown()) {
    event->ignore();
    return;
  }
  setSliderDown(false);  // applies the drag position when tracking is off
  SetThumbHover(ThumbRect().contains(event->position().toPoint()));
  update();
  emit valueCommitted(value());
}

void SkinSlider::leaveEvent(QEvent* event) {
  SetThumbHover(false);
  QAbstractSlider::leaveEvent(event);
}

void SkinSlider::keyPressEvent(QKeyEvent* event) {
  bool own = false;
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
      own = Horizontal();
      break;
    case Qt::Key_Up:
    case Qt::Key_Down:
      own = !Horizontal();
      break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
      own = true;
      break;
    default:
      break;
  }
  if (!own || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
    event->ignore();
    return;
  }
  const int before = value();
  QAbstractSlider::keyPressEvent(event);
  if (value() != before) emit valueCommitted(value());
}

void SkinSlider::focusInEvent(QFocusEvent* event) {
  QAbstractSlider::focusInEvent(event);
  update();
}

void SkinSlider::focusOutEvent(QFocusEvent* event) {
  QAbstractSlider::focusOutEvent(event);
  update();
}

void SkinSlider::wheelEvent(QWheelEvent* event) {
  const int before = value();
  QAbstractSlider::wheelEvent(event);
  if (value() != before) emit valueCommitted(value());
}

}  // namespace tovira
