#include "ui/player/PlayerDialog.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPropertyAnimation>
#include <QSettings>
#include <QStandardPaths>
#include <QWindow>

#include <algorithm>
#include <cmath>

#include "output/AudioDevice.h"
#include "ui/controls/Skin.h"
#include "ui/controls/SkinButton.h"
#include "ui/controls/SkinSlider.h"
#include "ui/controls/SpectrumBarDisplay.h"
#include "ui/player/AboutDialog.h"
#include "ui/player/PlayerLayout.h"
#include "ui/player/PlayerWidgets.h"
#include "ui/player/TrackText.h"

namespace tovira {

namespace {

constexpr int kTimeTextMs = 10;
constexpr int kPositionMs = 500;
constexpr int kSpectrumMs = 100;
constexpr int kTickMs = 1000;
constexpr int kVolumeStep = 5;

std::filesystem::path DataFolder(const std::filesystem::path& chosen) {
  if (!chosen.empty()) return chosen;
  const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  QDir().mkpath(dir);
  return std::filesystem::path(dir.toStdString());
}

bool IsPlaylistFile(const QString& path) { return path.endsWith(QStringLiteral(".m3u"), Qt::CaseInsensitive); }

QString ShortName(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  return name.isEmpty() ? path : name;
}

template <typename Button>
QAbstractButton* MakeButton(QWidget* parent, const QString& name, const skin::Cell& cell) {
  auto* b = new Button(cell, parent);
  b->setObjectName(name);
  b->setFocusPolicy(Qt::NoFocus);
  b->setToolTip(name);
  b->setGeometry(PlaceOf(name.toStdString()));
  return b;
}

SkinSlider* MakeSlider(QWidget* parent, const QString& name, const skin::Thumb& thumb) {
  auto* s = new SkinSlider(Qt::Horizontal, thumb, parent);
  s->setObjectName(name);
  s->setFocusPolicy(Qt::NoFocus);
  s->SetBackgroundColour(Qt::transparent);
  s->setGeometry(PlaceOf(name.toStdString()));
  return s;
}

}  // namespace

PlayerDialog::PlayerDialog(QWidget* parent) : PlayerDialog(Options{}, parent) {}

PlayerDialog::PlayerDialog(Options options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint), options_(std::move(options)) {
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  setWindowIcon(skin::AppIcon());
  setFixedSize(kPlayerWindowSize);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_QuitOnClose);

  controller_ = std::make_unique<EngineController>(std::move(options_.device), this, options_.fallbackToSilence);
  connect(controller_.get(), &EngineController::trackEnded, this, &PlayerDialog::OnTrackEnded);
  connect(controller_.get(), &EngineController::trackFailed, this, &PlayerDialog::OnTrackFailed);
  connect(controller_.get(), &EngineController::notice, this,
          [this](const QString& text) { ReportFailure(QString(), text); });
  connect(controller_.get(), &EngineController::stateChanged, this, [this](EngineState) { SyncTimers(); });

  PlaylistOptions po;
  po.dataFolder = DataFolder(options_.dataFolder);
  PlaylistCallbacks pc;
  pc.startRow = [this](const std::string& path) { PlayPath(QString::fromStdString(path), true); };
  pc.batchReady = [this](size_t) {
    QMetaObject::invokeMethod(this, [this] { DeliverBatch(); }, Qt::QueuedConnection);
  };
  playlist_ = std::make_unique<PlaylistModel>(std::move(po), std::move(pc));

  timeTimer_.setInterval(kTimeTextMs);
  timeTimer_.setTimerType(Qt::PreciseTimer);
  connect(&timeTimer_, &QTimer::timeout, this, &PlayerDialog::UpdateTime);
  positionTimer_.setInterval(kPositionMs);
  connect(&positionTimer_, &QTimer::timeout, this, &PlayerDialog::UpdatePosition);
  spectrumTimer_.setInterval(kSpectrumMs);
  connect(&spectrumTimer_, &QTimer::timeout, this, &PlayerDialog::UpdateSpectrum);
  batchTimer_.setSingleShot(true);
  batchTimer_.setInterval(options_.batchDelayMs);
  connect(&batchTimer_, &QTimer::timeout, this, &PlayerDialog::FlushPendingFiles);
  tickTimer_.setInterval(kTickMs);
  connect(&tickTimer_, &QTimer::timeout, this, &PlayerDialog::PlaylistTick);
  messageTimer_.setSingleShot(true);
  connect(&messageTimer_, &QTimer::timeout, this, [this] { fade_->start(); });

