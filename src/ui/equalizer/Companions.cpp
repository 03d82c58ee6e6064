#include "ui/equalizer/Companions.h"

#include "ui/player/PlayerDialog.h"

namespace tovira {

Companions::Companions(PlayerDialog& player, Settings& settings, const QString& folderRoot)
    : playlist(player.Playlist(), settings, &player, folderRoot),
      equalizer(settings, player.Controller().Engine(), &player),
      player_(player) {
  QObject::connect(&equalizer, &EqualizerDialog::pathsDropped, &playlist, &PlaylistDialog::AddDropped);
  // The title bar's close button works like the toggle, so the toggle stays true.
  QObject::connect(&playlist, &PlaylistDialog::closeRequested, &player, [&player] { player.TogglePlaylist(false); });
  QObject::connect(&equalizer, &EqualizerDialog::closeRequested, &player, [&player] { player.ToggleEqualizer(false); });
  player.SetCompanions(&playlist, &equalizer);
  player.SetCompanionSlides([this](bool show) { playlist.StartSlide(show); },
                            [this](bool show) { equalizer.StartSlide(show); });
}

Companions::~Companions() {
  player_.SetCompanionSlides({}, {});
  player_.SetCompanions(nullptr, nullptr);
}

}  // namespace tovira
