#include "ui/player/PlayerDialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>

#include <cmath>

#include "session/DisplayTimers.h"
#include "session/PlaybackSession.h"
#include "ui/controls/ErrorLine.h"
#include "ui/controls/Skin.h"
#include "ui/controls/SkinSlider.h"
#include "ui/player/AboutDialog.h"
#include "ui/player/PlayerActions.h"
#include "ui/player/PlayerFace.h"
#include "ui/player/PlayerLayout.h"
#include "ui/player/TrackText.h"
#include "util/Settings.h"

namespace tovira {

namespace {

constexpr int kVolumeStep = 5;
// How often the spectrum takes the analyser's levels; the bars fall between.
constexpr std::chrono::milliseconds kSpectrumFeed{100};
constexpr char kMain[] = "Main";

QString ShortName(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  return name.isEmpty() ? path : name;
}

}  // namespace

PlayerDialog::PlayerDialog(PlaybackSession& session, Settings& settings, PlayerOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint),
      session_(session),
      settings_(settings),
      options_(std::move(options)) {
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  setWindowIcon(skin::AppIcon());
  setFixedSize(kPlayerWindowSize);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_QuitOnClose);
  move(10, 50);

  face_ = new PlayerFace(this);
  face_->Errors().SetStayMs(options_.statusMessageMs);
  actions_ = new PlayerActions(this);
  menu_ = actions_->MakeMenu(this);

  showPlaylist_ = settings_.ReadInt(kMain, "ShowPl", 1) != 0;
  showEqualizer_ = settings_.ReadInt(kMain, "ShowEq", 1) != 0;
  for (auto [name, on] : {std::pair{"PL", showPlaylist_}, std::pair{"EQ", showEqualizer_}}) {
    const QSignalBlocker quiet(Button(QString::fromLatin1(name)));
    Button(QString::fromLatin1(name))->setChecked(on);
  }
  {
    const QSignalBlocker quiet(face_->VolumeSlider());
    face_->VolumeSlider()->setValue(session_.Volume());
  }
  face_->PositionSlider()->SetValueText([this](int percent) { return PositionText(percent); });
  Bind();
  ShowNowPlaying();
  ShowState();
  ShowOrder();
  // The window holds the keyboard focus until Tab moves it to a control, so that its keys are
  // what they always were.
  setFocus(Qt::OtherFocusReason);
}

PlayerDialog::~PlayerDialog() = default;

void PlayerDialog::Bind() {
  PlaybackSession* s = &session_;
  auto on = [this](PlayerCommand c, auto&& fn) { connect(actions_->Action(c), &QAction::triggered, this, fn); };
  on(PlayerCommand::Play, [s] { s->Play(); });
  on(PlayerCommand::PlayPause, [s] { s->PlayPause(); });
  on(PlayerCommand::Stop, [s] { s->Stop(); });
  on(PlayerCommand::Load, [this] { Load(); });
  on(PlayerCommand::Next, [s] { s->Next(); });
  on(PlayerCommand::Previous, [s] { s->Previous(); });
  on(PlayerCommand::About, [this] { ShowAbout(); });
  on(PlayerCommand::VolumeUp, [s] { s->SetVolume(s->Volume() + kVolumeStep); });
  on(PlayerCommand::VolumeDown, [s] { s->SetVolume(s->Volume() - kVolumeStep); });
  on(PlayerCommand::Help, [this] {
    if (options_.showHelp) options_.showHelp(this);
  });
  // A checkable action flips its own mark; the session's orderChanged then shows what it took.
  on(PlayerCommand::RepeatOff, [s] { s->SetRepeat(Repeat::Off); });
  on(PlayerCommand::RepeatAll, [s] { s->SetRepeat(Repeat::All); });
  on(PlayerCommand::RepeatOne, [s] { s->SetRepeat(Repeat::One); });
  on(PlayerCommand::RepeatCycle, [s] {
    s->SetRepeat(s->RepeatMode() == Repeat::Off ? Repeat::All : s->RepeatMode() == Repeat::All ? Repeat::One : Repeat::Off);
  });
  on(PlayerCommand::ShufflePlay, [s] { s->SetShufflePlay(!s->ShufflePlay()); });
  on(PlayerCommand::StopAfterCurrent, [s] { s->SetStopAfterCurrent(!s->StopAfterCurrent()); });
  connect(s, &PlaybackSession::orderChanged, this, &PlayerDialog::ShowOrder);

  const std::pair<const char*, PlayerCommand> buttons[] = {
      {"Play", PlayerCommand::Play},    {"Pause", PlayerCommand::PlayPause}, {"Stop", PlayerCommand::Stop},
      {"Load", PlayerCommand::Load},    {"Fwd", PlayerCommand::Next},        {"Back", PlayerCommand::Previous},
      {"MS", PlayerCommand::About}};
  for (const auto& [name, command] : buttons) {
    connect(Button(QString::fromLatin1(name)), &QAbstractButton::clicked, actions_->Action(command), &QAction::trigger);
  }
  connect(Button(QStringLiteral("PL")), &QAbstractButton::toggled, this, &PlayerDialog::TogglePlaylist);
  connect(Button(QStringLiteral("EQ")), &QAbstractButton::toggled, this, &PlayerDialog::ToggleEqualizer);

  // A released thumb, or a click beside it (one page towards the click), seeks at once.
  connect(face_->PositionSlider(), &SkinSlider::valueCommitted, this, [this](int percent) {
    session_.SeekPercent(percent);
    face_->SetTime(session_.RunningPositionMs(), session_.Timers().Now());
  });
  connect(face_->VolumeSlider(), &QAbstractSlider::valueChanged, s, &PlaybackSession::SetVolume);
  connect(s, &PlaybackSession::volumeChanged, this, [this](int v) {
    const QSignalBlocker quiet(face_->VolumeSlider());
    face_->VolumeSlider()->setValue(v);
  });

  connect(s, &PlaybackSession::stateChanged, this, &PlayerDialog::ShowState);
  connect(s, &PlaybackSession::nowPlayingChanged, this, &PlayerDialog::ShowNowPlaying);
  connect(s, &PlaybackSession::reported, this, &PlayerDialog::Report);
  connect(s, &PlaybackSession::filesWanted, this, &PlayerDialog::Load);

  DisplayTimers& timers = session_.Timers();
  connect(&timers, &DisplayTimers::frame, this, &PlayerDialog::OnFrame);
  connect(&timers, &DisplayTimers::slowTick, this, [this] {
    face_->SetPosition(session_.PositionPercent(), true);
    face_->SetLiveRate(session_.LiveKbps());
  });
}

