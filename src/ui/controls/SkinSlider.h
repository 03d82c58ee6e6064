#pragma once
// A slider whose thumb is a skin image and whose channel is a sunken edge. Horizontal sliders
// grow from the left; vertical ones from the bottom (setInvertedAppearance flips either).
//
// Besides QAbstractSlider's signals it reports `valueCommitted(value)` once the user has
// finished a change: when a dragged thumb is released, after a click in the channel (one page
// step towards the click), and after a key or wheel step. The value is always the slider's
// new one.
//
// Keys (when focused): the arrows along the slider step it, PageUp/PageDown page it, Home/End
// take it to either end; each change is committed at once. The arrows across it, and every other
// key, go on to its window.

#include <QAbstractSlider>
#include <QColor>
#include <QPixmap>
#include <QString>

#include <functional>

#include "ui/controls/Skin.h"

namespace tovira {

class SkinSlider : public QAbstractSlider {
  Q_OBJECT

 public:
  enum class ThumbState { Normal = 0, MouseOver = 1, Dragged = 2 };

  SkinSlider(Qt::Orientation orientation, const skin::Thumb& thumb, QWidget* parent = nullptr);

  // Fill behind the channel; white by default, a transparent colour lets the parent show.
  void SetBackgroundColour(const QColor& colour);
  QColor BackgroundColour() const { return background_; }

  // Where the thumb is drawn for the current value (or drag position).
  QRect ThumbRect() const;
  // The sunken channel, including its edge.
  QRect ChannelRect() const;
  ThumbState DrawThumbState() const;

  // What assistive technology reads as the slider's value, from the value ("Volume 50 %");
  // without one, the number.
  using ValueTextFn = std::function<QString(int value)>;
  void SetValueText(ValueTextFn text) { valueText_ = std::move(text); }
  QString ValueText() const;
  // Moves to `value` (clamped to the range) as the user would, and commits it when it changed.
  void CommitValue(int value);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void valueCommitted(int value);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  bool Horizontal() const { return orientation() == Qt::Horizontal; }
  bool UpsideDown() const { return Horizontal() ? invertedAppearance() : !invertedAppearance(); }
  int ThumbLength() const { return Horizontal() ? thumb_.width : thumb_.height; }
  int Span() const;
  int Along(const QPoint& point) const { return Horizontal() ? point.x() : point.y(); }
  int ValueAt(int thumbStart) const;
  void SetThumbHover(bool hover);
  QPixmap ThumbPixmap(ThumbState state) const;

  skin::Thumb thumb_;
  QColor background_ = Qt::white;
  bool thumbHover_ = false;
  int dragOffset_ = 0;  // where in the thumb it was grabbed, along the slider
  ValueTextFn valueText_;
};

}  // namespace tovira
