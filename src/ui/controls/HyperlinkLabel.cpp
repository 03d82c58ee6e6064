#include "ui/controls/HyperlinkLabel.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "ui/controls/AccessibleControls.h"

namespace tovira {

HyperlinkLabel::HyperlinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  InstallAccessibleControls();
  opener_ = [](const QUrl& url) {
    return QDesktopServices::openUrl(url) ? OpenOutcome{true, 0} : OpenOutcome{false, kNoAssociation};
  };
  warner_ = [](QWidget* parent, const QString& message) {
    QApplication::beep();
    QMessageBox::warning(parent, QStringLiteral("Tovira"), message);
  };
  ApplyLook();
}

void HyperlinkLabel::SetURL(const QString& url) {
  url_ = url;
  ApplyLook();
}

QString HyperlinkLabel::GetURL() const { return url_.isEmpty() ? text() : url_; }

void HyperlinkLabel::SetColours(const QColor& link, const QColor& visited, const QColor& hover) {
  link_ = link;
  visited_ = visited;
  hover_ = hover;
  ApplyLook();
}

QColor HyperlinkLabel::GetHoverColour() const {
  return hover_.isValid() ? hover_ : palette().color(QPalette::Highlight);
}

void HyperlinkLabel::SetVisited(bool visited) {
  visitedState_ = visited;
  ApplyLook();
}

void HyperlinkLabel::SetUnderline(Underline mode) {
  underline_ = mode;
  ApplyLook();
}

void HyperlinkLabel::SetAutoSize(bool on) {
  autoSize_ = on;
  FitToText();
}

QColor HyperlinkLabel::TextColour() const {
  if (over_) return GetHoverColour();
  return visitedState_ ? visited_ : link_;
}

void HyperlinkLabel::ApplyLook() {
  if (applying_) return;
  applying_ = true;
  // A label given only a target shows the target.
  if (text().isEmpty() && !url_.isEmpty()) setText(url_);
  QFont look = font();
  look.setUnderline(underline_ == Underline::Always || (underline_ == Underline::OnHover && over_));
  setFont(look);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, TextColour());
  setPalette(colours);
  setToolTip(GetURL());
  applying_ = false;
  FitToText();
  update();
}

void HyperlinkLabel::FitToText() {
  if (!autoSize_) return;
  const QSize fit = sizeHint();
  const QRect now = geometry();
  int x = now.x();
  if (alignment() & Qt::AlignHCenter) {
    x = now.x() + (now.width() - fit.width()) / 2;
  } else if (alignment() & Qt::AlignRight) {
    x = now.x() + now.width() - fit.width();
  }
  int y = now.y();
  if (alignment() & Qt::AlignVCenter) y = now.y() + (now.height() - fit.height()) / 2;
  setGeometry(x, y, fit.width(), fit.height());
}

void HyperlinkLabel::SetText(const QString& text) {
  setText(text);
  ApplyLook();
}

void HyperlinkLabel::showEvent(QShowEvent* event) {
  QLabel::showEvent(event);
  FitToText();
}

void HyperlinkLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange && !applying_) FitToText();
}

void HyperlinkLabel::enterEvent(QEnterEvent* event) {
  if (!over_) {
    over_ = true;
    ApplyLook();
  }
  QLabel::enterEvent(event);
}

void HyperlinkLabel::leaveEvent(QEvent* event) {
  if (over_) {
    over_ = false;
    ApplyLook();
  }
  QLabel::leaveEvent(event);
}

void HyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    Open();
    event->accept();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void HyperlinkLabel::keyPressEvent(QKeyEvent* event) {
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (plain && !event->isAutoRepeat() &&
      (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)) {
    Open();
    event->accept();
    return;
  }
  QLabel::keyPressEvent(event);
}

void HyperlinkLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QPainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.backgroundColor = palette().color(QPalette::Window);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void HyperlinkLabel::Open() {
  over_ = false;
  const QString target = GetURL();
  QUrl url(target, QUrl::TolerantMode);
  if (url.scheme().isEmpty()) url = QUrl::fromUserInput(target);
  const OpenOutcome outcome = opener_ ? opener_(url) : OpenOutcome{false, kNoAssociation};
  if (outcome.opened) {
    visitedState_ = true;
    ApplyLook();
    emit opened(url);
    return;
  }
  ApplyLook();
  if (warner_) warner_(this, tr("Unable to open hyperlink:\n\n") + ErrorText(outcome.errorCode));
}

QString HyperlinkLabel::ErrorText(int code) {
  switch (code) {
    case 0: return tr("The operating system is out\nof memory or resources.");
    case 2: return tr("The specified file was not found.");
    case 3: return tr("The specified path was not found.");
    case 5: return tr("The operating system denied\naccess to the specified file.");
    case 8: return tr("There was not enough memory to complete the operation.");
    case 11: return tr("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
    case 26: return tr("A sharing violation occurred. ");
    case 27: return tr("The filename association is\nincomplete or invalid.");
    case 28: return tr("The DDE transaction could not\nbe completed because the request timed out.");
    case 29: return tr("The DDE transaction failed.");
    case 30:
      return tr(
          "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed.");
    case 31: return tr("There is no application associated\nwith the given filename extension.");
    case 32: return tr("The specified dynamic-link library was not found.");
    default: return tr("Unknown Error (%1) occurred.").arg(code);
  }
}

}  // namespace tovira
