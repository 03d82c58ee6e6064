#pragma once
// Shows one skin image (a status image, a window background) scaled to the widget, rendered at
// the screen's pixel density.

#include <QString>
#include <QWidget>

namespace tovira {

class SkinImage : public QWidget {
  Q_OBJECT

 public:
  explicit SkinImage(const QString& svg = {}, QWidget* parent = nullptr);

  void SetImage(const QString& svg);
  QString Image() const { return svg_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString svg_;
};

}  // namespace tovira
