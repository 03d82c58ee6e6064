#pragma once
// Every rule of what plays, under the windows: the transport, what follows the end of a track or
// a failure, the playlist's advance, Load and command-line rules, the hand-off batch, the volume,
// and the now-playing record that the window, the media keys and the equaliser share. It owns the
// engine (through EngineController), the playlist model, its autosave and the display ticks.
//
// Everything runs on the owner's thread (the UI thread); engine events reach it through the
// controller's queued signals, the playlist's load thread through a queued delivery. A run of
// rows that cannot be played is skipped in a loop, never by nesting calls.

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "engine/EngineTypes.h"
#include "equalizer/Equalizer.h"
#include "output/AudioDevice.h"
#include "session/PlayOrder.h"
#include "session/TrackFacts.h"
#include "spectrum/SpectrumAnalyzer.h"
#include "tags/TagEncoding.h"

namespace tovira {

class AudioDevice;
class Autosave;
class Clock;
class ClockTimer;
class DisplayTimers;
class EngineController;
class PlaylistModel;
class ResumeKeeper;
class Settings;

// The picture in the player's status box.
enum class StatusImage { None, Playing, Paused, Stopped, EndOfPlaylist };

struct SessionOptions {
  std::unique_ptr<AudioDevice> device;  // null: the sound card
  bool fallbackToSilence = true;        // a device that cannot be opened plays silently, with a notice
  std::filesystem::path dataFolder;     // where "tvra.dfl" lives; empty: the per-user data folder
  Settings* settings = nullptr;         // "Main"/"Vol", "TagEncoding", "PlayOrder"; null: the defaults, nothing kept
  Clock* clock = nullptr;               // null: the event loop's timers
  std::chrono::milliseconds batchDelay{3000};     // how long handed-over files are gathered
  std::chrono::milliseconds autosaveDelay{1000};  // a change reaches the default playlist within this
  uint64_t shuffleSeed = 0;  // the playlist's Shuffle and shuffle play; 0: a random seed
};

// The track shown: read once when it starts.
struct NowPlaying {
  uint64_t serial = 0;  // one more for every track started; the record of none keeps the last
  QString path;         // empty: nothing shown
  TrackFacts facts;     // facts.vbr turns true when the stream changes its rate while playing
  double durationMs = 0.0;
};

class PlaybackSession : public QObject {
  Q_OBJECT

 public:
  explicit PlaybackSession(SessionOptions options = {}, QObject* parent = nullptr);
  ~PlaybackSession() override;

  PlaylistModel& Playlist() { return *playlist_; }
  const PlaylistModel& Playlist() const { return *playlist_; }
  DisplayTimers& Timers() { return *timers_; }
  Autosave& Saver() { return *autosave_; }

  // ---- what the user does ----
  // Resumes a paused track, replays the current file, or starts the playlist; with nothing at all
  // to play asks for files (filesWanted).
  void Play();
  // Pauses a playing track, resumes a paused one; nothing while stopped.
  void PlayPause();
  void Pause();
  void Stop();
  void Next();
  void Previous();
  // A row started from the playlist window. A row that cannot be played is reported; what plays
  // goes on, and when nothing plays the playlist goes on from the next row.
  void PlayRow(int row);
  // A file played directly (not added). False, reported, when it cannot be played.
  bool PlayFile(const QString& path);
  // What the Load command chose: added to the playlist; while nothing plays the first chosen file
  // plays at once (a playlist file: its first row, once it is read).
  void LoadFiles(const QStringList& files);
  // The files of this start's command line: one audio file plays and is not added, a lone playlist
  // is added; several are added in order and the first plays. Missing paths are reported.
  void OpenCommandLine(const QStringList& paths);
  // Files handed over by a later start: gathered for the batch delay, then added in one go.
  void QueueHandOff(const QStringList& paths);
  void SeekPercent(int percent);
  void SeekMs(uint32_t ms);
  void SetVolume(int percent);
  void SetEqualizer(const EqualizerFactors& factors);
  EqualizerFactors Equalizer() const;  // the factors last set
  // Stops, adds what waits in the hand-off batch, writes the volume and the default playlist.
  // False when the default playlist could not be written (it stays in memory and is tried again
  // at the next change or Close); SaveFailureReason says why.
  bool Close();
  // Why the last write of the default playlist failed, in words; empty when it did not.
  QString SaveFailureReason() const;
  // Comes back to where the last run was closed (unless "Main"/"Resume" is 0): once the saved row
  // has been read into the playlist it is made current and shown stopped at the saved position,
  // which Play and PlayPause start it from. For a start without files on its command line.
  void ResumeLastRun();

