#include "ui/controls/SkinButton.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "ui/controls/AccessibleControls.h"

namespace tovira {

SkinButton::SkinButton(const skin::Cell& cell, QWidget* parent) : QAbstractButton(parent), cell_(cell) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  setFocusPolicy(Qt::NoFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  resize(sizeHint());
  InstallAccessibleControls();
}

void SkinButton::Activate() {
  if (!isEnabled()) return;
  deliberate_ = true;
  click();
  deliberate_ = false;
}

void SkinButton::keyPressEvent(QKeyEvent* event) {
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Select:
      if (plain) {
        QAbstractButton::keyPressEvent(event);
        return;
      }
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (plain) {
        if (!event->isAutoRepeat()) Activate();
        event->accept();
        return;
      }
      break;
    default:
      break;
  }
  // Not QAbstractButton's: it would move the focus on the arrow keys.
  event->ignore();
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
  if (hasFocus()) skin::PaintFocusFrame(painter, rect());
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
  if (Deliberate() || window()->isActiveWindow()) QAbstractButton::nextCheckState();
}

}  // namespace tovira