  BuildControls();
  BuildMenu();
  ReadSettings();
  move(10, 50);

  if (!playlist_->LoadDefaultPlaylist()) {
    ReportFailure(QString::fromStdString(playlist_->DefaultPlaylistPath().string()),
                  tr("The saved playlist could not be read; it was set aside."));
  }
  StartSaveTick();
}

PlayerDialog::~PlayerDialog() {
  timeTimer_.stop();
  positionTimer_.stop();
  spectrumTimer_.stop();
  // The engine goes first: no track may end into a half-destroyed window.
  controller_->StopAndClose();
}

void PlayerDialog::BuildControls() {
  back_ = MakeButton<SkinButton>(this, QStringLiteral("Back"), skin::kPrevious);
  fwd_ = MakeButton<SkinButton>(this, QStringLiteral("Fwd"), skin::kNext);
  play_ = MakeButton<SkinButton>(this, QStringLiteral("Play"), skin::kPlay);
  pause_ = MakeButton<SkinButton>(this, QStringLiteral("Pause"), skin::kPause);
  stop_ = MakeButton<SkinButton>(this, QStringLiteral("Stop"), skin::kStop);
  ff_ = MakeButton<SkinButton>(this, QStringLiteral("FF"), skin::kFastForward);
  load_ = MakeButton<SkinButton>(this, QStringLiteral("Load"), skin::kLoad);
  about_ = MakeButton<SkinButton>(this, QStringLiteral("MS"), skin::kAbout);
  eq_ = MakeButton<SkinToggleButton>(this, QStringLiteral("EQ"), skin::kEqualizerToggle);
  pl_ = MakeButton<SkinToggleButton>(this, QStringLiteral("PL"), skin::kPlaylistToggle);
  play_->setToolTip(tr("Play"));
  pause_->setToolTip(tr("Play/Pause (Space)"));
  stop_->setToolTip(tr("Stop (X)"));
  load_->setToolTip(tr("Load files (Enter)"));
  fwd_->setToolTip(tr("Next (N)"));
  back_->setToolTip(tr("Previous (B)"));
  about_->setToolTip(tr("About Tovira"));
  eq_->setToolTip(tr("Equalizer"));
  pl_->setToolTip(tr("Playlist"));
  // A button the window was drawn with but that does nothing.
  ff_->hide();
  ff_->setEnabled(false);

  connect(play_, &QAbstractButton::clicked, this, &PlayerDialog::Play);
  connect(pause_, &QAbstractButton::clicked, this, &PlayerDialog::PlayPause);
  connect(stop_, &QAbstractButton::clicked, this, &PlayerDialog::Stop);
  connect(load_, &QAbstractButton::clicked, this, &PlayerDialog::Load);
  connect(fwd_, &QAbstractButton::clicked, this, &PlayerDialog::Next);
  connect(back_, &QAbstractButton::clicked, this, &PlayerDialog::Previous);
  connect(about_, &QAbstractButton::clicked, this, &PlayerDialog::ShowAbout);
  connect(eq_, &QAbstractButton::toggled, this, &PlayerDialog::ToggleEqualizer);
  connect(pl_, &QAbstractButton::toggled, this, &PlayerDialog::TogglePlaylist);

  auto* position = MakeSlider(this, QStringLiteral("Position"), skin::kPositionThumb);
  position_ = position;
  position_->setRange(0, 0);
  position_->setPageStep(10);
  // A released thumb, or a click beside it (one page towards the click), seeks at once.
  connect(position, &SkinSlider::valueCommitted, this, &PlayerDialog::SeekPercent);

  volume_ = MakeSlider(this, QStringLiteral("Volume"), skin::kVolumeThumb);
  volume_->setRange(0, 100);
  volume_->setPageStep(10);
  connect(volume_, &QAbstractSlider::valueChanged, this,
          [this](int v) { controller_->SetVolumePercent(v); });

  time_ = new ElapsedTimeView(this);
  time_->setObjectName(QStringLiteral("Time"));
  time_->setGeometry(PlaceOf("Time"));

  info_ = new QLabel(this);
  info_->setObjectName(QStringLiteral("Info"));
  info_->setTextFormat(Qt::RichText);
  info_->setWordWrap(true);
  info_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  info_->setTextInteractionFlags(Qt::NoTextInteraction);
  info_->setMargin(2);
  info_->setGeometry(PlaceOf("Info"));

  liveRate_ = new QLabel(this);
  liveRate_->setObjectName(QStringLiteral("LiveRate"));
  liveRate_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  liveRate_->setGeometry(PlaceOf("LiveRate"));
  liveUnit_ = new QLabel(this);
  liveUnit_->setObjectName(QStringLiteral("LiveUnit"));
  liveUnit_->setGeometry(PlaceOf("LiveUnit"));
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
  spectrum_->StartTimer(55);

  statusImage_ = new QLabel(this);
  statusImage_->setObjectName(QStringLiteral("Status"));
  statusImage_->setGeometry(PlaceOf("Status"));
  statusImage_->setAlignment(Qt::AlignCenter);

  // The error line lies over the lower part of the track panel while it shows.
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("Message"));
  message_->setWordWrap(true);
  message_->setStyleSheet(QStringLiteral(
      "QLabel { background: #fff3d4; color: #4a3200; border: 1px solid #d9a640; border-radius: 3px; padding: 1px 4px; }"));
  QFont mf = message_->font();
  mf.setPointSize(7);
  message_->setFont(mf);
  // Along the bottom of the track panel's white box.
  const QRect infoRect = PlaceOf("Info");
  message_->setGeometry(infoRect.x() + 1, infoRect.bottom() - 29, 236, 30);
  message_->hide();
  auto* opacity = new QGraphicsOpacityEffect(message_);
  message_->setGraphicsEffect(opacity);
  fade_ = new QPropertyAnimation(opacity, "opacity", this);
  fade_->setDuration(600);
  fade_->setStartValue(1.0);
  fade_->setEndValue(0.0);
  connect(fade_, &QPropertyAnimation::finished, this, [this] {
    message_->hide();
    message_->clear();
  });
}

