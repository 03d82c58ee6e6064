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
//
// Gapless playback: SetNextInput hands over the track to follow the one being heard. The decode
// thread goes on into it where the current stream ends, into the same output queue, so that its
// first sample follows the last one of the track before (the device is reopened between them only
// when their rates differ). When that first sample is heard, TrackChanged is sent and the
// serial, the positions and the duration become the new track's. What plays is only the sound
// that was encoded: the information frame, the encoder's delay and padding and the decoder's own
// delay are left out (engine/Gapless.h), so positions run from 0 to the duration exactly.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "decoder/MpegDecoder.h"
#include "decoder/PlaybackContext.h"
#include "decoder/Synthesis.h"
#include "engine/EngineTypes.h"
#include "engine/Gapless.h"
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
  // The window the next Start plays of the track (0 = from the start, 0 = to the end).
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
  // with the sample at `positionMs` (rounded up), exactly as an uninterrupted decode sounds there,
  // and PositionMs reports `positionMs`. A seek is for the track being heard: one that comes after
  // the decoder went on into the next track, before that was heard, brings the decoder back, and
  // the next track will follow again from its start. False past the end of the audio.
  bool Seek(uint32_t positionMs);

  // The track to follow the one being heard, without a gap; it replaces any set before (also one
  // the decoder has already gone on into, as long as none of it has been heard: that sound is
  // dropped). The file is opened and its first frame read here: false (NoInput, SetupFailed) when
  // it cannot be, and the current track then ends as it would have. Only while a track is
  // Prepared, Playing or Paused (WrongState otherwise). `gain` as for SetTrackGain (SetupFailed
  // when out of range). Stop and Close forget it; so does an error that ends the current track.
  // A request that reaches the decoder just as the next track begins to be heard applies to the
  // track after it. The range (SetRange) is the first track's only. `serial`, when given, receives
  // the serial the track has (it becomes TrackSerial() when the track is heard, which may be
  // before this returns).
  bool SetNextInput(const std::string& path, double gain = 1.0, uint64_t* serial = nullptr);
  // Forgets the next track, as SetNextInput would replace it. False only in the wrong state.
  bool ClearNextInput();
  // The serial of the track set by SetNextInput while it waits to be heard; 0 when none is set (or
  // once it is heard).
  uint64_t NextSerial() const { return nextSerial_.load(); }
  // A linear factor on the sound of the open track (1 = as decoded), from the decoder's next frame
  // on, applied with the equaliser before the samples are rounded to 16 bits (which saturate).
  // False for a factor that is negative, not finite or above 16, or while Closed.
  bool SetTrackGain(double linear);
  EngineState GetState() const { return state_.load(); }
  bool SetVolume(uint32_t volume);
  EngineError LastError() const { return lastError_.load(); }
  // Why the last Open (or SetNextInput) could not open its file, for the user ("it is a
  // directory", "No such file or directory"), without the file's name; empty when the stream gave
  // no reason.
  std::string OpenFailureReason() const;
  // The serial Open gave the file now open (1, 2, ... per engine); 0 while Closed.
  uint64_t TrackSerial() const { return openSerial_.load(); }

  // Copied; the decode thread takes it up at the next frame. Flat until first set.
  void SetEqualizer(const EqualizerFactors& factors);
  // The factors last set: what the decode thread applies from its next frame on.
  EqualizerFactors Equalizer() const;
  // The levels of the block now being heard (zeros when nothing plays).
  SpectrumLevels Levels();

  uint32_t Signature() const { return signature_; }
  DecodePhase Phase() const { return phase_.load(); }
  // Position of the decoder in the track being heard, in ms: the sound queued so far (0 after the
  // end of a track; the duration once the decoder has gone on into the next track).
  uint32_t PositionMs() const;
  // Playing time of the track being heard (0 before Prepare): the sound that was encoded, as
  // the information frame states it. Where the stream states no frame count that is an
  // estimate, which becomes the exact length once the frame index has walked the file (early in
  // playback).
  double DurationMs() const;
  // Position of what is being heard: behind the decoder by the audio still queued; never past
  // the duration.
  uint32_t HeardPositionMs() const;
  // The same, moving between the device's pulls as the sound plays (see
  // WaveOutput::PlayingBytes), for a running time display; up to one pull behind HeardPositionMs.
  uint32_t RunningPositionMs(std::chrono::steady_clock::time_point now) const;
  // Bit rate of the frame decoded last, in kbit/s (changes with variable bit rate).
  uint32_t BitrateKbps() const { return bitrateKbps_.load(); }
  int32_t OutputRate() const { return outputRate_.load(); }
  int32_t Decimation() const { return decimation_.load(); }
  uint64_t UnderrunBytes() const { return output_.UnderrunBytes(); }
  // Frames of the track being decoded that could not be decoded and were played as silence.
  uint64_t DamagedFrames() const { return damagedFrames_.load(std::memory_order_relaxed); }
  std::string DeviceName() const { return output_.DeviceName(); }

 private:
  struct Track;
  // Where a track's decoder delivers: the part of its PCM that is sound goes to the output.
  class TrackSink final : public PcmSink {
   public:
    TrackSink(PlaybackEngine& e, Track& t) : e_(e), t_(t) {}
    void WriteBlock(const int16_t* samples, size_t count) override;

   private:
    PlaybackEngine& e_;
    Track& t_;
  };
  // The spectrum's feed, and the moment a block begins to be heard (a join may be there).
  class HeardWatch final : public BlockObserver {
   public:
    explicit HeardWatch(PlaybackEngine& e) : e_(e) {}
    void OnBlockQueued(uint64_t sequence, const uint8_t* data, size_t bytes, const PcmFormat& format) override;
    void OnBlockHeard(uint64_t sequence) override;
    void OnReset() override;

   private:
    PlaybackEngine& e_;
  };
  // What the position and duration getters need of a track.
  struct Timing {
    int32_t rate = 0;              // of the output
    double durationMs = 0.0;
    uint64_t audible = kToTheEnd;  // output samples of sound, when known
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
  void JoinFinishedThread();
  void WakeThread();
  // Wakes the decode thread for a request just posted under `lock` and waits, still holding it
  // afterwards, until the thread sets `done`.
  void AskThread(std::unique_lock<std::mutex>& lock, const bool& done);

  // Tracks. Made and prepared on the caller's thread; owned by the decode thread while it runs.
  std::unique_ptr<Track> LoadTrack(const std::string& path);  // opened; null (and openFailure_) if not
  bool PrepareTrack(Track& t);  // first frame read, stream rewound, decoder set up
  void RewindTrack(Track& t);
  // Moves `t` so that the next sample passed on is the one at `ms`; false, nothing changed, when
  // that lies past the sound.
  bool SeekTrack(Track& t, uint32_t ms, const std::function<bool()>& stop = {});
  static Timing TimingOf(const Track& t);
  static uint64_t PositionOf(const Track& t);  // output samples of sound passed on
  void Forward(Track& t, const int16_t* samples, size_t count);
  uint32_t PositionLocked() const;  // under timeMutex_
  uint32_t HeardAt(std::optional<std::chrono::steady_clock::time_point> now) const;
  bool HandOver(bool set, std::unique_ptr<Track> t);

  // Decode thread.
  void DecodeThread();
  std::string FrameLoop();  // why it was left early (a message for the user), or empty
  void ServiceSeek();
  void ServiceNext();
  void ServiceRequests();
  void PauseWait();
  void HandleFormatChange(Track& t);
  void TakeEqualizer();
  void TakeGain();
  void ApplyFactors(Track& t);
  void Cross();                  // on into next_ in the same output queue
  void SwitchWithReopen();       // on into next_ of another rate, once the queue has played out
  void CommitJoin(bool force);   // the join is heard (or must count as heard now)
  bool SameFormat(const Track& t) const;
  bool Interrupted() const { return stopRequested_.load() || seekPending_.load() || nextPending_.load(); }

  const uint32_t signature_ = kSignature;
  PlaybackContext ctx_;  // the engine's settings and the input of the next Open
  SpectrumFeed spectrum_;  // outlives the output, which reports to it until closed
  HeardWatch watch_{*this};
  WaveOutput output_;

  // cur_: being decoded, and heard unless a join is pending; prev_: decoded to its end and still
  // being heard while the join to cur_ is pending; next_: to follow cur_.
  std::unique_ptr<Track> cur_;
  std::unique_ptr<Track> prev_;
  std::unique_ptr<Track> next_;

  mutable std::mutex opMutex_;  // one operation at a time; the decode thread never takes it
  std::thread thread_;

  mutable std::mutex mutex_;  // state changes, start, seek and next-track hand-over
  std::condition_variable cv_;
  std::atomic<EngineState> state_{EngineState::Closed};
  std::atomic<EngineError> lastError_{EngineError::None};
  std::atomic<uint64_t> openSerial_{0};
  std::atomic<uint64_t> nextSerial_{0};
  uint64_t lastSerial_ = 0;  // under opMutex_
  std::string openFailure_;  // under opMutex_
  bool started_ = false;
  bool startOk_ = false;
  bool threadAlive_ = false;
  uint32_t seekTarget_ = 0;
  bool seekDone_ = false;
  bool seekResult_ = false;
  bool nextSet_ = false;                 // the request: set (else clear)
  std::unique_ptr<Track> nextOffered_;   // the track it hands over
  bool nextDone_ = false;
  bool nextResult_ = false;

  std::atomic<bool> pauseRequested_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> seekPending_{false};
  std::atomic<bool> nextPending_{false};
  std::atomic<DecodePhase> phase_{DecodePhase::Idle};

  mutable std::mutex eqMutex_;
  EqualizerFactors pendingEq_;
  std::atomic<bool> eqChanged_{false};
  EqualizerFactors activeEq_;  // decode thread (or the caller while none runs)
  uint64_t eqVersion_ = 0;     // counts the changes of activeEq_

  std::mutex gainMutex_;
  uint64_t gainTrack_ = 0;  // the serial SetTrackGain meant
  double gainValue_ = 1.0;
  std::atomic<bool> gainChanged_{false};

  std::atomic<int32_t> decimation_{0};
  std::atomic<int32_t> outputRate_{0};
  std::atomic<uint32_t> bitrateKbps_{0};
  std::atomic<uint64_t> damagedFrames_{0};

  // Positions. Taken before the output's own lock, never after it.
  mutable std::mutex timeMutex_;
  Timing heard_;             // of the track being heard
  int64_t heardBase_ = 0;    // its sample at the first byte played since the output's last open or reset
  uint64_t decoded_ = 0;     // its samples queued so far
  bool joinPending_ = false;  // cur_ follows prev_ in the queue and has not been heard yet
  uint64_t joinByte_ = 0;    // where in the queue (output bytes since the last open or reset)
  Timing joinTiming_;
  uint64_t joinDecoded_ = 0;
  uint64_t joinSerial_ = 0;

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
