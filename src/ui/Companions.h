#pragma once
// The player window's two companions, owned and placed in one place: the playlist window docked
// below the player and the equaliser window beside it, each sliding out from behind the player and
// back with its toggle and following the player when it moves or is minimised. They are windows
// of their own, not dialogs of the player, so a window manager never keeps them above it. Files
// dropped on either go to the playlist; a row started in the playlist goes to the session; the
// player's Load uses the playlist's open dialog. F6 (Shift+F6 back) in any of the three moves to
// the next one shown, so the keyboard reaches the companions without the window manager's help.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <vector>

#include "ui/equalizer/EqualizerDialog.h"
#include "ui/playlist/PlaylistDialog.h"

namespace tovira {

class PlaybackSession;
class PlayerDialog;
class Settings;

class Companions : public QObject {
  Q_OBJECT
 public:
  // Destroy this before the player.
  Companions(PlayerDialog& player, PlaybackSession& session, Settings& settings,
             const QString& folderRoot = QStringLiteral("/"));
  ~Companions() override;

  // For the player's Load (PlayerOptions::chooseFiles).
  QStringList ChooseFilesToLoad(QWidget* parent) { return playlist.ChooseFilesToLoad(parent); }

  PlaylistDialog playlist;
  EqualizerDialog equalizer;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ActivateNext(QWidget* from, bool forward);

  PlayerDialog& player_;
  bool placed_ = false;
  std::vector<QPointer<QObject>> shortcuts_;  // on the player too, which outlives this
};

}  // namespace tovira
