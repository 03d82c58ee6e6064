#include "session/PlaybackSession.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QStandardPaths>

#include <algorithm>
#include <vector>

#include "output/AudioDevice.h"
#include "playlist/PlaylistFiles.h"
#include "playlist/PlaylistModel.h"
#include "session/Autosave.h"
#include "session/Clock.h"
#include "session/DisplayTimers.h"
#include "session/EngineController.h"
#include "util/Settings.h"

namespace tovira {

namespace {

constexpr char kMainSection[] = "Main";
constexpr char kVolumeName[] = "Vol";

std::filesystem::path DataFolder(const std::filesystem::path& chosen) {
  if (!chosen.empty()) return chosen;
  const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  QDir().mkpath(dir);
  return std::filesystem::path(dir.toStdString());
}

bool IsPlaylist(const QString& path) { return IsPlaylistName(path.toStdString()); }

std::vector<std::string> ToStd(const QStringList& list) {
  std::vector<std::string> out;
  out.reserve(static_cast<size_t>(list.size()));
  for (const QString& s : list) out.push_back(s.toStdString());
  return out;
}

}  // namespace

PlaybackSession::PlaybackSession(SessionOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
  clock_ = options_.clock;
  if (!clock_) {
    ownClock_ = std::make_unique<EventLoopClock>();
    clock_ = ownClock_.get();
  }
  controller_ = std::make_unique<EngineController>(std::move(options_.device), nullptr, options_.fallbackToSilence);
  connect(controller_.get(), &EngineController::trackEnded, this, &PlaybackSession::OnTrackEnded);
  connect(controller_.get(), &EngineController::trackFailed, this, &PlaybackSession::OnTrackFailed);
  connect(controller_.get(), &EngineController::notice, this,
          [this](const QString& text) { emit reported(QString(), text); });
  connect(controller_.get(), &EngineController::stateChanged, this, [this](EngineState) {
    Sync();
    emit stateChanged();
  });

  timers_ = std::make_unique<DisplayTimers>(*clock_);
  connect(timers_.get(), &DisplayTimers::positionTick, this, &PlaybackSession::OnPositionTick);

  PlaylistOptions po;
  po.dataFolder = DataFolder(options_.dataFolder);
  po.shuffleSeed = options_.shuffleSeed;
  PlaylistCallbacks pc;
  pc.startRow = [this](const std::string& path) {
    const QString file = QString::fromStdString(path);
    if (asking_) {
      requested_ = file;
      return;
    }
    // A start the session did not ask for (nothing in the program does this today): run it on
    // its own, after the call that made it.
    QMetaObject::invokeMethod(this, [this, file] { StartFile(file, true); }, Qt::QueuedConnection);
  };
  pc.batchReady = [this](size_t) {
    QMetaObject::invokeMethod(this, [this] { playlist_->DeliverBatches(); }, Qt::QueuedConnection);
  };
  pc.changed = [this] { autosave_->NoteChange(); };
  pc.firstRowArrived = [this](uint64_t tag, int row) { OnFirstRow(tag, row); };
  playlist_ = std::make_unique<PlaylistModel>(std::move(po), std::move(pc));
  autosave_ = std::make_unique<Autosave>(*playlist_, *clock_, options_.autosaveDelay);
  autosave_->onFailure = [this](const std::string& reason) {
    emit reported(QString::fromStdString(playlist_->DefaultPlaylistPath().string()),
                  tr("The playlist could not be saved: %1.").arg(QString::fromStdString(reason)));
  };

  batchTimer_ = clock_->MakeTimer();
  batchTimer_->onTimeout = [this] { FlushHandOff(); };

  if (options_.settings) volume_ = std::clamp(options_.settings->ReadInt(kMainSection, kVolumeName, 50), 0, 100);
  controller_->SetVolumePercent(volume_);

  if (!playlist_->LoadDefaultPlaylist()) {
    // Reported once the faces are connected.
    const QString path = QString::fromStdString(playlist_->DefaultPlaylistPath().string());
    QMetaObject::invokeMethod(
        this, [this, path] { emit reported(path, tr("The saved playlist could not be read; it was set aside.")); },
        Qt::QueuedConnection);
  }
}

PlaybackSession::~PlaybackSession() {
  // The engine goes first: no track may end into a half-destroyed session.
  controller_->StopAndClose();
  controller_.reset();
  // The model's own last save (it also writes rows still being read).
  autosave_.reset();
  playlist_.reset();
}

// ---- state ----

EngineState PlaybackSession::State() const { return controller_->State(); }
bool PlaybackSession::IsActive() const { return controller_->IsActive(); }
bool PlaybackSession::IsPlaying() const { return controller_->State() == EngineState::Playing; }
uint32_t PlaybackSession::PositionMs() const { return IsActive() ? controller_->PositionMs() : 0; }

int PlaybackSession::PositionPercent() const {
  if (!IsActive() || now_.durationMs <= 0.0) return 0;
  return static_cast<int>(std::clamp(PositionMs() * 100.0 / now_.durationMs, 0.0, 100.0));
}

uint32_t PlaybackSession::LiveKbps() const { return IsActive() && now_.facts.vbr ? controller_->BitrateKbps() : 0; }

SpectrumLevels PlaybackSession::Levels() { return IsActive() ? controller_->Levels() : SpectrumLevels{}; }

bool PlaybackSession::HandOffPending() const { return batchTimer_->IsActive(); }

void PlaybackSession::SetStatus(StatusImage image) {
  if (image == status_) return;
  status_ = image;
  emit stateChanged();
}

void PlaybackSession::Sync() {
  const EngineState s = controller_->State();
  timers_->Set(s == EngineState::Playing, s == EngineState::Playing || s == EngineState::Paused);
}

// ---- starting files ----

template <typename Call>
std::optional<QString> PlaybackSession::Requested(Call&& call) {
  requested_.reset();
  asking_ = true;
  call();
  asking_ = false;
  return std::exchange(requested_, std::nullopt);
}

bool PlaybackSession::StartFile(const QString& path, bool fromPlaylist) {
  // Checked before anything stops: a file that cannot be played leaves what plays alone.
  const EngineController::Result playable = EngineController::CheckPlayable(path);
  if (!playable.ok) {
    emit reported(path, playable.reason);
    return false;
  }
  const auto facts = ReadTrackFacts(path.toStdString());
  const EngineController::Result started = controller_->Play(path);
  file_ = path;
  fromPlaylist_ = fromPlaylist;
  if (!started.ok) {
    now_ = NowPlaying{now_.serial, {}, {}, 0.0};
    Sync();
    emit nowPlayingChanged();
    SetStatus(StatusImage::Stopped);
    emit reported(path, started.reason);
    return false;
  }
  now_ = NowPlaying{++serials_, path, facts.value_or(TrackFacts{}), 0.0};
  now_.facts.path = path.toStdString();
  now_.durationMs = now_.facts.durationMs;
  firstKbps_ = 0;
  if (fromPlaylist) {
    // A row greyed because its file was away (a drive not mounted) shows its tags again.
    const int row = playlist_->PlayingRow();
    if (row >= 0 && row < playlist_->RowCount() && !playlist_->Row(row).available &&
        playlist_->PathOfRow(row) == path.toStdString()) {
      playlist_->RefreshRow(row);
    }
  }
  Sync();
  emit nowPlayingChanged();
  status_ = StatusImage::None;  // always announced: a new track
  SetStatus(StatusImage::Playing);
  return true;
}

bool PlaybackSession::Advance(Step step, bool* triedAny) {
  if (triedAny) *triedAny = false;
  // Each pass moves the playlist one row on, so the loop ends at the playlist's end.
  for (;;) {
    const auto path = Requested([&] { step == Step::Next ? (void)playlist_->PlayNext() : playlist_->PlayPrevious(); });
    if (!path) return false;
    if (triedAny) *triedAny = true;
    if (StartFile(*path, true)) return true;
  }
}

void PlaybackSession::Play() {
  if (file_.isEmpty()) {
    bool tried = false;
    if (Advance(Step::Next, &tried)) return;
    if (tried) {
      EndOfPlaylist();
    } else if (!IsActive()) {
      emit filesWanted();
    }
    return;
  }
  switch (controller_->State()) {
    case EngineState::Paused:
      controller_->Resume();
      Sync();
      SetStatus(StatusImage::Playing);
      return;
    case EngineState::Playing:
      SetStatus(StatusImage::Playing);
      return;
    default:
      break;
  }
  if (StartFile(file_, fromPlaylist_)) return;
  SetStatus(StatusImage::Stopped);
  // The playlist's file has gone since it was added: the playlist goes on.
  if (fromPlaylist_ && !Advance(Step::Next)) EndOfPlaylist();
}

void PlaybackSession::PlayPause() {
  switch (controller_->State()) {
    case EngineState::Closed:
      return;
    case EngineState::Playing:
      controller_->Pause();
      Sync();
      SetStatus(StatusImage::Paused);
      return;
    default:
      if (controller_->Resume()) {
        Sync();
        SetStatus(StatusImage::Playing);
      }
      return;
  }
}

void PlaybackSession::Pause() {
  if (IsPlaying()) PlayPause();
}

void PlaybackSession::Stop() {
  if (controller_->State() == EngineState::Closed) return;
  controller_->StopAndClose();
  Sync();
  SetStatus(StatusImage::Stopped);
  emit stateChanged();
}

void PlaybackSession::Next() { Advance(Step::Next); }

void PlaybackSession::Previous() { Advance(Step::Previous); }

void PlaybackSession::PlayRow(int row) {
  if (row < 0 || row >= playlist_->RowCount()) return;
  const QString path = QString::fromStdString(playlist_->PathOfRow(row));
  if (IsActive()) {
    const EngineController::Result playable = EngineController::CheckPlayable(path);
    if (!playable.ok) {
      emit reported(path, playable.reason);
      return;
    }
  }
  const auto requested = Requested([&] { playlist_->StartRow(row); });
  if (!requested) return;
  if (StartFile(*requested, true)) return;
  if (!IsActive() && !Advance(Step::Next)) EndOfPlaylist();
}

bool PlaybackSession::PlayFile(const QString& path) {
  markTag_ = playTag_ = 0;
  return StartFile(path, false);
}

void PlaybackSession::AddTagged(const QStringList& paths, bool playFirst) {
  const uint64_t tag = ++tags_;
  playlist_->AddPaths(ToStd(paths), tag);
  if (!playFirst) return;
  markTag_ = playTag_ = 0;
  if (IsPlaylist(paths.front())) {
    playTag_ = tag;
  } else if (StartFile(paths.front(), false)) {
    markTag_ = tag;
  }
}

void PlaybackSession::LoadFiles(const QStringList& files) {
  if (files.isEmpty()) return;
  AddTagged(files, !IsPlaying());
}

QStringList PlaybackSession::Existing(const QStringList& paths) {
  QStringList found;
  for (const QString& p : paths) {
    if (p.isEmpty()) continue;
    if (QFileInfo::exists(p)) {
      found << p;
    } else {
      emit reported(p, tr("The file does not exist."));
    }
  }
  return found;
}

void PlaybackSession::OpenCommandLine(const QStringList& paths) {
  const QStringList files = Existing(paths);
  if (files.isEmpty()) return;
  if (files.size() == 1) {
    if (IsPlaylist(files.front())) {
      playlist_->AddPaths(ToStd(files));
    } else {
      PlayFile(files.front());
    }
    return;
  }
  AddTagged(files, true);
}

void PlaybackSession::QueueHandOff(const QStringList& paths) {
  const QStringList files = Existing(paths);
  if (files.isEmpty()) return;
  if (!batchTimer_->IsActive()) batchTimer_->Start(options_.batchDelay, false);
  handOff_ += files;
}

void PlaybackSession::FlushHandOff() {
  batchTimer_->Stop();
  if (handOff_.isEmpty()) return;
  playlist_->AddPaths(ToStd(std::exchange(handOff_, {})));
}

void PlaybackSession::OnFirstRow(uint64_t tag, int row) {
  if (tag == markTag_) {
    markTag_ = 0;
    // The chosen file plays already: its row becomes the one Next counts from.
    if (IsActive() && playlist_->PathOfRow(row) == file_.toStdString()) {
      playlist_->MarkPlaying(row);
      fromPlaylist_ = true;
    }
  } else if (tag == playTag_) {
    playTag_ = 0;
    if (!IsActive()) PlayRow(row);
  }
}

// ---- the end of a track ----

void PlaybackSession::OnTrackEnded() {
  if (Advance(Step::Next)) return;
  EndOfPlaylist();
}

void PlaybackSession::OnTrackFailed(const QString& reason) {
  emit reported(file_, reason);
  OnTrackEnded();
}

void PlaybackSession::EndOfPlaylist() {
  controller_->StopAndClose();
  now_ = NowPlaying{now_.serial, {}, {}, 0.0};
  Sync();
  emit nowPlayingChanged();
  SetStatus(StatusImage::EndOfPlaylist);
}

void PlaybackSession::OnPositionTick() {
  if (!IsActive() || now_.path.isEmpty()) return;
  bool changed = false;
  const uint32_t kbps = controller_->BitrateKbps();
  if (!now_.facts.vbr && kbps != 0) {
    // A stream without an information frame shows that it is variable only by changing its rate.
    if (firstKbps_ == 0) {
      firstKbps_ = kbps;
    } else if (kbps != firstKbps_) {
      now_.facts.vbr = true;
      changed = true;
    }
  }
  // The engine's length replaces the tag reader's estimate once the file has been indexed.
  if (const double engineMs = controller_->DurationMs(); engineMs > 0.0 && engineMs != now_.durationMs) {
    now_.durationMs = engineMs;
    changed = true;
  }
  if (changed) emit nowPlayingChanged();
}

// ---- position, volume, equaliser ----

void PlaybackSession::SeekPercent(int percent) {
  if (!IsActive() || now_.durationMs <= 0.0) return;
  const double p = std::clamp(percent, 0, 100);
  SeekMs(static_cast<uint32_t>(p * now_.durationMs / 100.0));
}

void PlaybackSession::SeekMs(uint32_t ms) {
  if (!IsActive()) return;
  if (controller_->Seek(ms)) emit seeked(ms);
}

void PlaybackSession::SetVolume(int percent) {
  const int v = std::clamp(percent, 0, 100);
  if (v == volume_) return;
  volume_ = v;
  controller_->SetVolumePercent(v);
  emit volumeChanged(v);
}

void PlaybackSession::SetEqualizer(const EqualizerFactors& factors) { controller_->Engine().SetEqualizer(factors); }

EqualizerFactors PlaybackSession::Equalizer() const { return controller_->Engine().Equalizer(); }

bool PlaybackSession::Close() {
  controller_->StopAndClose();
  Sync();
  FlushHandOff();
  if (options_.settings) options_.settings->WriteInt(kMainSection, kVolumeName, volume_);
  return autosave_->Flush();
}

QString PlaybackSession::SaveFailureReason() const {
  return autosave_->Failing() ? QString::fromStdString(autosave_->FailureReason()) : QString();
}

}  // namespace tovira