void PlayerDialog::BuildMenu() {
  menu_ = new QMenu(this);
  menu_->addAction(tr("&About Tovira"), this, &PlayerDialog::ShowAbout);
  menu_->addSeparator();
  QMenu* player = menu_->addMenu(tr("Player"));
  player->addAction(QStringLiteral("Previous/&Back \tB "), this, &PlayerDialog::Previous);
  player->addAction(QStringLiteral("&Next\tN"), this, &PlayerDialog::Next);
  player->addAction(QStringLiteral("&Play/Pa&use\tspace"), this, &PlayerDialog::PlayPause);
  player->addAction(QStringLiteral("&Stop\tX "), this, &PlayerDialog::Stop);
  player->addAction(QStringLiteral("Load &File\tEnter"), this, &PlayerDialog::Load);
}

void PlayerDialog::ReadSettings() {
  QSettings s;
  s.beginGroup(QStringLiteral("Main"));
  const int vol = std::clamp(s.value(QStringLiteral("Vol"), 50).toInt(), 0, 100);
  showPlaylist_ = s.value(QStringLiteral("ShowPl"), 1).toInt() != 0;
  showEqualizer_ = s.value(QStringLiteral("ShowEq"), 1).toInt() != 0;
  s.endGroup();
  volume_->setValue(vol);
  controller_->SetVolumePercent(vol);
  const QSignalBlocker b1(pl_), b2(eq_);
  pl_->setChecked(showPlaylist_);
  eq_->setChecked(showEqualizer_);
}

void PlayerDialog::WriteSettings() {
  QSettings s;
  s.beginGroup(QStringLiteral("Main"));
  s.setValue(QStringLiteral("Vol"), volume_->value());
  s.setValue(QStringLiteral("ShowPl"), pl_->isChecked() ? 1 : 0);
  s.setValue(QStringLiteral("ShowEq"), eq_->isChecked() ? 1 : 0);
  s.endGroup();
  s.sync();
}

