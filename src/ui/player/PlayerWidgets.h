#pragma once
// Small pieces of the player window: the elapsed-time text, which repaints only itself and only
// when its text changes, and the status pictures.

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

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
  // The text changes a hundred times a second while playing, mostly in its last digit: its
  // characters are drawn once into pictures, so a repaint is a few copies of the changed place
  // instead of laying out text anew.
  struct Glyph {
    QPixmap picture;
    int advance = 0;
  };
  static constexpr char kGlyphChars[] = "0123456789:.";
  void BuildGlyphs();
  const Glyph* GlyphOf(QChar c) const;
  // Left edges of the text's characters (one more: the end), centred in the widget; empty when
  // a character has no picture, and the text is then drawn as text.
  std::vector<int> Layout(const QString& text) const;

  QString text_;
  int repaints_ = 0;
  std::array<Glyph, sizeof kGlyphChars - 1> glyphs_;
  qreal glyphRatio_ = 0;  // device pixel ratio the pictures were drawn at; 0: none yet
  int glyphTop_ = 0;
};

// The 20 x 15 skin picture for a status, at the device pixel ratio `dpr`; null for none.
QPixmap StatusPixmap(StatusImage image, qreal dpr);

}  // namespace tovira
