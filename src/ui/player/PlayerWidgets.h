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

// When to tell a listener of a text that keeps changing: at most once per interval. The first
// change after a quiet interval is told at once; a change within the interval is told at the first
// showing of the text after the interval has passed.
class AnnounceGate {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  explicit AnnounceGate(std::chrono::milliseconds interval) : interval_(interval) {}
  // The text was shown at `now`, `changed` or as it was; true: tell the listener now.
  bool Tell(bool changed, TimePoint now);
  // No one listens: nothing is owed.
  void Forget() { untold_ = false; }

 private:
  std::chrono::milliseconds interval_;
  bool untold_ = false;
  std::optional<TimePoint> toldAt_;
};

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
  QString text_;
  int repaints_ = 0;
  AnnounceGate gate_{kAnnounceInterval};
};

// The 20 x 15 skin picture for a status, at the device pixel ratio `dpr`; null for none.
QPixmap StatusPixmap(StatusImage image, qreal dpr);

}  // namespace tovira
