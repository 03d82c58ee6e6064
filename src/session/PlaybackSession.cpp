#include "session/PlaybackSession.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QStandardPaths>

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "output/AudioDevice.h"
#include "playlist/PlaylistFiles.h"
#include "playlist/PlaylistModel.h"
#include "session/Autosave.h"
#include "session/Clock.h"
#include "session/CoreTexts.h"
#include "session/DisplayTimers.h"
#include "session/EngineController.h"
#include "session/Resume.h"
#include "tags/ReplayGain.h"
#include "util/Settings.h"

namespace tovira {

namespace {

constexpr char kMainSection[] = "Main";
// Playlist changes come batch by batch: the follower is armed again once they settle.
constexpr std::chrono::milliseconds kArmDelay{200};
constexpr char kVolumeName[] = "Vol";
constexpr char kOrderSection[] = "PlayOrder";
constexpr char kRepeatName[] = "Repeat";
constexpr char kShuffleName[] = "ShuffleMode";

std::filesystem::path DataFolder(const std::filesystem::path& chosen) {
  if (!chosen.empty()) return chosen;
  const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  QDir().mkpath(dir);
  return std::filesystem::path(dir.toStdString());
}

// By its name, or by its first bytes when the name says nothing.
bool IsPlaylist(const QString& path) { return PlaylistFormatOfFile(path.toStdString()) != PlaylistFormat::kNone; }

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
  connect(controller_.get(), &EngineController::trackChanged, this, &PlaybackSession::OnTrackChanged);
  connect(controller_.get(), &EngineController::trackFailed, this, &PlaybackSession::OnTrackFailed);
  connect(controller_.get(), &EngineController::notice, this,
          [this](const QString& text) { emit reported(QString(), text); });
  connect(controller_.get(), &EngineController::stateChanged, this, [this](EngineState) {
    Sync();
    emit stateChanged();
  });

  timers_ = std::make_unique<DisplayTimers>(*clock_);
  connect(timers_.get(), &DisplayTimers::slowTick, this, &PlaybackSession::OnPositionTick);

  PlaylistOptions po;
  po.dataFolder = DataFolder(options_.dataFolder);
  po.shuffleSeed = options_.shuffleSeed;
  if (options_.settings) tagEncoding_ = LoadTagEncoding(*options_.settings);
  po.tagEncoding = tagEncoding_;
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
  pc.changed = [this] {
    autosave_->NoteChange();
    // Cleared: the rows' numbers start again, so the order forgets the old ones. Removed: the
    // queue's places close up now, for the window that shows them.
    const int rows = playlist_->RowCount();
    if (rows == 0) {
      const bool queued = !order_.Queue().empty();
      order_.Forget();
      if (queued) emit orderChanged();
    } else if (rows < knownRows_ && !order_.Queue().empty()) {
      SyncOrder();
    }
    knownRows_ = rows;
    if (IsActive() && !armTimer_->IsActive()) armTimer_->Start(kArmDelay, false);
    emit playlistChanged();
  };
  pc.reordered = [this] {
    if (IsActive() && !armTimer_->IsActive()) armTimer_->Start(kArmDelay, false);
  };
  pc.firstRowArrived = [this](uint64_t tag, int row) { OnFirstRow(tag, row); };
  pc.rowsAdded = [this](int, int) {
    ResumeIfArrived();
    if (IsActive() && !armTimer_->IsActive()) armTimer_->Start(kArmDelay, false);
  };
  playlist_ = std::make_unique<PlaylistModel>(std::move(po), std::move(pc));
  autosave_ = std::make_unique<Autosave>(*playlist_, *clock_, options_.autosaveDelay);
  autosave_->onFailure = [this](const std::string& reason) {
    emit reported(QString::fromStdString(playlist_->DefaultPlaylistPath().string()),
                  tr("The playlist could not be saved: %1.").arg(CoreText(reason)));
  };
  resume_ = std::make_unique<ResumeKeeper>(*playlist_, *clock_, options_.settings, [this] {
    return ResumePoint{file_.toStdString(), fromPlaylist_ ? playlist_->PlayingRow() : -1, PositionMs()};
  });