void PlayerDialog::OpenStartupFile(const QString& path) {
  QString file = path;
  while (file.startsWith(QLatin1Char('"'))) file.remove(0, 1);
  while (file.endsWith(QLatin1Char('"'))) file.chop(1);
  if (file.isEmpty()) return;
  currentFile_ = file;
  if (IsPlaylistFile(file)) {
    currentFile_.clear();
    playlist_->AddPaths({file.toStdString()});
    StartSaveTick();
    return;
  }
  startedFromPlaylist_ = false;
  Play();
}

void PlayerDialog::QueueFile(const QString& path) {
  if (path.isEmpty()) return;
  if (!batchTimer_.isActive()) batchTimer_.start(options_.batchDelayMs);
  pendingFiles_.append(path);
}

void PlayerDialog::FlushPendingFiles() {
  std::vector<std::string> paths;
  for (const QString& p : std::as_const(pendingFiles_)) paths.push_back(p.toStdString());
  pendingFiles_.clear();
  if (paths.empty()) return;
  playlist_->AddPaths(std::move(paths));
  StartSaveTick();
}

void PlayerDialog::BringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void PlayerDialog::DeliverBatch() {
  playlist_->DeliverBatches();
  StartSaveTick();
}

void PlayerDialog::NotePlaylistChanged() { StartSaveTick(); }

void PlayerDialog::StartSaveTick() {
  if (!tickTimer_.isActive()) tickTimer_.start();
}

void PlayerDialog::PlaylistTick() {
  playlist_->Tick();
  if (!playlist_->HasUnsavedChanges() && !playlist_->IsLoading()) tickTimer_.stop();
}

// ---- transport ----

void PlayerDialog::Play() {
  if (currentFile_.isEmpty()) {
    // The playlist's next row, or the files the user picks, start playing on their own; trying
    // the file here again would report a failure twice and skip a row.
    if (!playlist_->PlayNext()) Load();
    return;
  }
  const EngineState state = controller_->State();
  if (state == EngineState::Paused) {
    controller_->Resume();
    SetStatus(StatusImage::Playing);
    SyncTimers();
    EmitChange();
    return;
  }
  if (state == EngineState::Playing) {
    SetStatus(StatusImage::Playing);
    return;
  }

  vbr_ = false;
  const EngineController::Result started = controller_->Play(currentFile_);
  if (!started.ok) {
    ClearTrack();
    SetStatus(StatusImage::Stopped);
    ReportFailure(currentFile_, started.reason);
    if (startedFromPlaylist_) {
      // The playlist goes on; posted, so a long run of unplayable rows never nests.
      QMetaObject::invokeMethod(this, [this] { OnTrackEnded(); }, Qt::QueuedConnection);
    }
    EmitChange();
    return;
  }
  ShowTrack();
  SetStatus(StatusImage::Playing);
  SyncTimers();
  EmitChange();
}

void PlayerDialog::ShowTrack() {
  const auto facts = ReadTrackFacts(currentFile_.toStdString());
  facts_ = facts ? *facts : TrackFacts{};
  facts_.path = currentFile_.toStdString();
  totalMs_ = facts_.durationMs;
  vbr_ = facts_.vbr;
  firstKbps_ = 0;
  const TrackText text = BuildTrackText(facts_);
  info_->setText(text.html);
  setWindowTitle(text.title);
  updatingPosition_ = true;
  position_->setRange(0, 100);
  position_->setValue(0);
  updatingPosition_ = false;
  liveRate_->clear();
  liveUnit_->clear();
  time_->SetText(FormatElapsed(0));
}

void PlayerDialog::ClearTrack() {
  facts_ = TrackFacts{};
  info_->clear();
  liveRate_->clear();
  liveUnit_->clear();
  vbr_ = false;
  totalMs_ = 0.0;
  SetPositionQuietly(0);
  time_->SetText(FormatElapsed(0));
  setWindowTitle(QString::fromLatin1(kProgramTitle));
}

void PlayerDialog::PlayPause() {
  switch (controller_->State()) {
    case EngineState::Closed:
      return;
    case EngineState::Playing:
      controller_->Pause();
      SetStatus(StatusImage::Paused);
      break;
    default:
      if (controller_->Resume()) SetStatus(StatusImage::Playing);
      break;
  }
  SyncTimers();
  EmitChange();
}

void PlayerDialog::Stop() {
  if (controller_->State() == EngineState::Closed) return;
  controller_->StopAndClose();
  SetPositionQuietly(0);
  time_->SetText(FormatElapsed(0));
  FeedZeroLevels();
  SetStatus(StatusImage::Stopped);
  SyncTimers();
  EmitChange();
}