  // ---- what the faces show ----
  EngineState State() const;
  bool IsActive() const;  // playing or paused
  bool IsPlaying() const;
  StatusImage Status() const { return status_; }
  const NowPlaying& Current() const { return now_; }
  // The file Play replays (kept after Stop and at the end of the playlist).
  QString CurrentFile() const { return file_; }
  uint32_t PositionMs() const;  // the position heard, 0 while nothing is open (but ResumeShown)
  // The same as it moves between the sound device's pulls, for the running time text; it stands
  // still while paused.
  uint32_t RunningPositionMs() const;
  // Stopped at the last run's position, which PositionMs and PositionPercent show.
  bool ResumeShown() const;
  // 0 to 100, truncated; 0 while nothing plays or the length is unknown.
  int PositionPercent() const;
  uint32_t LiveKbps() const;    // the frame rate heard now, for a variable-rate track; else 0
  SpectrumLevels Levels();      // zero while nothing plays
  int Volume() const { return volume_; }
  bool HandOffPending() const;

  // ---- the play order (see PlayOrder for the rules) ----
  // Repeat and shuffle play are kept in the settings ("PlayOrder"/"Repeat", "ShuffleMode").
  void SetRepeat(Repeat repeat);
  Repeat RepeatMode() const { return order_.RepeatMode(); }
  void SetShufflePlay(bool on);
  bool ShufflePlay() const { return order_.Shuffle(); }
  // One-shot: playback stops when the current track ends, and the flag clears.
  void SetStopAfterCurrent(bool on);
  bool StopAfterCurrent() const { return order_.StopAfterCurrent(); }
  // "Play next": the playlist's rows (display indexes) join the end of the queue in the order
  // given; Unqueue takes them out.
  void QueueRows(const std::vector<int>& rows);
  void UnqueueRows(const std::vector<int>& rows);
  void ClearQueue();
  // The row's place in the queue, 1 for the first; 0 when it is not queued.
  int QueuePlace(int row) const;
  int QueuedCount() const { return static_cast<int>(order_.Queue().size()); }
  // The playlist row (display index) that the end of the current track would start, -1 for
  // none (the end of the playlist, or stop after current): rows that cannot be played are passed
  // over as the real advance would. Changes nothing; it holds until the order, the queue or the
  // playlist changes (orderChanged, or the playlist's own notices).
  int PeekNextRow();
  // The file that would start then: that row's, or a file played directly that repeats; empty
  // for none.
  QString PeekNextFile();

  // ---- ReplayGain ----
  // Loaded from the settings at the start ("ReplayGain"); what the equaliser window's menu sets
  // applies to the playing track at once and to the ones after it. The session does not store it.
  void SetReplayGain(const ReplayGainConfig& config);
  const ReplayGainConfig& ReplayGain() const { return replayGain_; }
  // The linear gain of the track playing (1 with ReplayGain off or nothing playing).
  double TrackGain() const { return nowGain_; }

  // ---- tag texts ----
  // What tag texts stored as Latin-1 are read in: loaded from "Main"/"TagEncoding" at the start;
  // a change (the playlist window's menu, which stores it) reads the playlist's rows and the
  // current track again (nowPlayingChanged).
  void SetTagEncoding(TagEncoding encoding);
  TagEncoding GetTagEncoding() const { return tagEncoding_; }

  // ---- gapless ----
  // The file opened to follow the current track without a gap (PeekNextFile once the engine took
  // it); empty while none is. Kept up to date after every start, order and playlist change.
  QString GaplessNext() const { return armed_.path; }

  // A notice from outside the session (the settings store) for the error line.
  void Report(const QString& file, const QString& reason) { emit reported(file, reason); }

 signals:
  void stateChanged();
  void nowPlayingChanged();
  // For the error line: `file` (may be empty for a notice of the engine) and why.
  void reported(const QString& file, const QString& reason);
  // Play found nothing to play.
  void filesWanted();
  // Playback moved to `ms` by a seek (remote controls must hear of a jump).
  void seeked(qint64 ms);
  void volumeChanged(int percent);
  // Repeat, shuffle play, stop after current or the queue changed.
  void orderChanged();
  // Rows were added, removed or changed (once per batch of the playlist's load thread).
  void playlistChanged();