  batchTimer_ = clock_->MakeTimer();
  batchTimer_->onTimeout = [this] { FlushHandOff(); };
  armTimer_ = clock_->MakeTimer();
  armTimer_->onTimeout = [this] { ArmNext(); };
  connect(this, &PlaybackSession::orderChanged, this, &PlaybackSession::ScheduleArm);

  if (options_.settings) replayGain_ = LoadReplayGainConfig(*options_.settings);
  if (options_.settings) volume_ = std::clamp(options_.settings->ReadInt(kMainSection, kVolumeName, 50), 0, 100);
  const uint64_t seed = options_.shuffleSeed;
  order_ = PlayOrder(std::mt19937(seed != 0 ? static_cast<uint32_t>(seed ^ (seed >> 32)) : std::random_device{}()));
  if (options_.settings) {
    const int repeat = options_.settings->ReadInt(kOrderSection, kRepeatName, 0);
    order_.SetRepeat(repeat >= 0 && repeat <= 2 ? static_cast<Repeat>(repeat) : Repeat::Off);
    order_.SetShuffle(options_.settings->ReadInt(kOrderSection, kShuffleName, 0) == 1);
  }
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
uint32_t PlaybackSession::PositionMs() const {
  if (IsActive()) return controller_->PositionMs();
  return ResumeShown() ? resume_->Armed()->positionMs : 0;
}

uint32_t PlaybackSession::RunningPositionMs() const {
  // The device's pulls are timed by the steady clock, so the display's (fake) clock cannot say
  // how far the sound has got since.
  if (IsActive()) return controller_->RunningPositionMs(std::chrono::steady_clock::now());
  return PositionMs();
}

bool PlaybackSession::ResumeShown() const { return resume_ && resume_->Armed() && !IsActive(); }

int PlaybackSession::PositionPercent() const {
  if ((!IsActive() && !ResumeShown()) || now_.durationMs <= 0.0) return 0;
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
  timers_->SetPlaying(s == EngineState::Playing);
  if (resume_) resume_->Follow(s == EngineState::Playing);
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
  // Whatever starts, the last run's place is let go; the file it was for starts from there.
  const std::optional<uint32_t> resumeAt = resume_->Take(path.toStdString());
  // Checked before anything stops: a file that cannot be played leaves what plays alone.
  const EngineController::Result playable = EngineController::CheckPlayable(path);
  if (!playable.ok) {
    emit reported(path, playable.reason);
    return false;
  }
  const auto facts = ReadTrackFacts(path.toStdString(), tagEncoding_);
  const int row = fromPlaylist ? playlist_->PlayingRow() : -1;
  const bool continues = ContinuesFromCurrent(facts.value_or(TrackFacts{}), row);
  const double gain =
      ComputeReplayGain(replayGain_, facts ? facts->replayGain : ReplayGainInfo{}, continues).factor;
  const EngineController::Result started = controller_->Play(path, gain);
  armed_ = {};  // a new start forgets the follower
  file_ = path;
  fromPlaylist_ = fromPlaylist;
  if (!started.ok) {
    nowRow_ = -1;
    nowGain_ = 1.0;
    now_ = NowPlaying{now_.serial, {}, {}, 0.0};
    Sync();
    emit nowPlayingChanged();
    SetStatus(StatusImage::Stopped);
    emit reported(path, started.reason);
    return false;
  }
  if (resumeAt) SeekMs(*resumeAt);
  BecomeCurrent(path, fromPlaylist, facts, row, continues);
  return true;
}

void PlaybackSession::BecomeCurrent(const QString& path, bool fromPlaylist, const std::optional<TrackFacts>& facts,
                                    int row, bool continues) {
  file_ = path;
  fromPlaylist_ = fromPlaylist;
  now_ = NowPlaying{++serials_, path, facts.value_or(TrackFacts{}), 0.0};
  now_.facts.path = path.toStdString();
  now_.durationMs = now_.facts.durationMs;
  // The engine's length, when it has one, is the one positions end at.
  if (const double engineMs = controller_->DurationMs(); engineMs > 0.0) now_.durationMs = engineMs;
  firstKbps_ = 0;
  nowRow_ = row;
  nowContinues_ = continues;
  nowGain_ = ComputeReplayGain(replayGain_, now_.facts.replayGain, continues).factor;
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
  ScheduleArm();
}

bool PlaybackSession::Advance(Step step, bool* triedAny) {
  if (triedAny) *triedAny = false;
  SyncOrder();
  const size_t queued = order_.Queue().size();
  // Each pass asks the order for one row more. Without repeat the order runs out; with it a row
  // comes round again, so the walk ends once every row has failed (and, as a guard, after more
  // asks than the order can make without doing so).
  const size_t rows = orderRows_.size();
  std::unordered_set<PlayOrder::Key> failed;
  auto cause = step == Step::Ended ? PlayOrder::Cause::TrackEnded : PlayOrder::Cause::Skip;
  bool started = false;
  for (size_t asked = 0; asked < 3 * rows + queued + PlayOrder::kHistoryLimit; ++asked) {
    const auto key = step == Step::Previous ? order_.Previous() : order_.Next(cause);
    cause = PlayOrder::Cause::Skip;
    if (!key) break;
    const int row = order_.IndexOf(*key);
    const auto path = Requested([&] { playlist_->StartRow(row); });
    if (!path) break;
    if (triedAny) *triedAny = true;
    if (StartFile(*path, true)) {
      started = true;
      break;
    }
    failed.insert(*key);
    if (failed.size() >= rows) break;
  }
  if (order_.Queue().size() != queued) emit orderChanged();
  return started;
}

void PlaybackSession::SyncOrder() {
  const int n = playlist_->RowCount();
  orderRows_.resize(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) orderRows_[static_cast<size_t>(r)] = playlist_->Row(r).number;
  const size_t queued = order_.Queue().size();
  order_.SetRows(orderRows_);
  knownRows_ = n;
  if (order_.Queue().size() != queued) emit orderChanged();
}

void PlaybackSession::OrderStarted(int row) {
  SyncOrder();
  if (row < 0 || row >= playlist_->RowCount()) return;
  const size_t queued = order_.Queue().size();
  order_.Started(playlist_->Row(row).number);
  if (order_.Queue().size() != queued) emit orderChanged();
}

void PlaybackSession::Play() {
  failuresInRow_ = 0;
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
      if (ResumeShown()) Play();
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
  armed_ = {};
  Sync();
  SetStatus(StatusImage::Stopped);
  emit stateChanged();
}

void PlaybackSession::Next() {
  failuresInRow_ = 0;
  Advance(Step::Next);
}

void PlaybackSession::Previous() {
  failuresInRow_ = 0;
  Advance(Step::Previous);
}

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
  OrderStarted(row);
  failuresInRow_ = 0;
  if (StartFile(*requested, true)) return;
  if (!IsActive() && !Advance(Step::Next)) EndOfPlaylist();
}

bool PlaybackSession::PlayFile(const QString& path) {
  markTag_ = playTag_ = 0;
  failuresInRow_ = 0;
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
      OrderStarted(row);
      fromPlaylist_ = true;
    }
  } else if (tag == playTag_) {
    playTag_ = 0;
    if (!IsActive()) PlayRow(row);
  }
}