void PlayerDialog::Next() { playlist_->PlayNext(); }

void PlayerDialog::Previous() { playlist_->PlayPrevious(); }

void PlayerDialog::PlayFile(const QString& path) { PlayPath(path, false); }

void PlayerDialog::PlayPath(const QString& path, bool fromPlaylist) {
  Stop();
  currentFile_ = path;
  startedFromPlaylist_ = fromPlaylist;
  Play();
}

void PlayerDialog::Load() {
  QStringList files;
  if (options_.chooseFiles) {
    files = options_.chooseFiles(this);
  } else {
    files = QFileDialog::getOpenFileNames(
        this, tr("Open"), QString(),
        tr("MPEG Audio Files (*.mp3 *.mp2 *.mp1 *.MP3 *.MP2 *.MP1);;All files(*)"));
  }
  if (files.isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& f : std::as_const(files)) paths.push_back(f.toStdString());
  playlist_->AddPaths(std::move(paths));
  StartSaveTick();
  const QString first = files.front();
  if (controller_->State() == EngineState::Playing) return;
  currentFile_ = first;
  if (playlist_->PlayNext()) return;
  if (IsPlaylistFile(currentFile_)) return;
  startedFromPlaylist_ = false;
  Play();
}

void PlayerDialog::SeekPercent(int percent) {
  if (!controller_->IsActive() || totalMs_ <= 0.0) return;
  const double p = std::clamp(percent, 0, 100);
  const auto target = static_cast<uint32_t>(p * totalMs_ / 100.0);
  if (controller_->Seek(target)) emit seeked(target);
  UpdateTime();
}

void PlayerDialog::SetVolume(int percent) { volume_->setValue(std::clamp(percent, 0, 100)); }

void PlayerDialog::OnTrackEnded() {
  if (playlist_->PlayNext()) return;
  EndOfPlaylist();
}

void PlayerDialog::OnTrackFailed(const QString& reason) {
  ReportFailure(currentFile_, reason);
  OnTrackEnded();
}

void PlayerDialog::EndOfPlaylist() {
  controller_->StopAndClose();
  ClearTrack();
  FeedZeroLevels();
  SetStatus(StatusImage::EndOfPlaylist);
  SyncTimers();
  EmitChange();
}

void PlayerDialog::ReportFailure(const QString& file, const QString& reason) {
  const QString text = file.isEmpty() ? reason : tr("%1: %2").arg(ShortName(file), reason);
  fade_->stop();
  static_cast<QGraphicsOpacityEffect*>(message_->graphicsEffect())->setOpacity(1.0);
  message_->setText(text);
  message_->setToolTip(file);
  message_->show();
  message_->raise();
  messageTimer_.start(options_.statusMessageMs);
}

// ---- timers ----

void PlayerDialog::SyncTimers() {
  const EngineState s = controller_->State();
  const bool playing = s == EngineState::Playing;
  const bool active = playing || s == EngineState::Paused;
  if (playing != timeTimer_.isActive()) playing ? timeTimer_.start() : timeTimer_.stop();
  if (active != positionTimer_.isActive()) active ? positionTimer_.start() : positionTimer_.stop();
  if (playing != spectrumTimer_.isActive()) {
    if (playing) {
      spectrumTimer_.start();
    } else {
      spectrumTimer_.stop();
      // Paused: the bars fall to rest; stopped: they were zeroed already.
      FeedZeroLevels();
    }
  }
  if (!active) time_->SetText(FormatElapsed(s == EngineState::Ended ? 0 : controller_->PositionMs()));
  else UpdateTime();
}

void PlayerDialog::UpdateTime() { time_->SetText(FormatElapsed(controller_->PositionMs())); }

