#pragma once
// Small pieces of the player window: the elapsed-time text, which repaints only itself and only
// when its text changes, and the status pictures.
//
// The time is static text to assistive technology, its name the text shown. The text moves up to
// a hundred times a second; a screen reader is told of it at most once a second, and only while
// one listens (a change within that second is told with the first new text after it).

#include <QPixmap>
#include <QString>
#include <QHash>
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
  // Where character `index` of the text is drawn (the part an update of it repaints).
  QRect CharacterRect(int index) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Each character is drawn once into a picture of its own and copied from there: shaping the
  // text at every frame cost more than everything else the frame does.
  // Drawn at a quarter-pixel phase, as text is placed between pixels.
  struct Glyph {
    QPixmap picture;
    qreal advance = 0;
  };
  static constexpr int kPhases = 4;
  const Glyph& GlyphOf(QChar c, int phase = 0) const;
  qreal Advance(QChar c) const { return GlyphOf(c).advance; }
  // Where each character starts, from the left edge.
  qreal CharacterX(int index) const;
  // Where the picture of `c` goes when the character starts at `x`, and at which phase.
  struct Placed {
    QRect rect;
    int phase = 0;
  };
  Placed PlaceAt(qreal x, QChar c) const;
  qreal TextLeft() const;
  int Margin() const;
  QString text_;
  int repaints_ = 0;
  AnnounceGate gate_{kAnnounceInterval};
  mutable QHash<uint32_t, Glyph> glyphs_;
  // Where the text starts; kept while only characters of the same width change.
  mutable std::optional<qreal> left_;
};

// The 20 x 15 skin picture for a status, at the device pixel ratio `dpr`; null for none.
QPixmap StatusPixmap(StatusImage image, qreal dpr);

}  // namespace tovira