void PlaybackSession::ResumeLastRun() {
  resume_->Expect();
  ResumeIfArrived();
}

void PlaybackSession::ResumeIfArrived() {
  if (!resume_) return;
  const auto point = resume_->Arrived();
  if (!point) return;
  const auto facts = ReadTrackFacts(point->path, tagEncoding_);
  if (!facts || IsActive()) {
    resume_->Take({});
    return;
  }
  // Shown as if the last run had been stopped there: the row is the playing one, Play replays it
  // (from the position) and Next goes on after it.
  file_ = QString::fromStdString(point->path);
  fromPlaylist_ = true;
  playlist_->MarkPlaying(point->row);
  OrderStarted(point->row);
  now_ = NowPlaying{++serials_, file_, *facts, facts->durationMs};
  now_.facts.path = point->path;
  emit nowPlayingChanged();
  status_ = StatusImage::None;
  SetStatus(StatusImage::Stopped);
}

// ---- the end of a track ----

void PlaybackSession::OnTrackEnded() { EndOfTrack(false); }

void PlaybackSession::OnTrackFailed(const QString& reason) {
  emit reported(file_, reason);
  EndOfTrack(true);
}

void PlaybackSession::EndOfTrack(bool failed) {
  armed_ = {};  // had there been one, the engine would have gone on into it
  if (order_.TakeStopAfter()) {
    emit orderChanged();
    Stopped();
    return;
  }
  // A failure never repeats the row that failed; failures one after the other, more than there
  // are rows, end the playlist even with repeat on (files that break as soon as they start).
  if (!failed) {
    failuresInRow_ = 0;
  } else if (++failuresInRow_ > playlist_->RowCount()) {
    EndOfPlaylist();
    return;
  }
  if (!failed && !fromPlaylist_ && order_.RepeatMode() == Repeat::One && StartFile(file_, false)) return;
  if (Advance(failed || !fromPlaylist_ ? Step::Next : Step::Ended)) return;
  EndOfPlaylist();
}