void PlayerDialog::UpdatePosition() {
  const uint32_t kbps = controller_->BitrateKbps();
  if (!vbr_ && kbps != 0) {
    // A stream without a Xing header shows that it is variable only by changing its rate.
    if (firstKbps_ == 0) {
      firstKbps_ = kbps;
    } else if (kbps != firstKbps_) {
      vbr_ = facts_.vbr = true;
      info_->setText(BuildTrackText(facts_).html);
    }
  }
  if (vbr_) {
    liveRate_->setText(QString::number(kbps));
    liveUnit_->setText(QStringLiteral("kbps"));
  }
  // The engine's length replaces the tag reader's estimate once the file has been indexed.
  if (const double engineMs = controller_->DurationMs(); engineMs > 0.0) totalMs_ = engineMs;
  if (position_->isSliderDown() || totalMs_ <= 0.0) return;
  const double pct = controller_->PositionMs() * 100.0 / totalMs_;
  SetPositionQuietly(static_cast<int>(std::clamp(pct, 0.0, 100.0)));
}

void PlayerDialog::SetPositionQuietly(int percent) {
  updatingPosition_ = true;
  position_->setValue(percent);
  updatingPosition_ = false;
}

void PlayerDialog::UpdateSpectrum() {
  const EngineState s = controller_->State();
  if (s == EngineState::Playing || s == EngineState::Paused) {
    const SpectrumLevels levels = controller_->Levels();
    spectrum_->SetLevels(levels);
  } else {
    FeedZeroLevels();
  }
}

void PlayerDialog::FeedZeroLevels() {
  const SpectrumLevels zeros{};
  spectrum_->SetLevels(zeros);
}

bool PlayerDialog::TimersIdle() const {
  return !timeTimer_.isActive() && !positionTimer_.isActive() && !spectrumTimer_.isActive() &&
         !batchTimer_.isActive() && !tickTimer_.isActive() && !messageTimer_.isActive() &&
         fade_->state() != QAbstractAnimation::Running;
}

// ---- status and accessors ----

void PlayerDialog::SetStatus(StatusImage image) {
  status_ = image;
  statusImage_->setPixmap(StatusPixmap(image, devicePixelRatioF()));
}

void PlayerDialog::EmitChange() { emit playbackChanged(controller_->State(), currentFile_); }

QString PlayerDialog::TimeText() const { return time_->Text(); }
QString PlayerDialog::InfoHtml() const { return info_->text(); }
QString PlayerDialog::StatusMessage() const { return message_->isVisible() ? message_->text() : QString(); }
QString PlayerDialog::LiveBitrate() const {
  return liveUnit_->text().isEmpty() ? QString() : liveRate_->text() + QLatin1Char(' ') + liveUnit_->text();
}
int PlayerDialog::Volume() const { return volume_->value(); }
int PlayerDialog::PositionPercent() const { return position_->value(); }

QAbstractButton* PlayerDialog::Button(const QString& name) const {
  for (QAbstractButton* b : {play_, pause_, stop_, load_, ff_, fwd_, back_, about_, eq_, pl_}) {
    if (b->objectName() == name) return b;
  }
  return nullptr;
}

void PlayerDialog::ShowAbout() {
  AboutDialog about(this);
  about.exec();
}

// ---- companions ----

void PlayerDialog::SetCompanions(QWidget* playlistWindow, QWidget* equalizerWindow) {
  playlistWindow_ = playlistWindow;
  equalizerWindow_ = equalizerWindow;
  for (QWidget* w : {playlistWindow, equalizerWindow}) {
    if (w) w->setAttribute(Qt::WA_ShowWithoutActivating);
  }
  if (isVisible()) ShowCompanions(true);
}

void PlayerDialog::SetCompanionSlides(std::function<void(bool)> playlist, std::function<void(bool)> equalizer) {
  playlistSlide_ = std::move(playlist);
  equalizerSlide_ = std::move(equalizer);
}

void PlayerDialog::TogglePlaylist(bool show) {
  showPlaylist_ = show;
  if (pl_->isChecked() != show) {
    const QSignalBlocker b(pl_);
    pl_->setChecked(show);
  }
  if (playlistWindow_) {
    if (playlistSlide_ && isVisible() && !isMinimized()) {
      playlistSlide_(show);
    } else if (show && isVisible() && !isMinimized()) {
      DockCompanions();
      playlistWindow_->show();
    } else {
      playlistWindow_->hide();
    }
  }
  emit playlistWindowToggled(show);
}

void PlayerDialog::ToggleEqualizer(bool show) {
  showEqualizer_ = show;
  if (eq_->isChecked() != show) {
    const QSignalBlocker b(eq_);
    eq_->setChecked(show);
  }
  if (equalizerWindow_) {
    if (equalizerSlide_ && isVisible() && !isMinimized()) {
      equalizerSlide_(show);
    } else if (show && isVisible() && !isMinimized()) {
      DockCompanions();
      equalizerWindow_->show();
    } else {
      equalizerWindow_->hide();
    }
  }
  emit equalizerWindowToggled(show);
}

