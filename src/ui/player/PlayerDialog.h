#pragma once
// The main window: transport buttons, position and volume sliders, the elapsed time, the track
// panel, the spectrum and the PL/EQ toggles that show the two companion windows docked below and
// beside it. It owns the engine (through EngineController) and the playlist model.
//
// Timers run only while something needs them: the time text (10 ms), the position and live bit
// rate (500 ms) and the spectrum (100 ms) while a track plays; the playlist's save tick while it
// has unsaved changes or is loading; the 3-second batch of handed-over files while one is open.

#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>

#include "playlist/PlaylistModel.h"
#include "spectrum/SpectrumAnalyzer.h"
#include "ui/player/EngineController.h"
#include "ui/player/TrackText.h"

class QAbstractButton;
class QAbstractSlider;
class QLabel;
class QMenu;
class QPropertyAnimation;

namespace tovira {

class AudioDevice;
class ElapsedTimeView;
class SpectrumBarDisplay;

// The picture in the status box at the top left.
enum class StatusImage { None, Playing, Paused, Stopped, EndOfPlaylist };

struct PlayerOptions {
  std::unique_ptr<AudioDevice> device;  // null: the sound card
  bool fallbackToSilence = true;        // a device that cannot be opened plays silently, with a notice
  std::filesystem::path dataFolder;     // where "tvra.dfl" lives; empty: the per-user data folder
  int batchDelayMs = 3000;              // how long handed-over files are gathered
  // The Load command's file chooser; empty: the standard open dialog.
  std::function<QStringList(QWidget* parent)> chooseFiles;
  // F1; empty: nothing. Tells the user itself when the topic is missing.
  std::function<bool(QWidget* parent)> showHelp;
  int statusMessageMs = 5000;  // how long an error line stays before it fades
};

class PlayerDialog : public QWidget {
  Q_OBJECT

 public:
  using Options = PlayerOptions;


  explicit PlayerDialog(QWidget* parent = nullptr);
  explicit PlayerDialog(Options options, QWidget* parent = nullptr);
  ~PlayerDialog() override;

  // What happens with the command-line file: a playlist (".m3u" in any case) goes to the
  // playlist, anything else is played.
  void OpenStartupFile(const QString& path);
  // A file handed over by a second start: gathered with those arriving within the batch delay,
  // then added to the playlist in one go.
  void QueueFile(const QString& path);
  void BringToFront();

  // Where the playlist and equaliser windows plug in; either may be null.
  void SetCompanions(QWidget* playlistWindow, QWidget* equalizerWindow);
  // How a companion comes and goes when its toggle changes while this window is shown:
  // `slide(show)` (out from behind this window and back); empty: shown and hidden at once.
  void SetCompanionSlides(std::function<void(bool show)> playlist, std::function<void(bool show)> equalizer);
  bool PlaylistToggled() const { return showPlaylist_; }
  bool EqualizerToggled() const { return showEqualizer_; }

  PlaylistModel& Playlist() { return *playlist_; }
  EngineController& Controller() { return *controller_; }

  QString CurrentFile() const { return currentFile_; }
  StatusImage Status() const { return status_; }
  QString TimeText() const;
  QString InfoHtml() const;
  QString StatusMessage() const;  // the error line now shown, empty when none
  QString LiveBitrate() const;    // "" or e.g. "192 kbps" while a VBR track plays
  int Volume() const;
  int PositionPercent() const;
  bool TimersIdle() const;  // no timer runs (nothing plays, nothing pending)

  QAbstractButton* Button(const QString& name) const;  // "Play", "Pause", ..., "PL", "EQ"
  QAbstractSlider* PositionSlider() const { return position_; }
  QAbstractSlider* VolumeSlider() const { return volume_; }
  QMenu* ContextMenu() const { return menu_; }