void PlaybackSession::Stopped() {
  controller_->StopAndClose();
  armed_ = {};
  Sync();
  SetStatus(StatusImage::Stopped);
  emit stateChanged();
}

// ---- the play order ----

void PlaybackSession::SetRepeat(Repeat repeat) {
  if (repeat == order_.RepeatMode()) return;
  order_.SetRepeat(repeat);
  if (options_.settings) options_.settings->WriteInt(kOrderSection, kRepeatName, static_cast<int>(repeat));
  emit orderChanged();
}

void PlaybackSession::SetShufflePlay(bool on) {
  if (on == order_.Shuffle()) return;
  SyncOrder();
  order_.SetShuffle(on);
  if (options_.settings) options_.settings->WriteInt(kOrderSection, kShuffleName, on ? 1 : 0);
  emit orderChanged();
}

void PlaybackSession::SetStopAfterCurrent(bool on) {
  if (on == order_.StopAfterCurrent()) return;
  order_.SetStopAfterCurrent(on);
  emit orderChanged();
}

void PlaybackSession::QueueRows(const std::vector<int>& rows) {
  SyncOrder();
  bool added = false;
  for (int row : rows) {
    if (row >= 0 && row < playlist_->RowCount()) added |= order_.Enqueue(playlist_->Row(row).number);
  }
  if (added) emit orderChanged();
}

void PlaybackSession::UnqueueRows(const std::vector<int>& rows) {
  bool removed = false;
  for (int row : rows) {
    if (row >= 0 && row < playlist_->RowCount()) removed |= order_.Dequeue(playlist_->Row(row).number);
  }
  if (removed) emit orderChanged();
}

void PlaybackSession::ClearQueue() {
  if (order_.Queue().empty()) return;
  order_.ClearQueue();
  emit orderChanged();
}

int PlaybackSession::QueuePlace(int row) const {
  if (row < 0 || row >= playlist_->RowCount() || order_.Queue().empty()) return 0;
  return order_.QueuePlace(playlist_->Row(row).number);
}