 private:
  // The user's Next, the end of a track, Previous.
  enum class Step { Next, Ended, Previous };

  bool StartFile(const QString& path, bool fromPlaylist);
  // Asks the play order for rows in `step` until one plays; false when none did before its end.
  bool Advance(Step step, bool* triedAny = nullptr);
  // The path the playlist asks to start inside `call`, or nullopt when it started nothing.
  template <typename Call>
  std::optional<QString> Requested(Call&& call);
  void OnTrackEnded();
  void OnTrackFailed(const QString& reason);
  void EndOfTrack(bool failed);
  // The order learns the playlist's rows as they are now (once per decision).
  void SyncOrder();
  // The playlist row a start of the session made: the order goes on from it.
  void OrderStarted(int row);
  // What the end of the current track would start: its path, and its row or -1.
  QString Peek(int* row);
  void Stopped();
  void OnFirstRow(uint64_t tag, int row);
  void ResumeIfArrived();
  void OnPositionTick();
  void EndOfPlaylist();
  // The gapless follower: (re)armed after a start and after changes of the order or the playlist
  // (coalesced: the playlist changes batch by batch); OnTrackChanged makes it the current track.
  void ScheduleArm();
  void ArmNext();
  void DisarmNext();
  void OnTrackChanged(quint64 serial);
  // Whether a track after the current one goes on with its album, for ReplayGain's auto mode
  // (`row` the row it plays from, -1 for none).
  bool ContinuesFromCurrent(const TrackFacts& facts, int row) const;
  // The new current track's facts, row and gain, with the displays told.
  void BecomeCurrent(const QString& path, bool fromPlaylist, const std::optional<TrackFacts>& facts, int row,
                     bool continues);
  void SetStatus(StatusImage image);
  void Sync();
  void FlushHandOff();
  QStringList Existing(const QStringList& paths);
  void AddTagged(const QStringList& paths, bool playFirst);

  SessionOptions options_;
  std::unique_ptr<Clock> ownClock_;
  Clock* clock_ = nullptr;
  std::unique_ptr<EngineController> controller_;
  std::unique_ptr<PlaylistModel> playlist_;
  std::unique_ptr<Autosave> autosave_;
  std::unique_ptr<DisplayTimers> timers_;
  std::unique_ptr<ClockTimer> batchTimer_;
  std::unique_ptr<ResumeKeeper> resume_;

  QString file_;
  bool fromPlaylist_ = false;
  NowPlaying now_;
  uint64_t serials_ = 0;
  uint32_t firstKbps_ = 0;  // the rate first seen; another one later means variable bit rate
  StatusImage status_ = StatusImage::None;
  int volume_ = 50;
  QStringList handOff_;
  PlayOrder order_;
  std::vector<PlayOrder::Key> orderRows_;  // the rows' numbers handed to the order, kept for reuse
  int knownRows_ = 0;      // the row count at the playlist's last change: fewer means removed
  int failuresInRow_ = 0;  // tracks that failed while playing, one after the other

  struct Armed {
    uint64_t serial = 0;  // what trackChanged brings once it is heard
    QString path;
    int row = -1;  // display index at arming, -1 for a file played directly that repeats
    PlayOrder::Key key = -1;
    std::optional<TrackFacts> facts;
    bool continues = false;  // goes on with the current track's album
  };
  Armed armed_;
  bool armPending_ = false;
  bool arming_ = false;
  ReplayGainConfig replayGain_;
  TagEncoding tagEncoding_ = TagEncoding::Auto;
  double nowGain_ = 1.0;
  bool nowContinues_ = false;
  std::unique_ptr<ClockTimer> armTimer_;  // after playlist changes
  int nowRow_ = -1;  // the playlist row of the current track (display index when it started), -1 for none

  // Set while the session itself asks the playlist to start a row: the start is taken, not run.
  bool asking_ = false;
  std::optional<QString> requested_;
  uint64_t tags_ = 0;
  uint64_t markTag_ = 0;  // its first row is the file already playing
  uint64_t playTag_ = 0;  // its first row plays when it arrives, if nothing plays by then
};

}  // namespace tovira
