#pragma once
// The player's one way to the playback engine. Engine notifications may arrive on the decode
// thread; the controller re-posts each one to its own (the UI) thread and emits it as a signal.
// An end of track or an error that belongs to a track no longer open (the user already moved on)
// is dropped, so it can never skip the track that replaced it.

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

#include "engine/PlaybackEngine.h"

namespace tovira {

class AudioDevice;

class EngineController : public QObject {
  Q_OBJECT

 public:
  // Plays through `device`; without one, through the sound card. With `fallbackToNull`, a device
  // that cannot be opened is replaced by silence and a notice says so; without, the track fails.
  explicit EngineController(std::unique_ptr<AudioDevice> device = nullptr, QObject* parent = nullptr,
                            bool fallbackToNull = true);
  ~EngineController() override;

  struct Result {
    bool ok = false;
    QString reason;  // why not, one sentence for the user
    uint64_t serial = 0;  // SetNext: the serial trackChanged will bring
  };
  // Stops what plays, then opens, prepares and starts `path`, its samples scaled by `gain`
  // (ReplayGain; as for SetTrackGain).
  Result Play(const QString& path, double gain = 1.0);
  // Whether `path` can be opened and holds MPEG audio, without touching what plays; the reason
  // is the one Play would give.
  static Result CheckPlayable(const QString& path);

  EngineState State() const { return engine_->GetState(); }
  bool IsActive() const;  // Playing or Paused
  bool Pause() { return engine_->Pause(); }
  bool Resume() { return engine_->Resume(); }
  // Stops a running track and closes the file.
  void StopAndClose();
  bool Seek(uint32_t ms) { return engine_->Seek(ms); }
  // The file to follow the one playing without a gap (PlaybackEngine::SetNextInput), replacing any
  // set before; `gain` is its linear track gain. Not ok, with Play's reason, when it cannot be
  // opened or holds no MPEG audio (the current file then ends as it would have), or when nothing
  // plays. Play, StopAndClose and an error of the current file forget it. `serial` in the result
  // is what trackChanged brings when that file is heard (possibly before SetNext returns: take it
  // from here, not from NextSerial()).
  Result SetNext(const QString& path, double gain = 1.0);
  void ClearNext() { engine_->ClearNextInput(); }
  // The serial of the file set by SetNext while it waits to be heard; 0 when none is.
  uint64_t NextSerial() const { return engine_->NextSerial(); }
  uint64_t TrackSerial() const { return engine_->TrackSerial(); }
  // The linear gain of the file playing, from its next frame on (PlaybackEngine::SetTrackGain).
  bool SetTrackGain(double linear) { return engine_->SetTrackGain(linear); }
  // 0-100 on both channels.
  void SetVolumePercent(int percent);
  uint32_t PositionMs() const { return engine_->HeardPositionMs(); }
  uint32_t RunningPositionMs(std::chrono::steady_clock::time_point now) const {
    return engine_->RunningPositionMs(now);
  }
  uint32_t BitrateKbps() const { return engine_->BitrateKbps(); }
  double DurationMs() const { return engine_->DurationMs(); }
  SpectrumLevels Levels() { return engine_->Levels(); }
  PlaybackEngine& Engine() { return *engine_; }
  const PlaybackEngine& Engine() const { return *engine_; }

  // The word the engine takes for a volume of 0-100: value × 655 on the left (low 16 bits) and
  // the right (high 16 bits).
  static uint32_t VolumeWord(int percent);

 signals:
  void stateChanged(tovira::EngineState state);
  void trackEnded();
  // The file set by SetNext began to be heard, right after the last sample of the one before (no
  // trackEnded for that one): `serial` is what NextSerial() said, now TrackSerial(); PositionMs and
  // DurationMs are the new file's.
  void trackChanged(quint64 serial);
  void trackFailed(const QString& reason);
  void notice(const QString& text);

 private:
  void Deliver(const EngineNotification& n);
  bool IsCurrent(const EngineNotification& n) const;

  std::unique_ptr<PlaybackEngine> engine_;
};

}  // namespace tovira