QString PlaybackSession::Peek(int* row) {
  *row = -1;
  SyncOrder();
  if (order_.StopAfterCurrent()) return {};
  const auto playable = [](const QString& path) { return EngineController::CheckPlayable(path).ok; };
  if (!fromPlaylist_ && !file_.isEmpty() && order_.RepeatMode() == Repeat::One && playable(file_)) return file_;
  // The walk Advance makes, on a copy of the order.
  PlayOrder probe = order_;
  const size_t rows = orderRows_.size();
  std::unordered_set<PlayOrder::Key> failed;
  auto cause = fromPlaylist_ ? PlayOrder::Cause::TrackEnded : PlayOrder::Cause::Skip;
  for (size_t asked = 0; asked < 3 * rows + probe.Queue().size() + PlayOrder::kHistoryLimit; ++asked) {
    const auto key = probe.Next(cause);
    cause = PlayOrder::Cause::Skip;
    if (!key) break;
    const int r = probe.IndexOf(*key);
    const QString path = QString::fromStdString(playlist_->PathOfRow(r));
    if (playable(path)) {
      *row = r;
      return path;
    }
    failed.insert(*key);
    if (failed.size() >= rows) break;
  }
  return {};
}

int PlaybackSession::PeekNextRow() {
  int row = -1;
  Peek(&row);
  return row;
}

QString PlaybackSession::PeekNextFile() {
  int row = -1;
  return Peek(&row);
}

void PlaybackSession::EndOfPlaylist() {
  controller_->StopAndClose();
  armed_ = {};
  nowRow_ = -1;
  now_ = NowPlaying{now_.serial, {}, {}, 0.0};
  Sync();
  emit nowPlayingChanged();
  SetStatus(StatusImage::EndOfPlaylist);
}

// ---- gapless: the next track waits in the engine ----

void PlaybackSession::ScheduleArm() {
  if (armPending_) return;
  armPending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        armPending_ = false;
        ArmNext();
      },
      Qt::QueuedConnection);
}

void PlaybackSession::ArmNext() {
  if (arming_) return;
  // Already heard, its trackChanged on the way: OnTrackChanged arms the one after it.
  if (armed_.serial != 0 && controller_->TrackSerial() == armed_.serial) return;
  if (!IsActive() || file_.isEmpty()) {
    DisarmNext();
    return;
  }
  arming_ = true;  // Peek's order sync may announce a change, which would come back here
  int row = -1;
  const QString path = Peek(&row);
  arming_ = false;
  if (path.isEmpty()) {
    DisarmNext();
    return;
  }
  const PlayOrder::Key key = row >= 0 ? playlist_->Row(row).number : -1;
  // The same row still waiting: its tags are known, only the album rule may have changed.
  const bool waiting = armed_.serial != 0 && armed_.path == path && armed_.key == key &&
                       controller_->NextSerial() == armed_.serial;
  const auto facts = waiting ? armed_.facts : ReadTrackFacts(path.toStdString(), tagEncoding_);
  const bool continues = ContinuesFromCurrent(facts.value_or(TrackFacts{}), row);
  if (waiting && armed_.continues == continues) return;
  const double gain =
      ComputeReplayGain(replayGain_, facts ? facts->replayGain : ReplayGainInfo{}, continues).factor;
  const EngineController::Result r = controller_->SetNext(path, gain);
  // Not taken: the end of the track tries it the ordinary way, which says why it cannot play.
  if (!r.ok) {
    armed_ = {};
    return;
  }
  armed_ = Armed{r.serial, path, row, key, facts, continues};
}

void PlaybackSession::DisarmNext() {
  if (armed_.serial == 0) return;
  if (controller_->TrackSerial() == armed_.serial) return;  // already heard
  controller_->ClearNext();
  armed_ = {};
}

