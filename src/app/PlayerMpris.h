#pragma once
// The playback session as the media keys and the desktop's sound controls see it.

#include <QString>

#include <functional>

#include "app/Mpris.h"

namespace tovira {

class PlaybackSession;

// The file:// URL of the picture in `audioPath`'s ID3v2 tag (the front cover, else the first),
// written once into `cacheFolder` under a name made of a hash of its bytes; empty when the file
// has no picture or it cannot be written. Only a regular file is read.
QString EmbeddedArtUrl(const QString& audioPath, const QString& cacheFolder);

class PlayerMpris : public MprisPlayer {
 public:
  // `raise` brings the player window to the front, `quit` closes it. Pictures are kept in
  // `artFolder`; empty: "art" in the user's cache folder.
  PlayerMpris(PlaybackSession& session, std::function<void()> raise, std::function<void()> quit,
              QString artFolder = {});

  void Play() override;
  void Pause() override;
  void PlayPause() override;
  void Stop() override;
  void Next() override;
  void Previous() override;
  void SeekTo(qint64 positionUs) override;
  void SetVolume(double volume) override;
  void Raise() override;
  void Quit() override;
  void OpenFile(const QString& path) override;
  void SetLoop(MprisLoop loop) override;
  void SetShuffle(bool on) override;

  MprisStatus Status() const override;
  qint64 PositionUs() const override;
  double Volume() const override;
  MprisTrack Track() const override;
  bool CanGoNext() const override;
  bool CanGoPrevious() const override;
  bool CanPlay() const override;
  bool CanPause() const override;
  bool CanSeek() const override;
  MprisLoop Loop() const override;
  bool Shuffle() const override;

 private:
  PlaybackSession& session_;
  std::function<void()> raise_;
  std::function<void()> quit_;
  QString artFolder_;
  // The picture is looked for once per track, not at every poll.
  mutable quint64 artSerial_ = 0;
  mutable QString artUrl_;
};

}  // namespace tovira
