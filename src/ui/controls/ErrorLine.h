#pragma once
// A one- or two-line note over the lower part of a panel: why a file could not be played, or a
// notice. It shows at once, stays for a while, then fades out; a new note starts over.

#include <QLabel>

class QGraphicsOpacityEffect;
class QPropertyAnimation;
class QTimer;

namespace tovira {

class ErrorLine final : public QLabel {
  Q_OBJECT
 public:
  explicit ErrorLine(QWidget* parent = nullptr);

  // `detail` becomes the tooltip (the whole path of the file, say).
  void Show(const QString& text, const QString& detail = QString());
  void SetStayMs(int ms) { stayMs_ = ms; }
  // The note now shown, empty when none.
  QString Shown() const { return isVisible() ? text() : QString(); }
  bool Busy() const;  // showing or fading

 private:
  QGraphicsOpacityEffect* opacity_ = nullptr;
  QPropertyAnimation* fade_ = nullptr;
  QTimer* stay_ = nullptr;
  int stayMs_ = 5000;
};

}  // namespace tovira
