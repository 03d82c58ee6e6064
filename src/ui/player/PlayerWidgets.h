#pragma once
// Small pieces of the player window: the elapsed-time text, which repaints only itself and only
// when its text changes, and the status pictures.
//
// The time is static text to assistive technology, its name the text shown. The text moves up to
// a hundred times a second; a screen reader is told of it at most once a second, and only while
// one listens (a change within that second is told with the first new text after it).

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace tovira {

enum class StatusImage;

class ElapsedTimeView final : public QWidget {
  Q_OBJECT

 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  static constexpr std::chrono::seconds kAnnounceInterval{1};

  explicit ElapsedTimeView(QWidget* parent = nullptr);
  // The text shown at `now` (the display clock's time).
  void SetText(const QString& text, TimePoint now);
  QString Text() const { return text_; }
  int Repaints() const { return repaints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Announce(TimePoint now);

  QString text_;
  int repaints_ = 0;
  bool untold_ = false;  // the text changed since assistive technology was last told
  std::optional<TimePoint> toldAt_;
};

// The 20 x 15 skin picture for a status, at the device pixel ratio `dpr`; null for none.
QPixmap StatusPixmap(StatusImage image, qreal dpr);

}  // namespace tovira
