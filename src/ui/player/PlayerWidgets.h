#pragma once
// Small pieces of the player window: the elapsed-time text, which repaints only itself and only
// when its text changes, and the status pictures, drawn here rather than kept as bitmaps.

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

// Bars of the 20 spectrum levels (0-255).
class LevelsSink final : public QWidget {
  Q_OBJECT

 public:
  explicit LevelsSink(QWidget* parent = nullptr) : QWidget(parent) {}
  void SetLevels(const std::array<int32_t, 20>& levels);
  const std::array<int32_t, 20>& Levels() const { return levels_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::array<int32_t, 20> levels_{};
};

// The 20 x 15 picture for a status; a null pixmap for none.
QPixmap StatusPixmap(StatusImage image);

// The window's own icon.
QPixmap AppIconPixmap(int size);

}  // namespace tovira
