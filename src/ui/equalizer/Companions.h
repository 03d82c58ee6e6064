#pragma once
// The player window's two companions, made and wired together: the playlist window docked below
// it and the equaliser window beside it, each sliding out and back with its toggle, following
// the player when it moves; files dropped on either go to the playlist; the player's Load uses
// the playlist's open dialog.

#include <QString>
#include <QStringList>

#include "ui/equalizer/EqualizerDialog.h"
#include "ui/playlist/PlaylistDialog.h"

namespace tovira {

class PlayerDialog;
class Settings;

class Companions {
 public:
  // The windows are children of `player`; destroy this before the player.
  Companions(PlayerDialog& player, Settings& settings, const QString& folderRoot = QStringLiteral("/"));
  ~Companions();

  // For the player's Load (PlayerOptions::chooseFiles).
  QStringList ChooseFilesToLoad(QWidget* parent) { return playlist.ChooseFilesToLoad(parent); }

  PlaylistDialog playlist;
  EqualizerDialog equalizer;

 private:
  PlayerDialog& player_;
};

}  // namespace tovira
