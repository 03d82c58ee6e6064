#include "ui/player/PlayerFace.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>

#include "session/PlaybackSession.h"
#include "ui/controls/AccessibleControls.h"
#include "ui/controls/ErrorLine.h"
#include "ui/controls/Skin.h"
#include "ui/controls/SkinButton.h"
#include "ui/controls/SkinSlider.h"
#include "ui/controls/SpectrumBarDisplay.h"
#include "ui/player/PlayerLayout.h"
#include "ui/player/PlayerWidgets.h"
#include "ui/player/TrackText.h"

namespace tovira {

namespace {

template <typename Button>
QAbstractButton* MakeButton(QWidget* parent, const char* name, const skin::Cell& cell, const QString& spoken,
                            const QString& tip) {
  auto* b = new Button(cell, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setFocusPolicy(Qt::TabFocus);
  b->setAccessibleName(spoken);
  b->setToolTip(tip);
  b->setGeometry(PlaceOf(name));
  return b;
}

SkinSlider* MakeSlider(QWidget* parent, const char* name, const skin::Thumb& thumb, const QString& spoken) {
  auto* s = new SkinSlider(Qt::Horizontal, thumb, parent);
  s->setObjectName(QString::fromLatin1(name));
  s->setFocusPolicy(Qt::TabFocus);
  s->setAccessibleName(spoken);
  s->SetBackgroundColour(Qt::transparent);
  s->setGeometry(PlaceOf(name));
  return s;
}

QLabel* MakeLabel(QWidget* parent, const char* name) {
  auto* l = new QLabel(parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setGeometry(PlaceOf(name));
  return l;
}

}  // namespace

PlayerFace::PlayerFace(QWidget* parent) : QWidget(parent), status_(StatusImage::None) {
  setFixedSize(kPlayerWindowSize);
  int i = 0;
  buttons_[i++] = MakeButton<SkinButton>(this, "Back", skin::kPrevious, tr("Previous"), tr("Previous (B)"));
  buttons_[i++] = MakeButton<SkinButton>(this, "Fwd", skin::kNext, tr("Next"), tr("Next (N)"));
  buttons_[i++] = MakeButton<SkinButton>(this, "Play", skin::kPlay, tr("Play"), tr("Play"));
  buttons_[i++] = MakeButton<SkinButton>(this, "Pause", skin::kPause, tr("Pause"), tr("Play/Pause (Space)"));
  buttons_[i++] = MakeButton<SkinButton>(this, "Stop", skin::kStop, tr("Stop"), tr("Stop (X)"));
  buttons_[i++] = MakeButton<SkinButton>(this, "FF", skin::kFastForward, tr("Fast forward"), QStringLiteral("FF"));
  buttons_[i++] = MakeButton<SkinButton>(this, "Load", skin::kLoad, tr("Load files"), tr("Load files (Enter)"));
  buttons_[i++] = MakeButton<SkinButton>(this, "MS", skin::kAbout, tr("About Tovira"), tr("About Tovira"));
  buttons_[i++] = MakeButton<SkinToggleButton>(this, "EQ", skin::kEqualizerToggle, tr("Equalizer"), tr("Equalizer"));
  buttons_[i++] = MakeButton<SkinToggleButton>(this, "PL", skin::kPlaylistToggle, tr("Playlist"), tr("Playlist"));
  // A button the window was drawn with but that does nothing.
  Button(QStringLiteral("FF"))->hide();
  Button(QStringLiteral("FF"))->setEnabled(false);

  position_ = MakeSlider(this, "Position", skin::kPositionThumb, tr("Position"));
  position_->setRange(0, 0);
  position_->setPageStep(10);
  volume_ = MakeSlider(this, "Volume", skin::kVolumeThumb, tr("Volume"));
  volume_->setRange(0, 100);
  volume_->setPageStep(10);
  volume_->SetValueText([](int percent) { return tr("Volume %1 %").arg(percent); });

  time_ = new ElapsedTimeView(this);
  time_->setObjectName(QStringLiteral("Time"));
  time_->setGeometry(PlaceOf("Time"));

  info_ = MakeLabel(this, "Info");
  info_->setTextFormat(Qt::RichText);
  info_->setWordWrap(true);
  info_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  info_->setTextInteractionFlags(Qt::NoTextInteraction);
  info_->setMargin(2);
  info_->setAccessibleDescription(tr("Now playing"));

  liveRate_ = MakeLabel(this, "LiveRate");
  liveRate_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  liveUnit_ = MakeLabel(this, "LiveUnit");
  for (QLabel* l : {liveRate_, liveUnit_}) {
    QFont f = l->font();
    f.setPointSize(7);
    l->setFont(f);
  }

  spectrum_ = new SpectrumBarDisplay(this);
  spectrum_->setObjectName(QStringLiteral("Spectrum"));
  spectrum_->setGeometry(PlaceOf("Spectrum"));
  spectrum_->SetColours(skin::kSpectrumBackground, skin::kSpectrumNormal, skin::kSpectrumMedium, skin::kSpectrumHigh);
  spectrum_->SetBands(kSpectrumBands, 10);
  spectrum_->SetPeaks(true);
  spectrum_->SetGrid(false);

  statusImage_ = MakeLabel(this, "Status");
  statusImage_->setAlignment(Qt::AlignCenter);

  // Along the bottom of the track panel's white box, over it while it shows.
  errors_ = new ErrorLine(this);
  errors_->setObjectName(QStringLiteral("Message"));
  const QRect infoRect = PlaceOf("Info");
  errors_->setGeometry(infoRect.x() + 1, infoRect.bottom() - 29, 236, 30);

  QList<QWidget*> focusable{position_, volume_};
  for (QAbstractButton* b : buttons_) focusable << b;
  OrderTabsByPlace(focusable);
}

QAbstractButton* PlayerFace::Button(const QString& name) const {
  for (QAbstractButton* b : buttons_) {
    if (b->objectName() == name) return b;
  }
  return nullptr;
}

QAbstractSlider* PlayerFace::VolumeSlider() const { return volume_; }

void PlayerFace::SetTime(uint32_t ms, std::chrono::steady_clock::time_point now) {
  time_->SetText(FormatElapsed(ms), now);
}
QString PlayerFace::TimeText() const { return time_->Text(); }

void PlayerFace::SetInfo(const QString& html) {
  if (info_->text() != html) info_->setText(html);
}
QString PlayerFace::InfoHtml() const { return info_->text(); }

void PlayerFace::SetPosition(int percent, bool open) {
  const QSignalBlocker quiet(position_);
  if (!open) {
    position_->setRange(0, 0);
    return;
  }
  if (position_->maximum() != 100) position_->setRange(0, 100);
  // The user's hand on the thumb wins over the track's progress.
  if (!position_->isSliderDown()) position_->setValue(percent);
}

void PlayerFace::SetLiveRate(uint32_t kbps) {
  if (kbps == 0) {
    liveRate_->clear();
    liveUnit_->clear();
    return;
  }
  liveRate_->setText(QString::number(kbps));
  liveUnit_->setText(QStringLiteral("kbps"));
}

QString PlayerFace::LiveRate() const {
  return liveUnit_->text().isEmpty() ? QString() : liveRate_->text() + QLatin1Char(' ') + liveUnit_->text();
}

void PlayerFace::SetStatus(StatusImage image) {
  if (image == status_ && !statusImage_->pixmap().isNull()) return;
  status_ = image;
  statusImage_->setPixmap(StatusPixmap(image, devicePixelRatioF()));
  switch (image) {
    case StatusImage::Playing: statusImage_->setAccessibleName(tr("Playing")); break;
    case StatusImage::Paused: statusImage_->setAccessibleName(tr("Paused")); break;
    case StatusImage::Stopped: statusImage_->setAccessibleName(tr("Stopped")); break;
    case StatusImage::EndOfPlaylist: statusImage_->setAccessibleName(tr("End of playlist")); break;
    default: statusImage_->setAccessibleName(QString()); break;
  }
}

void PlayerFace::SetLevels(const SpectrumLevels& levels, std::chrono::steady_clock::time_point now) {
  spectrum_->SetLevels(levels, now);
}
void PlayerFace::AdvanceBars(std::chrono::steady_clock::time_point now) { spectrum_->Advance(now); }
bool PlayerFace::BarsSettled() const { return spectrum_->Settled(); }

void PlayerFace::paintEvent(QPaintEvent* e) {
  QPainter p(this);
  // The skin is drawn once into a pixmap; a repaint then copies only the region asked for.
  const qreal dpr = devicePixelRatioF();
  if (background_.isNull() || background_.size() != size() * dpr) {
    background_ = skin::Render(QString::fromLatin1(skin::kPlayerBackground), size(), dpr);
  }
  for (const QRect& r : e->region()) p.drawPixmap(r, background_, QRectF(QPointF(r.topLeft()) * dpr, QSizeF(r.size()) * dpr));
}

}  // namespace tovira
