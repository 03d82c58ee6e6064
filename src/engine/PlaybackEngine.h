#pragma once
// The transport between the player and the decoder: a six-state machine, a last-error code and
// one decode thread per started track that reads frames, decodes them and queues the PCM on
// the audio output.
//
// Every operation runs on the caller's thread, one at a time. The decode thread is steered by
// atomics it polls once per frame and by one condition variable for pause, seek and start; it
// never waits for the caller.
//
// Notifications (state changes, end of track, notices, errors) come through one callback. They
// are queued in the order the events happened and delivered with no lock of the engine held,
// one at a time: by the operation that caused them just before it returns, or by the engine's
// notifier thread for what the decode thread reports (and for whatever was queued while another
// delivery ran). So the handler may call any operation, Stop, Close or the next file's
// SetInputFile/Open/Prepare/Start included. Each notification carries the serial of its track:
// a TrackEnded or Error whose `track` is no longer TrackSerial(), or that arrives when the state
// is no longer Ended, is stale (the user stopped or replaced the track meanwhile).
// The handler must not throw, and must not destroy the engine.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "decoder/MpegDecoder.h"
#include "decoder/PlaybackContext.h"
#include "decoder/Synthesis.h"
#include "engine/EngineTypes.h"
#include "output/WaveOutput.h"
#include "spectrum/SpectrumFeed.h"

namespace tovira {

// Where the decode thread is; for status displays and tests.
enum class DecodePhase { Idle, Decoding, Paused, Draining };

class PlaybackEngine {
 public:
  static constexpr uint32_t kSignature = 0x14581458;

  // Plays through `device`; without one, through the sound card (SDL). With `fallbackToNull`,
  // a device that cannot be opened is replaced by the null device and a Notice is sent.
  explicit PlaybackEngine(std::unique_ptr<AudioDevice> device = nullptr, bool fallbackToNull = true);
  ~PlaybackEngine();
  PlaybackEngine(const PlaybackEngine&) = delete;
  PlaybackEngine& operator=(const PlaybackEngine&) = delete;

  bool SetInputFile(const std::string& path);
  bool SetRange(uint32_t startMs, uint32_t endMs);
  // The notification callback (the window handle of old); allowed while no track runs.
  bool SetNotifyWindow(EngineNotify notify);
  bool Open();
  bool Prepare();
  bool Start();
  bool Pause();
  bool Resume();
  bool Stop();
  bool Close();
  // Playing or Paused: the decode thread moves at its next frame and the queued sound is dropped.
  // Prepared: the stream is moved at once, and Start plays from there. What is heard then starts
  // with the frame that holds `positionMs`, exactly as an uninterrupted decode would sound there;
  // PositionMs reports that frame's start. False past the end of the audio.
  bool Seek(uint32_t positionMs);
  EngineState GetState() const { return state_.load(); }
  bool SetVolume(uint32_t volume);
  EngineError LastError() const { return lastError_.load(); }
  // Why the last Open failed, for the user ("it is a directory", "No such file or directory"),
  // without the file's name; empty when the stream gave no reason.
  std::string OpenFailureReason() const;
  // The serial Open gave the file now open (1, 2, ... per engine); 0 while Closed.
  uint64_t TrackSerial() const { return openSerial_.load(); }

  // Copied; the decode thread takes it up at the next frame. Flat until first set.
  void SetEqualizer(const EqualizerFactors& factors);
  // The factors last set: what the decode thread applies from its next frame on.
  EqualizerFactors Equalizer() const;
  // The levels of the block now being heard (zeros when nothing plays).
  SpectrumLevels Levels() { return spectrum_.Levels(); }

  uint32_t Signature() const { return signature_; }
  DecodePhase Phase() const { return phase_.load(); }
  // Position of the decoder in the stream, in ms (0 after the end of a track).
  uint32_t PositionMs() const;
  // Playing time of the prepared track, from the same figures as the info command and the tag
  // reader (0 before Prepare). Where the stream states no frame count that is an estimate, which
  // becomes the exact length once the frame index has walked the file (early in playback).
  double DurationMs() const { return durationMs_.load(); }
  // Position of what is being heard: behind the decoder by the audio still queued.
  uint32_t HeardPositionMs() const;
  // Bit rate of the frame decoded last, in kbit/s (changes with variable bit rate).
  uint32_t BitrateKbps() const { return bitrateKbps_.load(); }
  int32_t OutputRate() const { return outputRate_.load(); }
  int32_t Decimation() const { return decimation_.load(); }
  uint64_t UnderrunBytes() const { return output_.UnderrunBytes(); }
  // Frames of the current track that could not be decoded and were played as silence.
  uint64_t DamagedFrames() const { return damagedFrames_.load(std::memory_order_relaxed); }
  std::string DeviceName() const { return output_.DeviceName(); }

