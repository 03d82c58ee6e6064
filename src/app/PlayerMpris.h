#pragma once
// The playback session as the media keys and the desktop's sound controls see it.

#include <QString>

#include <functional>

#include "app/Mpris.h"

namespace tovira {

class PlaybackSession;

class PlayerMpris : public MprisPlayer {
 public:
  // `raise` brings the player window to the front, `quit` closes it.
  PlayerMpris(PlaybackSession& session, std::function<void()> raise, std::function<void()> quit)
      : session_(session), raise_(std::move(raise)), quit_(std::move(quit)) {}

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

  MprisStatus Status() const override;
  qint64 PositionUs() const override;
  double Volume() const override;
  MprisTrack Track() const override;
  bool CanGoNext() const override;
  bool CanGoPrevious() const override;
  bool CanPlay() const override;
  bool CanPause() const override;
  bool CanSeek() const override;

 private:
  PlaybackSession& session_;
  std::function<void()> raise_;
  std::function<void()> quit_;
};

}  // namespace tovira
