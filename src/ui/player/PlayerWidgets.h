#pragma once
// Small pieces of the player window: the elapsed-time text, which repaints only itself and only
// when its text changes, and the status pictures.

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

namespace tovira {

enum class StatusImage;

class ElapsedTimeView final : public QWidget {
  Q_OBJECT

 public:
  explicit ElapsedTimeView(QWidget* parent = nullptr);
  void SetText(const QString& text);
  QString Text() const { return text_; }
  int Repaints() const { return repaints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QString text_;
  int repaints_ = 0;
};

// The 20 x 15 skin picture for a status, at the device pixel ratio `dpr`; null for none.
QPixmap StatusPixmap(StatusImage image, qreal dpr);

}  // namespace tovira
