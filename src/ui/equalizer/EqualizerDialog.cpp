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

#include <cmath>

#include "ui/controls/AccessibleControls.h"
#include "ui/controls/HelpViewer.h"
#include "ui/controls/Skin.h"
#include "ui/controls/SkinLayout.h"
#include "ui/controls/SkinSlider.h"
#include "ui/equalizer/ReplayGainMenu.h"
#include "ui/playlist/WindowDock.h"

namespace tovira {

namespace {

bool DefaultHelp(QWidget* parent, const QString& topic) { return ShowHelpTopic(parent, topic); }

// The bands' captions on the art, low to high.
constexpr const char* kBandCaptions[kEqualizerBands] = {"345", "1k", "1.7k", "2.8k", "4.1k",
                                                         "5.9k", "8.6k", "12k", "16k", "20k"};

// An amplitude factor in whole decibels: "+2 dB", "0 dB", "-6 dB".
QString Decibels(double factor) {
  const long db = factor > 0.0 ? std::lround(20.0 * std::log10(factor)) : -99;
  return db > 0 ? EqualizerDialog::tr("+%1 dB").arg(db) : EqualizerDialog::tr("%1 dB").arg(db);
}

QString ReplayGainCaption(ReplayGainMode mode) { return ReplayGainButtonText(mode) + QStringLiteral(" \u25BE"); }

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
    slider->setInvertedControls(true);    // and Up moves the thumb up
    slider->setTracking(false);
    slider->setFocusPolicy(Qt::TabFocus);
    slider->setAccessibleName(i == 0 ? tr("Gain") : tr("%1 Hz").arg(QString::fromLatin1(kBandCaptions[i - 1])));
    slider->SetValueText([this, i](int position) { return ValueText(i, position); });
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
  replayGainButton_->setFocusPolicy(Qt::TabFocus);
  replayGainButton_->setPopupMode(QToolButton::InstantPopup);
  replayGainButton_->setMenu(replayGainMenu_);
  replayGainButton_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  replayGainButton_->setStyleSheet(QStringLiteral(
      "QToolButton { font: bold 8px 'DejaVu Sans'; color: #7b8794; border: none; padding: 0 2px; }"
      "QToolButton:hover { color: #2f3a47; }"
      "QToolButton::menu-indicator { image: none; width: 0; }"));
  replayGainButton_->setToolTip(tr("ReplayGain mode and preamp"));
  auto showMode = [this](ReplayGainMode mode) {
    replayGainButton_->setText(ReplayGainCaption(mode));
    replayGainButton_->setAccessibleName(ReplayGainButtonText(mode));  // without the arrow
  };
  showMode(replayGainMenu_->Config().mode);
  connect(replayGainMenu_, &ReplayGainMenu::configChanged, this, [this, showMode](const ReplayGainConfig& c) {
    showMode(c.mode);
    emit replayGainChanged(c);
  });

  QList<QWidget*> focusable{replayGainButton_};
  for (SkinSlider* slider : sliders_) focusable << slider;
  // The first of them has the focus when the window is first activated.
  OrderTabsByPlace(focusable).front()->setFocus(Qt::OtherFocusReason);

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
  // Every key a focused slider leaves stops here: none closes the window. F1 asks for help.
  if (event->key() == Qt::Key_F1 && !event->isAutoRepeat()) Help();
  event->accept();
}

void EqualizerDialog::keyReleaseEvent(QKeyEvent* event) { event->accept(); }

QString EqualizerDialog::ValueText(int index, int position) const {
  const int32_t value = EqualizerValueAt(position);
  if (index == 0) return tr("Gain %1").arg(Decibels(GainFactorForValue(value)));
  const int band = index - 1;
  // The factor in force where the slider rests (the loaded values have their own step), else
  // the one a release there would apply.
  const double factor = value == equalizer_.BandValue(band)
                            ? equalizer_.SubbandFactor(kBandGroups[static_cast<size_t>(band)].first)
                            : BandFactorOnRelease(band, value);
  return tr("%1 Hz %2").arg(QString::fromLatin1(kBandCaptions[band]), Decibels(factor));
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