 public slots:
  void Play();
  void PlayPause();
  void Stop();
  void Next();
  void Previous();
  void Load();
  // Stops what plays and plays `path` (what starting a playlist row does).
  void PlayFile(const QString& path);
  void SeekPercent(int percent);
  void SetVolume(int percent);
  void ShowAbout();
  void TogglePlaylist(bool show);
  void ToggleEqualizer(bool show);
  // Tell the window the playlist changed outside it, so its save tick runs.
  void NotePlaylistChanged();

 signals:
  // State or track changed (for remote-control adaptors).
  void playbackChanged(tovira::EngineState state, const QString& file);
  // The window's own position slider moved playback to `ms` (a jump remote controls must hear of).
  void seeked(qint64 ms);
  void playlistWindowToggled(bool shown);
  void equalizerWindowToggled(bool shown);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // `fromPlaylist`: a file that cannot be played makes way for the next row.
  void PlayPath(const QString& path, bool fromPlaylist);
  void BuildControls();
  void BuildMenu();
  void ReadSettings();
  void WriteSettings();
  void SetStatus(StatusImage image);
  void ShowTrack();
  void ClearTrack();
  void EndOfPlaylist();
  void OnTrackEnded();
  void OnTrackFailed(const QString& reason);
  void ReportFailure(const QString& file, const QString& reason);
  void UpdatePosition();
  void UpdateTime();
  void UpdateSpectrum();
  void FeedZeroLevels();
  void SyncTimers();
  void DockCompanions();
  void ShowCompanions(bool show);
  void DeliverBatch();
  void FlushPendingFiles();
  void StartSaveTick();
  void PlaylistTick();
  void SetPositionQuietly(int percent);
  void EmitChange();

  Options options_;
  std::unique_ptr<EngineController> controller_;
  std::unique_ptr<PlaylistModel> playlist_;

  QString currentFile_;
  QStringList pendingFiles_;
  bool startedFromPlaylist_ = false;
  double totalMs_ = 0.0;
  bool vbr_ = false;
  uint32_t firstKbps_ = 0;  // the bit rate first seen; another one later means variable bit rate
  TrackFacts facts_;  // of the track shown
  bool showPlaylist_ = true;
  bool showEqualizer_ = true;
  bool minimised_ = false;
  StatusImage status_ = StatusImage::None;
  bool updatingPosition_ = false;

  QAbstractButton* play_ = nullptr;
  QAbstractButton* pause_ = nullptr;
  QAbstractButton* stop_ = nullptr;
  QAbstractButton* load_ = nullptr;
  QAbstractButton* ff_ = nullptr;
  QAbstractButton* fwd_ = nullptr;
  QAbstractButton* back_ = nullptr;
  QAbstractButton* about_ = nullptr;
  QAbstractButton* eq_ = nullptr;
  QAbstractButton* pl_ = nullptr;
  QAbstractSlider* position_ = nullptr;
  QAbstractSlider* volume_ = nullptr;
  ElapsedTimeView* time_ = nullptr;
  QLabel* info_ = nullptr;
  QLabel* liveRate_ = nullptr;
  QLabel* liveUnit_ = nullptr;
  QLabel* statusImage_ = nullptr;
  QLabel* message_ = nullptr;
  SpectrumBarDisplay* spectrum_ = nullptr;
  QPixmap background_;
  QMenu* menu_ = nullptr;
  QPropertyAnimation* fade_ = nullptr;  // the error line fading out

  QPointer<QWidget> playlistWindow_;
  QPointer<QWidget> equalizerWindow_;
  std::function<void(bool)> playlistSlide_;
  std::function<void(bool)> equalizerSlide_;

  QTimer timeTimer_;      // 10 ms, elapsed time
  QTimer positionTimer_;  // 500 ms, slider and live bit rate
  QTimer spectrumTimer_;  // 100 ms, levels
  QTimer batchTimer_;     // handed-over files
  QTimer tickTimer_;      // 1 s, playlist save
  QTimer messageTimer_;   // hides the error line
};

}  // namespace tovira
