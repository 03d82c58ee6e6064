#include "app/PlayerMpris.h"

#include <QFileInfo>
#include <QUrl>
#include <cmath>

#include "ui/player/PlayerDialog.h"
#include "ui/player/TrackText.h"

namespace tovira {

void PlayerMpris::Play() { player_.Play(); }

void PlayerMpris::Pause() {
  if (player_.Controller().State() == EngineState::Playing) player_.PlayPause();
}

void PlayerMpris::PlayPause() {
  // The window's Play/Pause does nothing while stopped; a media key then starts playing.
  if (player_.Controller().IsActive()) player_.PlayPause();
  else player_.Play();
}

void PlayerMpris::Stop() { player_.Stop(); }
void PlayerMpris::Next() { player_.Next(); }
void PlayerMpris::Previous() { player_.Previous(); }

void PlayerMpris::SeekTo(qint64 positionUs) {
  if (CanSeek()) player_.Controller().Seek(static_cast<uint32_t>(positionUs / 1000));
}

void PlayerMpris::SetVolume(double volume) { player_.SetVolume(static_cast<int>(std::lround(volume * 100.0))); }
void PlayerMpris::Raise() { player_.BringToFront(); }
void PlayerMpris::Quit() { player_.close(); }
void PlayerMpris::OpenFile(const QString& path) { player_.PlayFile(path); }

MprisStatus PlayerMpris::Status() const {
  switch (player_.Controller().State()) {
    case EngineState::Playing:
      return MprisStatus::Playing;
    case EngineState::Paused:
      return MprisStatus::Paused;
    default:
      return MprisStatus::Stopped;
  }
}

qint64 PlayerMpris::PositionUs() const {
  return player_.Controller().IsActive() ? qint64{player_.Controller().PositionMs()} * 1000 : 0;
}

double PlayerMpris::Volume() const { return player_.Volume() / 100.0; }

MprisTrack PlayerMpris::Track() const {
  if (!player_.Controller().IsActive()) return {};
  const QString path = player_.CurrentFile();
  if (track_.serial == 0 || QUrl::fromLocalFile(path).toString() != track_.url) {
    MprisTrack t;
    t.serial = ++serials_;
    t.url = QUrl::fromLocalFile(path).toString();
    t.title = DisplayName(path.toStdString());
    if (const auto facts = ReadTrackFacts(path.toStdString())) {
      if (facts->title) t.title = QString::fromStdString(*facts->title);
      if (facts->artist) t.artist = QString::fromStdString(*facts->artist);
      if (facts->album) t.album = QString::fromStdString(*facts->album);
      t.lengthUs = static_cast<qint64>(facts->durationMs * 1000.0);
    }
    track_ = t;
  }
  return track_;
}

bool PlayerMpris::CanGoNext() const { return !player_.Playlist().Rows().empty(); }
bool PlayerMpris::CanGoPrevious() const { return !player_.Playlist().Rows().empty(); }
bool PlayerMpris::CanPlay() const { return true; }
bool PlayerMpris::CanPause() const { return player_.Controller().IsActive(); }
bool PlayerMpris::CanSeek() const { return player_.Controller().IsActive() && Track().lengthUs > 0; }

}  // namespace tovira