void PlaybackSession::OnTrackChanged(quint64 serial) {
  if (armed_.serial == 0 || serial != armed_.serial) return;
  const Armed next = std::exchange(armed_, Armed{});
  failuresInRow_ = 0;
  (void)resume_->Take(next.path.toStdString());
  int row = -1;
  if (next.key >= 0) {
    // The order walks as the end of the track would have walked it, to the row that was armed.
    SyncOrder();
    const size_t queued = order_.Queue().size();
    auto cause = fromPlaylist_ ? PlayOrder::Cause::TrackEnded : PlayOrder::Cause::Skip;
    bool found = false;
    for (size_t asked = 0; asked < 3 * orderRows_.size() + queued + PlayOrder::kHistoryLimit; ++asked) {
      const auto key = order_.Next(cause);
      cause = PlayOrder::Cause::Skip;
      if (!key) break;
      if (*key == next.key) {
        found = true;
        break;
      }
      // Passed over as the end of the track would have passed it: said the same way.
      const QString passed = QString::fromStdString(playlist_->PathOfRow(order_.IndexOf(*key)));
      if (const auto check = EngineController::CheckPlayable(passed); !check.ok) emit reported(passed, check.reason);
    }
    if (!found && order_.IndexOf(next.key) >= 0) order_.Started(next.key);
    row = order_.IndexOf(next.key);
    if (row >= 0) (void)Requested([&] { playlist_->StartRow(row); });
    if (order_.Queue().size() != queued) emit orderChanged();
  }
  BecomeCurrent(next.path, row >= 0, next.facts, row, next.continues);
}

bool PlaybackSession::ContinuesFromCurrent(const TrackFacts& facts, int row) const {
  if (row < 0 || nowRow_ < 0) return false;
  return ContinuesAlbum(row == nowRow_ + 1, AlbumKey{now_.facts.album, now_.facts.albumArtist},
                        AlbumKey{facts.album, facts.albumArtist});
}

void PlaybackSession::SetReplayGain(const ReplayGainConfig& config) {
  replayGain_ = config;
  if (IsActive()) {
    nowGain_ = ComputeReplayGain(replayGain_, now_.facts.replayGain, nowContinues_).factor;
    controller_->SetTrackGain(nowGain_);
  } else {
    nowGain_ = 1.0;
  }
  DisarmNext();  // armed with the old gain
  ScheduleArm();
}

void PlaybackSession::SetTagEncoding(TagEncoding encoding) {
  if (encoding == tagEncoding_) return;
  tagEncoding_ = encoding;
  playlist_->SetTagEncoding(encoding);
  if (!now_.path.isEmpty()) {
    // Only the texts: what playing has shown of the stream (a variable rate) stays.
    if (const auto facts = ReadTrackFacts(now_.path.toStdString(), encoding)) {
      TrackFacts& f = now_.facts;
      f.tagged = facts->tagged;
      f.artist = facts->artist;
      f.title = facts->title;
      f.album = facts->album;
      f.year = facts->year;
      f.genre = facts->genre;
      f.albumArtist = facts->albumArtist;
    }
    emit nowPlayingChanged();
  }
  // The follower's texts were read in the old encoding, and with them its album.
  DisarmNext();
  ScheduleArm();
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
  if ((!IsActive() && !ResumeShown()) || now_.durationMs <= 0.0) return;
  const double p = std::clamp(percent, 0, 100);
  SeekMs(static_cast<uint32_t>(p * now_.durationMs / 100.0));
}

void PlaybackSession::SeekMs(uint32_t ms) {
  if (!IsActive()) {
    // Stopped at the last run's place: Play will start where the slider was put.
    if (ResumeShown() && resume_->MoveArmed(ms)) emit stateChanged();
    return;
  }
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
  resume_->Close();  // before the stop: the position is still heard
  controller_->StopAndClose();
  Sync();
  FlushHandOff();
  if (options_.settings) options_.settings->WriteInt(kMainSection, kVolumeName, volume_);
  return autosave_->Flush();
}

QString PlaybackSession::SaveFailureReason() const {
  return autosave_->Failing() ? CoreText(autosave_->FailureReason()) : QString();
}

}  // namespace tovira
