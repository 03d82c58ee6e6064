#pragma once
// Push and toggle buttons drawn from a skin sheet (see Skin.h for the cell layout).

#include <QAbstractButton>
#include <QPixmap>

#include "ui/controls/Skin.h"

namespace tovira {

class SkinButton : public QAbstractButton {
  Q_OBJECT

 public:
  enum class State { Normal = 0, MouseOver = 1, Pressed = 2 };

  explicit SkinButton(const skin::Cell& cell, QWidget* parent = nullptr);

  // The cell drawn now.
  virtual State DrawState() const;
  const skin::Cell& SkinCell() const { return cell_; }
  bool MouseOver() const { return mouseOver_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void SetMouseOver(bool over);
  QPixmap CellPixmap(State state) const;

  skin::Cell cell_;
  bool mouseOver_ = false;
};

// A latching button: each click flips `Latched()`; it shows the pressed cell while latched.
// A click while its window is not the active one reaches the owner but leaves the latch alone.
class SkinToggleButton : public SkinButton {
  Q_OBJECT

 public:
  explicit SkinToggleButton(const skin::Cell& cell, QWidget* parent = nullptr);

  bool Latched() const { return isChecked(); }
  void SetLatched(bool latched) { setChecked(latched); }

  State DrawState() const override;

 protected:
  void nextCheckState() override;
};

}  // namespace tovira
