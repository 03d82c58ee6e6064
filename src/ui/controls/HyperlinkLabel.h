#pragma once
// A text label that behaves like a web link: link colours, an underlined font, a hand cursor and
// a tooltip with the target; a click opens the target (a web page or a mailto: address), and so
// do Enter and Space while it has the keyboard focus (it takes it by Tab).

#include <QColor>
#include <QLabel>
#include <QString>
#include <QUrl>
#include <functional>

namespace tovira {

class HyperlinkLabel : public QLabel {
  Q_OBJECT

 public:
  enum class Underline { Never = 0, Always = 1, OnHover = -1 };

  struct OpenOutcome {
    bool opened = false;
    int errorCode = 0;  // why not, when not opened; see ErrorText
  };
  // Opens a target; the default hands it to the desktop.
  using Opener = std::function<OpenOutcome(const QUrl&)>;
  // Tells the user that the target could not be opened; the default beeps and shows a warning.
  using Warner = std::function<void(QWidget* parent, const QString& text)>;

  // No application is registered for the target (what a failed desktop hand-off reports).
  static constexpr int kNoAssociation = 31;

  explicit HyperlinkLabel(const QString& text = {}, QWidget* parent = nullptr);

  // An empty target means the label's text.
  void SetURL(const QString& url);
  QString GetURL() const;

  // An invalid hover colour means the palette's highlight colour.
  void SetColours(const QColor& link, const QColor& visited, const QColor& hover = QColor());
  QColor GetLinkColour() const { return link_; }
  QColor GetVisitedColour() const { return visited_; }
  QColor GetHoverColour() const;

  void SetVisited(bool visited);
  bool GetVisited() const { return visitedState_; }

  void SetUnderline(Underline mode);
  Underline GetUnderline() const { return underline_; }

  // When on (the default), the label keeps itself the size of its text.
  void SetAutoSize(bool on);
  bool GetAutoSize() const { return autoSize_; }

  void SetLinkCursor(const QCursor& cursor) { setCursor(cursor); }

  void SetOpener(Opener opener) { opener_ = std::move(opener); }
  void SetWarner(Warner warner) { warner_ = std::move(warner); }

  // Sets the caption and fits the label to it.
  void SetText(const QString& text);

  bool MouseOver() const { return over_; }
  // The colour the text is drawn in now.
  QColor TextColour() const;

  // Opens the target; on failure warns "Unable to open hyperlink:" with the reason.
  void Open();

  // The reason shown for an error code of the opener.
  static QString ErrorText(int code);

 signals:
  void opened(const QUrl& url);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ApplyLook();
  void FitToText();

  QColor link_{0, 0, 238};
  QColor visited_{85, 26, 139};
  QColor hover_{0, 0, 238};
  bool over_ = false;
  bool visitedState_ = false;
  Underline underline_ = Underline::Always;
  bool autoSize_ = true;
  QString url_;
  Opener opener_;
  Warner warner_;
  bool applying_ = false;
};

}  // namespace tovira
