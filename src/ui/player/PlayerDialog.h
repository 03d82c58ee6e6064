#pragma once
// The main window: a host for the face (what the player draws) over the playback session (what
// plays). It binds the two: the session's state, now-playing record and display ticks to the
// face; the face's buttons, sliders, keys and menu, through one action per command, to the
// session. The PL and EQ toggles say whether the companion windows are wanted; the companions
// themselves are placed by whoever owns them.
//
// Keys: the window's commands (PlayerActions) work wherever the focus is, except the keys the
// focused control uses itself: Space and Enter press a focused button, the arrows along a focused
// slider and PageUp/PageDown/Home/End move it. Controls take the focus by Tab only; Esc gives it
// back to the window.

#include <QString>
#include <QStringList>
#include <QWidget>

#include <chrono>
#include <functional>

class QAbstractButton;
class QMenu;

namespace tovira {

class PlaybackSession;
class PlayerActions;
class PlayerFace;
class Settings;

struct PlayerOptions {
  // The Load command's file chooser; empty: the standard open dialog.
  std::function<QStringList(QWidget* parent)> chooseFiles;
  // F1; empty: nothing. Tells the user itself when the topic is missing.
  std::function<bool(QWidget* parent)> showHelp;
  int statusMessageMs = 5000;  // how long an error line stays before it fades
  // Closing while the playlist could not be saved: true quits anyway. Gets the question's text;
  // empty: a Yes/No message box.
  std::function<bool(QWidget* parent, const QString& question)> confirmQuit;
};

class PlayerDialog : public QWidget {
  Q_OBJECT

 public:
  // "Main"/"ShowPl" and "ShowEq" are read from `settings` now and written at close.
  PlayerDialog(PlaybackSession& session, Settings& settings, PlayerOptions options = {}, QWidget* parent = nullptr);
  ~PlayerDialog() override;

  PlaybackSession& Session() const { return session_; }
  PlayerFace& Face() const { return *face_; }
  PlayerActions& Actions() const { return *actions_; }
  QMenu* ContextMenu() const { return menu_; }

  void BringToFront();
  // The Yes/No box closing asks with when the playlist could not be saved.
  static bool AskToQuit(QWidget* parent, const QString& question);
  bool PlaylistToggled() const { return showPlaylist_; }
  bool EqualizerToggled() const { return showEqualizer_; }

  // For tests and remote controls: what the window shows.
  QString TimeText() const;
  QString InfoHtml() const;
  QString StatusMessage() const;  // the error line now shown, empty when none
  QAbstractButton* Button(const QString& name) const;

 public slots:
  void Load();
  void ShowAbout();
  void TogglePlaylist(bool show);
  void ToggleEqualizer(bool show);

 signals:
  void playlistWindowToggled(bool shown);
  void equalizerWindowToggled(bool shown);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Bind();
  void ShowState();
  void ShowNowPlaying();
  void ShowOrder();
  void Report(const QString& file, const QString& reason);
  void OnFrame();
  // The position slider's value text: "Position 1:23 of 4:56".
  QString PositionText(int percent) const;

  PlaybackSession& session_;
  Settings& settings_;
  PlayerOptions options_;
  PlayerFace* face_ = nullptr;
  PlayerActions* actions_ = nullptr;
  QMenu* menu_ = nullptr;
  bool showPlaylist_ = true;
  bool showEqualizer_ = true;
  std::chrono::steady_clock::time_point fedAt_{};  // the spectrum's last levels
};

}  // namespace tovira
