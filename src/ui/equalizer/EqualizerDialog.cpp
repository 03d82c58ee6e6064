#include "ui/equalizer/EqualizerDialog.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QToolButton>
#include <QUrl>

#include "ui/controls/HelpViewer.h"
#include "ui/controls/Skin.h"
#include "ui/controls/SkinLayout.h"
#include "ui/controls/SkinSlider.h"
#include "ui/equalizer/ReplayGainMenu.h"
#include "ui/playlist/WindowDock.h"

namespace tovira {

namespace {
bool DefaultHelp(QWidget* parent, const QString& topic) { return ShowHelpTopic(parent, topic); }
}  // namespace

EqualizerDialog::EqualizerDialog(Settings& settings, Apply apply, QWidget* parent)
    : QDialog(parent), equalizer_(settings), apply_(std::move(apply)), showHelp_(DefaultHelp) {
  setWindowTitle(tr("Tovira Equalizer"));
  setModal(false);
  setAcceptDrops(true);
  // As high as the player window it stands beside, so that it never reaches over the playlist
  // window below the player; the art's lowest strip (below the band labels) is cut off.
  setFixedSize(skin::kEqualizerBackgroundSize.width(), skin::kPlayerBackgroundSize.height());

  for (int i = 0; i < kEqualizerSliders; ++i) {
    auto* slider = new SkinSlider(Qt::Vertical, skin::kEqualizerThumb, this);
    slider->setGeometry(skin::layout::kEqualizerSliders[static_cast<size_t>(i)]);
    slider->setRange(0, 20);
    slider->setSingleStep(1);
    slider->setPageStep(4);  // a fifth of the range per click in the channel
    slider->setInvertedAppearance(true);  // position 0, the highest value, at the top
    slider->setTracking(false);
    slider->setFocusPolicy(Qt::NoFocus);
    slider->installEventFilter(this);
    connect(slider, &SkinSlider::valueCommitted, this, [this, i](int position) { Release(i, position); });
    sliders_[static_cast<size_t>(i)] = slider;
  }

  equalizer_.Load();
  for (int b = 0; b < kEqualizerBands; ++b) {
    sliders_[static_cast<size_t>(b + 1)]->setValue(EqualizerPositionOf(equalizer_.BandValue(b)));
  }
  sliders_[0]->setValue(EqualizerPositionOf(equalizer_.GainValue()));
  if (apply_) apply_(equalizer_.Factors());

  // In the empty top strip, right of the window's caption.
  replayGainMenu_ = new ReplayGainMenu(settings, this);
  replayGainButton_ = new QToolButton(this);
  replayGainButton_->setGeometry(250, 1, 110, 16);
  replayGainButton_->setAutoRaise(true);
  replayGainButton_->setFocusPolicy(Qt::NoFocus);
  replayGainButton_->setPopupMode(QToolButton::InstantPopup);
  replayGainButton_->setMenu(replayGainMenu_);
  replayGainButton_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  replayGainButton_->setStyleSheet(QStringLiteral(
      "QToolButton { font: bold 8px 'DejaVu Sans'; color: #7b8794; border: none; padding: 0 2px; }"
      "QToolButton:hover { color: #2f3a47; }"
      "QToolButton::menu-indicator { image: none; width: 0; }"));
  replayGainButton_->setText(ReplayGainButtonText(replayGainMenu_->Config().mode) + QStringLiteral(" \u25BE"));
  replayGainButton_->setToolTip(tr("ReplayGain mode and preamp"));
  connect(replayGainMenu_, &ReplayGainMenu::configChanged, this, [this](const ReplayGainConfig& c) {
    replayGainButton_->setText(ReplayGainButtonText(c.mode) + QStringLiteral(" \u25BE"));
    emit replayGainChanged(c);
  });

  dock_ = new WindowDock(this, parent, DockSide::Beside, this);
}

EqualizerDialog::~EqualizerDialog() = default;

void EqualizerDialog::Release(int index, int position) {
  // The slider's own new value: a click in the channel moves the thumb a page and that is what
  // applies, and the top position (value 21) counts like any other.
  const int32_t value = EqualizerValueAt(position);
  if (index == 0) {
    equalizer_.ReleaseGain(value);
  } else {
    equalizer_.ReleaseBand(index - 1, value);
  }
  if (apply_) apply_(equalizer_.Factors());
}

const ReplayGainConfig& EqualizerDialog::ReplayGain() const { return replayGainMenu_->Config(); }

void EqualizerDialog::contextMenuEvent(QContextMenuEvent* event) { replayGainMenu_->popup(event->globalPos()); }

void EqualizerDialog::SetHelp(std::function<bool(QWidget*, const QString&)> showHelp) {
  showHelp_ = showHelp ? std::move(showHelp) : DefaultHelp;
}

void EqualizerDialog::Help() { showHelp_(this, QString::fromLatin1(kEqualizerHelpTopic)); }

void EqualizerDialog::StartSlide(bool show) { dock_->StartSlide(show); }

void EqualizerDialog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  // The window shows the top of the art (see the constructor). The picture comes from the skin's
  // cache: the art is parsed and rendered once per size and density, not on every repaint.
  painter.drawPixmap(0, 0, skin::Render(QString::fromLatin1(skin::kEqualizerBackground), QRectF(rect()), size(),
                                        devicePixelRatioF()));
}

void EqualizerDialog::keyPressEvent(QKeyEvent* event) {
  // Every key stops here: none moves a slider or closes the window. F1 asks for help.
  if (event->key() == Qt::Key_F1 && !event->isAutoRepeat()) Help();
  event->accept();
}

void EqualizerDialog::keyReleaseEvent(QKeyEvent* event) { event->accept(); }

bool EqualizerDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    for (auto* s : sliders_) {
      if (watched == s) {
        if (event->type() == QEvent::KeyPress) keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void EqualizerDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void EqualizerDialog::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const auto& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  emit pathsDropped(paths);
}

void EqualizerDialog::closeEvent(QCloseEvent* event) {
  event->ignore();
  emit closeRequested();
}

}  // namespace tovira