void PlayerDialog::DockCompanions() {
  const QRect frame = frameGeometry();
  if (equalizerWindow_ && showEqualizer_) equalizerWindow_->move(frame.right() + 1, frame.top());
  if (playlistWindow_ && showPlaylist_) playlistWindow_->move(frame.left(), frame.bottom() + 1);
}

void PlayerDialog::ShowCompanions(bool show) {
  if (playlistWindow_) (show && showPlaylist_) ? (DockCompanions(), playlistWindow_->show()) : playlistWindow_->hide();
  if (equalizerWindow_) {
    (show && showEqualizer_) ? (DockCompanions(), equalizerWindow_->show()) : equalizerWindow_->hide();
  }
}

// ---- events ----

bool PlayerDialog::event(QEvent* e) {
  // Keys the window uses itself must not become shortcuts of a focused child first.
  if (e->type() == QEvent::ShortcutOverride) {
    auto* k = static_cast<QKeyEvent*>(e);
    switch (k->key()) {
      case Qt::Key_Space:
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_Left:
      case Qt::Key_Right:
      case Qt::Key_Escape:
        e->accept();
        return true;
      default:
        break;
    }
  }
  if (e->type() == QEvent::Show) QMetaObject::invokeMethod(this, [this] { ShowCompanions(true); }, Qt::QueuedConnection);
  return QWidget::event(e);
}

void PlayerDialog::keyPressEvent(QKeyEvent* e) {
  if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
    QWidget::keyPressEvent(e);
    return;
  }
  switch (e->key()) {
    case Qt::Key_B:
      Previous();
      break;
    case Qt::Key_N:
      Next();
      break;
    case Qt::Key_Space:
      if (!e->isAutoRepeat()) PlayPause();
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Load();
      break;
    case Qt::Key_X:
      Stop();
      break;
    case Qt::Key_Up:
      SetVolume(volume_->value() + kVolumeStep);
      break;
    case Qt::Key_Down:
      SetVolume(volume_->value() - kVolumeStep);
      break;
    case Qt::Key_F1:
      if (options_.showHelp) options_.showHelp(this);
      break;
    case Qt::Key_Escape:
    case Qt::Key_Left:
    case Qt::Key_Right:
      break;
    default:
      QWidget::keyPressEvent(e);
      return;
  }
  e->accept();
}

void PlayerDialog::keyReleaseEvent(QKeyEvent* e) { e->accept(); }

void PlayerDialog::contextMenuEvent(QContextMenuEvent* e) { menu_->popup(e->globalPos()); }

void PlayerDialog::moveEvent(QMoveEvent* e) {
  QWidget::moveEvent(e);
  DockCompanions();
}

void PlayerDialog::changeEvent(QEvent* e) {
  if (e->type() == QEvent::WindowStateChange) {
    const bool minimised = isMinimized();
    if (minimised != minimised_) {
      minimised_ = minimised;
      // Minimising takes the docked windows along; restoring brings back those that were shown.
      ShowCompanions(!minimised);
    }
  }
  QWidget::changeEvent(e);
}

void PlayerDialog::closeEvent(QCloseEvent* e) {
  controller_->StopAndClose();
  SyncTimers();
  FlushPendingFiles();
  WriteSettings();
  playlist_->SaveDefaultPlaylist();
  tickTimer_.stop();
  batchTimer_.stop();
  ShowCompanions(false);
  e->accept();
}

void PlayerDialog::paintEvent(QPaintEvent* e) {
  QPainter p(this);
  // The skin is drawn once into a pixmap; a repaint then copies only the region asked for.
  const qreal dpr = devicePixelRatioF();
  if (background_.isNull() || background_.size() != size() * dpr) {
    background_ = skin::Render(QString::fromLatin1(skin::kPlayerBackground), size(), dpr);
  }
  for (const QRect& r : e->region()) p.drawPixmap(r, background_, QRectF(QPointF(r.topLeft()) * dpr, QSizeF(r.size()) * dpr));
}

}  // namespace tovira
