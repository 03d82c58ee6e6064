#include "app/PlayerMpris.h"

#include <QUrl>
#include <cmath>

#include "playlist/PlaylistModel.h"
#include "session/PlaybackSession.h"
#include "ui/player/TrackText.h"

namespace tovira {

void PlayerMpris::Play() { session_.Play(); }
void PlayerMpris::Pause() { session_.Pause(); }

void PlayerMpris::PlayPause() {
  // The window's Play/Pause does nothing while stopped; a media key then starts playing.
  if (session_.IsActive()) session_.PlayPause();
  else session_.Play();
}

void PlayerMpris::Stop() { session_.Stop(); }
void PlayerMpris::Next() { session_.Next(); }
void PlayerMpris::Previous() { session_.Previous(); }

void PlayerMpris::SeekTo(qint64 positionUs) {
  if (CanSeek()) session_.SeekMs(static_cast<uint32_t>(positionUs / 1000));
}

void PlayerMpris::SetVolume(double volume) { session_.SetVolume(static_cast<int>(std::lround(volume * 100.0))); }
void PlayerMpris::Raise() {
  if (raise_) raise_();
}
void PlayerMpris::Quit() {
  if (quit_) quit_();
}
void PlayerMpris::OpenFile(const QString& path) { session_.PlayFile(path); }

MprisStatus PlayerMpris::Status() const {
  switch (session_.State()) {
    case EngineState::Playing:
      return MprisStatus::Playing;
    case EngineState::Paused:
      return MprisStatus::Paused;
    default:
      return MprisStatus::Stopped;
  }
}

qint64 PlayerMpris::PositionUs() const { return qint64{session_.PositionMs()} * 1000; }

double PlayerMpris::Volume() const { return session_.Volume() / 100.0; }

MprisTrack PlayerMpris::Track() const {
  const NowPlaying& now = session_.Current();
  if (!session_.IsActive() || now.path.isEmpty()) return {};
  MprisTrack t;
  t.serial = now.serial;
  t.url = QUrl::fromLocalFile(now.path).toString();
  t.title = DisplayName(now.path.toStdString());
  if (now.facts.title) t.title = QString::fromStdString(*now.facts.title);
  if (now.facts.artist) t.artist = QString::fromStdString(*now.facts.artist);
  if (now.facts.album) t.album = QString::fromStdString(*now.facts.album);
  t.lengthUs = static_cast<qint64>(now.durationMs * 1000.0);
  return t;
}

bool PlayerMpris::CanGoNext() const { return session_.Playlist().RowCount() > 0; }
bool PlayerMpris::CanGoPrevious() const { return session_.Playlist().RowCount() > 0; }
bool PlayerMpris::CanPlay() const { return true; }
bool PlayerMpris::CanPause() const { return session_.IsActive(); }
bool PlayerMpris::CanSeek() const { return session_.IsActive() && session_.Current().durationMs > 0.0; }

}  // namespace tovira