void PlayerDialog::OnFrame() {
  DisplayTimers& timers = session_.Timers();
  const auto now = timers.Now();
  // Formatted from what is heard now, so the hundredths are those of the sound.
  face_->SetTime(session_.RunningPositionMs(), now);
  if (session_.IsPlaying() && now - fedAt_ >= kSpectrumFeed) {
    fedAt_ = now;
    face_->SetLevels(session_.Levels(), now);
  }
  face_->AdvanceBars(now);
  timers.SetSettling(!face_->BarsSettled());
}

void PlayerDialog::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  // Ticks on whole frames of the screen.
  if (const QScreen* screen = this->screen(); screen && screen->refreshRate() > 1.0) {
    session_.Timers().SetDisplayFrame(
        std::chrono::milliseconds(static_cast<int>(std::ceil(1000.0 / screen->refreshRate()))));
  }
}

void PlayerDialog::ShowState() {
  face_->SetStatus(session_.Status());
  const bool active = session_.IsActive();
  // Paused or stopped: the bars fall to rest on the display tick, which then stops.
  if (!session_.IsPlaying()) {
    const auto now = session_.Timers().Now();
    face_->SetLevels(SpectrumLevels{}, now);
    session_.Timers().SetSettling(!face_->BarsSettled());
  }
  face_->SetTime(session_.RunningPositionMs(), session_.Timers().Now());
  // Stopped at the last run's place: the slider shows it, and Play starts from there.
  face_->SetPosition(session_.PositionPercent(), active || session_.ResumeShown());
  if (!active) face_->SetLiveRate(0);
}

void PlayerDialog::ShowOrder() {
  // The repeat actions are one exclusive group: checking one unchecks the others.
  const Repeat repeat = session_.RepeatMode();
  actions_->Action(repeat == Repeat::All   ? PlayerCommand::RepeatAll
                   : repeat == Repeat::One ? PlayerCommand::RepeatOne
                                           : PlayerCommand::RepeatOff)
      ->setChecked(true);
  actions_->Action(PlayerCommand::ShufflePlay)->setChecked(session_.ShufflePlay());
  actions_->Action(PlayerCommand::StopAfterCurrent)->setChecked(session_.StopAfterCurrent());
}

void PlayerDialog::ShowNowPlaying() {
  const NowPlaying& now = session_.Current();
  if (now.path.isEmpty()) {
    face_->SetInfo(QString());
    face_->SetLiveRate(0);
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    return;
  }
  const TrackText text = BuildTrackText(now.facts);
  face_->SetInfo(text.html);
  setWindowTitle(text.title);
}

