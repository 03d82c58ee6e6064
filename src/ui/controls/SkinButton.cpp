#include "ui/controls/SkinButton.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

namespace tovira {

SkinButton::SkinButton(const skin::Cell& cell, QWidget* parent) : QAbstractButton(parent), cell_(cell) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  setFocusPolicy(Qt::NoFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  resize(sizeHint());
}

QSize SkinButton::sizeHint() const { return {cell_.width, cell_.height}; }

SkinButton::State SkinButton::DrawState() const {
  if (isDown()) return State::Pressed;
  return mouseOver_ ? State::MouseOver : State::Normal;
}

void SkinButton::SetMouseOver(bool over) {
  if (over == mouseOver_) return;
  mouseOver_ = over;
  update();
}

void SkinButton::enterEvent(QEnterEvent* event) {
  SetMouseOver(rect().contains(event->position().toPoint()));
  QAbstractButton::enterEvent(event);
}

void SkinButton::leaveEvent(QEvent* event) {
  SetMouseOver(false);
  QAbstractButton::leaveEvent(event);
}

// While the button holds the mouse, enter and leave are not delivered; the moves tell.
void SkinButton::mouseMoveEvent(QMouseEvent* event) {
  SetMouseOver(rect().contains(event->position().toPoint()));
  QAbstractButton::mouseMoveEvent(event);
  update();
}

void SkinButton::mousePressEvent(QMouseEvent* event) {
  QAbstractButton::mousePressEvent(event);
  update();
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event) {
  SetMouseOver(rect().contains(event->position().toPoint()));
  QAbstractButton::mouseReleaseEvent(event);
  update();
}

void SkinButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && !isEnabled()) SetMouseOver(false);
  QAbstractButton::changeEvent(event);
}

QPixmap SkinButton::CellPixmap(State state) const {
  const int index = static_cast<int>(state);
  const QRectF source(cell_.sourceX + index * cell_.width, cell_.sourceY, cell_.width, cell_.height);
  // A button sized away from its cell shows the whole cell scaled; the art is vector.
  return skin::Render(QString::fromUtf8(cell_.sheet), source, size(), devicePixelRatioF());
}

void SkinButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPixmap pixmap = CellPixmap(DrawState());
  if (!pixmap.isNull()) painter.drawPixmap(0, 0, pixmap);
}

SkinToggleButton::SkinToggleButton(const skin::Cell& cell, QWidget* parent) : SkinButton(cell, parent) {
  setCheckable(true);
}

SkinButton::State SkinToggleButton::DrawState() const {
  if (isDown()) return State::Pressed;
  if (MouseOver()) return State::MouseOver;
  return isChecked() ? State::Pressed : State::Normal;
}

void SkinToggleButton::nextCheckState() {
  // A click that merely brings the window forward must not flip the latch.
  if (window()->isActiveWindow()) QAbstractButton::nextCheckState();
}

}  // namespace tovira
