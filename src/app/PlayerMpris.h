#pragma once
// The player window as the media keys and the desktop's sound controls see it.

#include <QString>

#include "app/Mpris.h"

namespace tovira {

class PlayerDialog;

class PlayerMpris : public MprisPlayer {
 public:
  explicit PlayerMpris(PlayerDialog& player) : player_(player) {}

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
  PlayerDialog& player_;
  // The tags of the open file, read once per opened track.
  mutable MprisTrack track_;
  mutable quint64 serials_ = 0;
};

}  // namespace tovira
