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

  // A deliberate press, from Enter or from assistive technology: a toggle flips even while its
  // window is not the active one.
  void Activate();

 protected:
  // Space (pressed on key down, clicked on key up) and Enter belong to the focused button; every
  // other key goes on to its window, whose keys thus keep their meaning.
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool Deliberate() const { return deliberate_; }
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
  bool deliberate_ = false;  // inside Activate()
};

// A latching button: each click flips `Latched()`; it shows the pressed cell while latched.
// A mouse click while its window is not the active one reaches the owner but leaves the latch
// alone (it merely brought the window forward); Activate() always flips it.
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