QString PlayerDialog::PositionText(int percent) const {
  if (!session_.IsActive() && !session_.ResumeShown()) return tr("Position, nothing playing");
  const double total = session_.Current().durationMs;
  // While the thumb is held, where it would seek to; else what is heard.
  const uint64_t at = face_->PositionSlider()->isSliderDown() ? static_cast<uint64_t>(total * percent / 100.0)
                                                              : session_.PositionMs();
  if (total <= 0.0) return tr("Position %1").arg(FormatSpokenTime(at));
  return tr("Position %1 of %2").arg(FormatSpokenTime(at), FormatSpokenTime(static_cast<uint64_t>(total)));
}

void PlayerDialog::Report(const QString& file, const QString& reason) {
  face_->Errors().Show(file.isEmpty() ? reason : tr("%1: %2").arg(ShortName(file), reason), file);
}

void PlayerDialog::Load() {
  QStringList files;
  if (options_.chooseFiles) {
    files = options_.chooseFiles(this);
  } else {
    files = QFileDialog::getOpenFileNames(this, tr("Open"), QString(),
                                          tr("MPEG Audio Files (*.mp3 *.mp2 *.mp1 *.MP3 *.MP2 *.MP1);;All files(*)"));
  }
  session_.LoadFiles(files);
}

void PlayerDialog::ShowAbout() {
  AboutDialog about(this);
  about.exec();
}

bool PlayerDialog::AskToQuit(QWidget* parent, const QString& question) {
  return QMessageBox::question(parent, QStringLiteral("Tovira"), question, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

void PlayerDialog::BringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void PlayerDialog::TogglePlaylist(bool show) {
  showPlaylist_ = show;
  const QSignalBlocker quiet(Button(QStringLiteral("PL")));
  Button(QStringLiteral("PL"))->setChecked(show);
  emit playlistWindowToggled(show);
}

void PlayerDialog::ToggleEqualizer(bool show) {
  showEqualizer_ = show;
  const QSignalBlocker quiet(Button(QStringLiteral("EQ")));
  Button(QStringLiteral("EQ"))->setChecked(show);
  emit equalizerWindowToggled(show);
}

QString PlayerDialog::TimeText() const { return face_->TimeText(); }
QString PlayerDialog::InfoHtml() const { return face_->InfoHtml(); }
QString PlayerDialog::StatusMessage() const { return face_->Errors().Shown(); }
QAbstractButton* PlayerDialog::Button(const QString& name) const { return face_->Button(name); }

bool PlayerDialog::event(QEvent* e) {
  // Keys the window uses itself must not become shortcuts of a focused child first.
  if (e->type() == QEvent::ShortcutOverride) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (!(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
        (actions_->ForKey(k->key(), false) || PlayerActions::Swallowed(k->key()))) {
      e->accept();
      return true;
    }
  }
  return QWidget::event(e);
}

void PlayerDialog::keyPressEvent(QKeyEvent* e) {
  if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
    QWidget::keyPressEvent(e);
    return;
  }
  // Esc from a focused control gives the focus back to the window (and its keys with it).
  if (e->key() == Qt::Key_Escape && focusWidget() && focusWidget() != this) setFocus(Qt::ShortcutFocusReason);
  if (QAction* action = actions_->ForKey(e->key(), e->isAutoRepeat())) {
    action->trigger();
  } else if (!PlayerActions::Swallowed(e->key()) && !actions_->ForKey(e->key(), false)) {
    QWidget::keyPressEvent(e);
    return;
  }
  e->accept();
}

void PlayerDialog::keyReleaseEvent(QKeyEvent* e) { e->accept(); }

void PlayerDialog::contextMenuEvent(QContextMenuEvent* e) { menu_->popup(e->globalPos()); }

void PlayerDialog::closeEvent(QCloseEvent* e) {
  if (!session_.Close()) {
    // The list is still in memory: quitting now loses it, staying lets the user make room.
    const QString text = tr("The playlist could not be saved: %1.\n\nQuit anyway?").arg(session_.SaveFailureReason());
    const bool quit = options_.confirmQuit ? options_.confirmQuit(this, text) : AskToQuit(this, text);
    if (!quit) {
      e->ignore();
      return;
    }
  }
  settings_.WriteInt(kMain, "ShowPl", showPlaylist_ ? 1 : 0);
  settings_.WriteInt(kMain, "ShowEq", showEqualizer_ ? 1 : 0);
  e->accept();
}

}  // namespace tovira