 private:
  class OutputSink final : public PcmSink {
   public:
    explicit OutputSink(WaveOutput& out) : out_(out) {}
    void WriteBlock(const int16_t* samples, size_t count) override;

   private:
    WaveOutput& out_;
  };

  // Delivers what was queued when an operation ends, after its lock is released.
  class DeliverOnReturn {
   public:
    explicit DeliverOnReturn(PlaybackEngine& e) : e_(e) {}
    ~DeliverOnReturn() { e_.Deliver(); }
    DeliverOnReturn(const DeliverOnReturn&) = delete;
    DeliverOnReturn& operator=(const DeliverOnReturn&) = delete;

   private:
    PlaybackEngine& e_;
  };

  bool StopLocked();             // under opMutex_
  void SetState(EngineState s);  // takes mutex_
  // Queues a notification for the current track; called where the event happens (under
  // mutex_ for state changes), so the queue keeps their order. `wake`: have the notifier
  // thread deliver it (the decode thread never delivers itself: the handler may join it).
  void Post(EngineEvent event, EngineState state, std::string text = {}, bool wake = false);
  void Deliver();
  void NotifierThread();
  void Fail(EngineError e) { lastError_ = e; }
  void SetRangeLocked(uint32_t startMs, uint32_t endMs);
  void JoinFinishedThread();
  void WakeThread();

  // Decode thread.
  void DecodeThread();
  std::string FrameLoop();  // why it was left early (a message for the user), or empty
  void ServiceSeek();
  void PauseWait();
  void HandleFormatChange();
  void TakeEqualizer();
  bool Interrupted() const { return stopRequested_.load() || seekPending_.load(); }

  const uint32_t signature_ = kSignature;
  PlaybackContext ctx_;
  std::unique_ptr<MpegDecoder> decoder_;
  SpectrumFeed spectrum_;  // outlives the output, which reports to it until closed
  WaveOutput output_;
  OutputSink sink_{output_};

  mutable std::mutex opMutex_;  // one operation at a time; the decode thread never takes it
  std::thread thread_;

  mutable std::mutex mutex_;  // state changes, start and seek hand-over
  std::condition_variable cv_;
  std::atomic<EngineState> state_{EngineState::Closed};
  std::atomic<EngineError> lastError_{EngineError::None};
  std::atomic<uint64_t> openSerial_{0};
  uint64_t lastSerial_ = 0;  // under opMutex_
  std::string openFailure_;  // under opMutex_
  bool started_ = false;
  bool startOk_ = false;
  bool threadAlive_ = false;
  uint32_t seekTarget_ = 0;
  bool seekDone_ = false;
  bool seekResult_ = false;

  std::atomic<bool> pauseRequested_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> seekPending_{false};
  std::atomic<DecodePhase> phase_{DecodePhase::Idle};

  mutable std::mutex eqMutex_;
  EqualizerFactors pendingEq_;
  std::atomic<bool> eqChanged_{false};
  EqualizerFactors activeEq_;  // read by the synthesis on the decode thread

  std::atomic<uint32_t> startFrame_{0};
  std::atomic<uint32_t> endFrame_{kRangeToEnd};
  std::atomic<int32_t> decimation_{0};
  std::atomic<int32_t> outputRate_{0};
  std::atomic<double> msPerFrame_{0.0};
  std::atomic<double> durationMs_{0.0};
  bool durationFromIndex_ = false;  // Prepare sets it; then only the decode thread
  std::atomic<double> heardBaseMs_{0.0};  // stream time at the last output open or reset
  std::atomic<uint32_t> bitrateKbps_{0};
  std::atomic<uint64_t> damagedFrames_{0};

  // Notification queue; notifyMutex_ is taken last, never held while calling the handler.
  std::mutex notifyMutex_;
  std::condition_variable notifyCv_;
  std::deque<EngineNotification> pending_;
  EngineNotify notify_;
  bool delivering_ = false;  // someone is draining pending_ right now
  bool notifierQuit_ = false;
  std::thread notifier_;  // last member: started once everything else is constructed
};

}  // namespace tovira
