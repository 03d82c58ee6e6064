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
  };
  // Stops what plays, then opens, prepares and starts `path`.
  Result Play(const QString& path);
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
  // 0-100 on both channels.
  void SetVolumePercent(int percent);
  uint32_t PositionMs() const { return engine_->HeardPositionMs(); }
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
  void trackFailed(const QString& reason);
  void notice(const QString& text);

 private:
  void Deliver(const EngineNotification& n);
  bool IsCurrent(const EngineNotification& n) const;

  std::unique_ptr<PlaybackEngine> engine_;
};

}  // namespace tovira
