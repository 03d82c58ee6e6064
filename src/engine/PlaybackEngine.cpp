#include "engine/PlaybackEngine.h"

#include <algorithm>
#include <bit>
#include <system_error>

#include "decoder/DecoderError.h"
#include "decoder/StreamProbe.h"
#include "equalizer/Equalizer.h"
#include "output/SdlDevice.h"

namespace tovira {

namespace {
// Frames with nothing usable before the first header is given up on in Prepare; each attempt
// has already scanned a long stretch of the file.
constexpr int kPrepareAttempts = 8;
}  // namespace

void PlaybackEngine::OutputSink::WriteBlock(const int16_t* samples, size_t count) {
  static_assert(std::endian::native == std::endian::little, "the devices take little-endian PCM");
  // Interleaved 16-bit samples in memory order are the little-endian PCM the device takes.
  out_.WriteBlock(reinterpret_cast<const uint8_t*>(samples), count * sizeof(int16_t));
}

PlaybackEngine::PlaybackEngine(std::unique_ptr<AudioDevice> device, bool fallbackToNull)
    : decoder_(std::make_unique<MpegDecoder>(ctx_)),
      output_(device ? std::move(device) : std::make_unique<SdlDevice>(), ctx_.outputBufferCount,
              static_cast<size_t>(ctx_.outputBufferSize)),
      pendingEq_(FlatEqualizerFactors()),
      activeEq_(FlatEqualizerFactors()) {
  output_.SetFallbackToNull(fallbackToNull);
  // Half the queue before the device starts: no stutter while the decoder gets going.
  output_.SetStartThreshold(ctx_.outputBufferCount / 2);
  output_.SetObserver(&spectrum_);
  output_.SetInterruptCheck([this] { return Interrupted(); });
  decoder_->SetSink(&sink_);
}

PlaybackEngine::~PlaybackEngine() {
  // The owner is going away too: no more notifications into it.
  {
    std::lock_guard lock(mutex_);
    notify_ = nullptr;
  }
  Close();
}

void PlaybackEngine::Notify(EngineEvent event, EngineState state, const std::string& text) {
  EngineNotify notify;
  {
    std::lock_guard lock(mutex_);
    notify = notify_;
  }
  if (notify) notify(EngineNotification{event, state, text});
}

void PlaybackEngine::SetState(EngineState s, bool notify) {
  {
    std::lock_guard lock(mutex_);
    state_ = s;
  }
  if (notify) Notify(EngineEvent::StateChanged, s);
}

void PlaybackEngine::WakeThread() {
  {
    std::lock_guard lock(mutex_);
  }
  cv_.notify_all();
  output_.Wake();
}

void PlaybackEngine::JoinFinishedThread() {
  if (thread_.joinable()) thread_.join();
}

bool PlaybackEngine::SetInputFile(const std::string& path) {
  std::lock_guard op(opMutex_);
  if (state_ != EngineState::Closed) {
    Fail(EngineError::WrongState);
    return false;
  }
  ctx_.inputFile = path;
  return true;
}

void PlaybackEngine::SetRangeLocked(uint32_t startMs, uint32_t endMs) {
  ctx_.startPosition = startMs;
  // A range that ends before it starts plays to the end of the stream.
  ctx_.endPosition = (endMs != 0 && endMs < startMs) ? kRangeToEnd : endMs;
  const EngineState s = state_;
  if (s == EngineState::Closed || s == EngineState::Opened) return;
  const double ms = msPerFrame_.load();
  if (ms <= 0.0) return;
  ctx_.startFrame = static_cast<uint32_t>(ctx_.startPosition / ms);
  if (ctx_.endPosition != 0 && ctx_.endPosition != kRangeToEnd) {
    ctx_.endFrame = static_cast<uint32_t>(ctx_.endPosition / ms);
  } else {
    ctx_.endPosition = kRangeToEnd;
    ctx_.endFrame = kRangeToEnd;
  }
  // The running decode thread reads these copies, never the context's plain fields.
  startFrame_ = ctx_.startFrame;
  endFrame_ = ctx_.endFrame;
}

bool PlaybackEngine::SetRange(uint32_t startMs, uint32_t endMs) {
  std::lock_guard op(opMutex_);
  SetRangeLocked(startMs, endMs);
  return true;
}

bool PlaybackEngine::SetNotifyWindow(EngineNotify notify) {
  std::lock_guard op(opMutex_);
  std::lock_guard lock(mutex_);
  if (state_ == EngineState::Playing || state_ == EngineState::Paused) {
    Fail(EngineError::WrongState);
    return false;
  }
  notify_ = std::move(notify);
  return true;
}

bool PlaybackEngine::Open() {
  std::lock_guard op(opMutex_);
  if (state_ != EngineState::Closed) {
    Fail(EngineError::WrongState);
    return false;
  }
  if (ctx_.inputMode == 0 && ctx_.inputFile.empty()) {
    Fail(EngineError::NoInput);
    return false;
  }
  pauseRequested_ = false;
  output_.SetPaused(false);
  bool opened = false;
  try {
    opened = decoder_->Stream().OpenStream();
  } catch (const DecoderError&) {
    opened = false;
  }
  if (!opened) {
    Fail(EngineError::NoInput);
    return false;
  }
  SetState(EngineState::Opened);
  return true;
}

bool PlaybackEngine::Prepare() {
  std::lock_guard op(opMutex_);
  if (state_ != EngineState::Opened && state_ != EngineState::Ended) {
    Fail(EngineError::WrongState);
    return false;
  }
  JoinFinishedThread();
  FrameHeader& h = decoder_->Header();
  InputStream& in = decoder_->Stream();
  h = FrameHeader{};
  h.monoMix = -1;
  int r = 0;
  try {
    for (int i = 0; i < kPrepareAttempts && (r = in.ReadFrame()) == 0; ++i) {
    }
  } catch (const DecoderError&) {
    r = -1;
  }
  if (r == 1) durationMs_ = SummariseStream(in, h).DurationMs();
  in.RewindStream();
  if (r != 1) return false;

  const int32_t rate = h.GetFrequency();
  // Decided afresh for every track: a stream plays at its own rate, and only a device that
  // cannot take that rate gets half-rate decoding.
  const int32_t maxRate = output_.DeviceMaxSampleRate();
  const int32_t decimation = (maxRate > 0 && rate > maxRate) ? 1 : 0;
  ctx_.sampleRate = rate >> decimation;
  ctx_.outputRateOverride = decimation ? ctx_.sampleRate : -1;
  decimation_ = decimation;
  msPerFrame_ = h.GetMsPerFrame();
  bitrateKbps_ = h.GetBitrate() / 1000;
  damagedFrames_ = 0;
  TakeEqualizer();
  try {
    if (!decoder_->Prepare(decimation)) {
      Fail(EngineError::SetupFailed);
      return false;
    }
  } catch (const std::exception&) {
    Fail(EngineError::SetupFailed);
    return false;
  }
  decoder_->Synth().SetEqualizer(ctx_.equalizerOn ? &activeEq_ : nullptr);
  SetState(EngineState::Prepared);
  return true;
}

bool PlaybackEngine::Start() {
  std::lock_guard op(opMutex_);
  if (state_ != EngineState::Prepared) {
    Fail(EngineError::WrongState);
    return false;
  }
  // Frames from the stored range for this stream's frame length (0 = to the end).
  SetRangeLocked(ctx_.startPosition, ctx_.endPosition);
  ctx_.lastError = EngineError::None;
  JoinFinishedThread();
  stopRequested_ = false;
  pauseRequested_ = false;
  output_.SetPaused(false);
  seekPending_ = false;
  {
    std::lock_guard lock(mutex_);
    started_ = false;
    startOk_ = false;
    threadAlive_ = true;
    // Playing before the thread runs, so that a track ending at once leaves Ended, not Playing.
    state_ = EngineState::Playing;
  }
  try {
    thread_ = std::thread([this] { DecodeThread(); });
  } catch (const std::system_error&) {
    {
      std::lock_guard lock(mutex_);
      threadAlive_ = false;
      state_ = EngineState::Prepared;
    }
    Fail(EngineError::SetupFailed);
    return false;
  }
  bool ok = false;
  {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return started_; });
    ok = startOk_;
  }
  if (!ok) {
    thread_.join();
    SetState(EngineState::Prepared, false);
    Fail(EngineError::OutputFailed);
    return false;
  }
  Notify(EngineEvent::StateChanged, EngineState::Playing);
  return true;
}

bool PlaybackEngine::Pause() {
  std::lock_guard op(opMutex_);
  {
    std::lock_guard lock(mutex_);
    if (state_ != EngineState::Playing && state_ != EngineState::Paused) {
      Fail(EngineError::WrongState);
      return false;
    }
    pauseRequested_ = true;
    state_ = EngineState::Paused;
  }
  // Silence at once; what is queued plays when the user resumes.
  output_.SetPaused(true);
  Notify(EngineEvent::StateChanged, EngineState::Paused);
  return true;
}

bool PlaybackEngine::Resume() {
  std::lock_guard op(opMutex_);
  {
    std::lock_guard lock(mutex_);
    if (state_ != EngineState::Playing && state_ != EngineState::Paused) {
      Fail(EngineError::WrongState);
      return false;
    }
    pauseRequested_ = false;
    state_ = EngineState::Playing;
  }
  cv_.notify_all();
  output_.SetPaused(false);
  Notify(EngineEvent::StateChanged, EngineState::Playing);
  return true;
}

bool PlaybackEngine::Stop() {
  std::lock_guard op(opMutex_);
  const EngineState s = state_;
  if (s != EngineState::Playing && s != EngineState::Paused && s != EngineState::Ended) {
    Fail(EngineError::WrongState);
    return false;
  }
  stopRequested_ = true;
  WakeThread();
  JoinFinishedThread();
  stopRequested_ = false;
  pauseRequested_ = false;
  output_.SetPaused(false);
  spectrum_.Clear();
  if (s != EngineState::Ended) ctx_.lastError = EngineError::None;
  // Also when the thread reached the end just as the stop came: the caller asked for Opened.
  SetState(EngineState::Opened);
  return true;
}

bool PlaybackEngine::Close() {
  const EngineState s = state_;
  if (s == EngineState::Playing || s == EngineState::Paused || s == EngineState::Ended) Stop();
  std::lock_guard op(opMutex_);
  JoinFinishedThread();
  if (decoder_->Stream().IsOpen()) decoder_->Stream().CloseStream();
  if (state_ != EngineState::Closed) SetState(EngineState::Closed);
  return true;
}

bool PlaybackEngine::Seek(uint32_t positionMs) {
  std::lock_guard op(opMutex_);
  std::unique_lock lock(mutex_);
  if (state_ == EngineState::Prepared) {
    // No decode thread exists, and none starts while this operation holds opMutex_: the stream
    // is this thread's to move.
    lock.unlock();
    try {
      return decoder_->SeekToTime(positionMs);
    } catch (const std::exception&) {
      return false;
    }
  }
  if (state_ != EngineState::Playing && state_ != EngineState::Paused) {
    Fail(EngineError::WrongState);
    return false;
  }
  seekTarget_ = positionMs;
  seekDone_ = false;
  seekResult_ = false;
  seekPending_ = true;
  lock.unlock();
  WakeThread();
  lock.lock();
  // The thread answers at its next frame, pause step or drain step, or fails the seek as it ends.
  cv_.wait(lock, [&] { return seekDone_; });
  return seekResult_;
}

bool PlaybackEngine::SetVolume(uint32_t volume) { return output_.SetVolume(volume); }

void PlaybackEngine::SetEqualizer(const EqualizerFactors& factors) {
  std::lock_guard lock(eqMutex_);
  pendingEq_ = factors;
  eqChanged_ = true;
}

void PlaybackEngine::TakeEqualizer() {
  if (!eqChanged_.exchange(false)) return;
  std::lock_guard lock(eqMutex_);
  activeEq_ = pendingEq_;
}

uint32_t PlaybackEngine::PositionMs() const {
  return static_cast<uint32_t>(ctx_.frameCounter.load() * msPerFrame_.load());
}

uint32_t PlaybackEngine::HeardPositionMs() const {
  const int32_t rate = outputRate_.load();
  if (rate <= 0 || !output_.IsOpen()) return PositionMs();
  const double played = static_cast<double>(output_.PlayedBytes()) * 1000.0 / (rate * 4.0);
  return static_cast<uint32_t>(heardBaseMs_.load() + played);
}

// ---- decode thread ----

void PlaybackEngine::DecodeThread() {
  bool opened = true;
  try {
    // From the start of the range, or from where a seek before Start put the stream.
    heardBaseMs_ = std::max(startFrame_.load(), ctx_.frameCounter.load()) * msPerFrame_.load();
    output_.Open(PcmFormat{ctx_.sampleRate, 2, 16});
    outputRate_ = ctx_.sampleRate;
  } catch (const DecoderError&) {
    opened = false;
  }
  {
    std::lock_guard lock(mutex_);
    started_ = true;
    startOk_ = opened;
    if (!opened) threadAlive_ = false;
  }
  cv_.notify_all();
  if (!opened) return;
  if (!output_.Notice().empty()) Notify(EngineEvent::Notice, EngineState::Playing, output_.Notice());

  ctx_.bitRateChanged = false;
  bool reachedEnd = false;
  for (;;) {
    phase_ = DecodePhase::Decoding;
    FrameLoop();
    if (stopRequested_) break;
    // The stream ended by itself (or a frame could not be decoded): play out what is queued.
    try {
      decoder_->FlushPcm();
    } catch (const std::exception&) {
    }
    phase_ = DecodePhase::Draining;
    if (output_.Drain()) {
      reachedEnd = true;
      break;
    }
    if (stopRequested_) break;
    // A seek during the drain: go back to decoding from the new position.
    if (seekPending_) ServiceSeek();
  }
  phase_ = DecodePhase::Idle;
  output_.Reset();
  output_.Close();
  decoder_->Stream().RewindStream();
  spectrum_.Clear();
  bool ended = false;
  {
    std::lock_guard lock(mutex_);
    threadAlive_ = false;
    if (seekPending_) {
      seekPending_ = false;
      seekResult_ = false;
      seekDone_ = true;
    }
    if (reachedEnd && !stopRequested_) {
      state_ = EngineState::Ended;
      ended = true;
    }
  }
  cv_.notify_all();
  if (ended) {
    Notify(EngineEvent::StateChanged, EngineState::Ended);
    Notify(EngineEvent::TrackEnded, EngineState::Ended);
  }
}

bool PlaybackEngine::FrameLoop() {
  InputStream& in = decoder_->Stream();
  FrameHeader& h = decoder_->Header();
  Synthesis& synth = decoder_->Synth();
  int32_t scale = synth.OutputScale();
  try {
    for (;;) {
      if (seekPending_) ServiceSeek();
      output_.ReclaimBuffers();
      TakeEqualizer();
      const int32_t previousBitrateIndex = h.bitrateIndex;
      int r = 0;
      while ((r = in.ReadFrame()) == 0) {
        if (stopRequested_) return true;
      }
      if (r != 1) return true;  // end of file
      const uint32_t frame = ctx_.frameCounter.load() + 1;
      ctx_.frameCounter = frame;
      if (stopRequested_) return true;
      if (frame < startFrame_.load()) continue;
      if (frame > endFrame_.load()) return true;
      if (ctx_.outputScale != scale) {
        scale = ctx_.outputScale;
        synth.Init(scale, synth.Decimation(), ctx_.outputBufferSize);
      }
      if (h.FormatChanged) {
        HandleFormatChange(previousBitrateIndex);
        h.FormatChanged = 0;
      }
      ctx_.CurrentFrameNumber = frame;
      if (!decoder_->DecodeCurrentFrame()) {
        // Concealed as silence; only a long stretch of such frames ends the track, as an error.
        damagedFrames_.fetch_add(1, std::memory_order_relaxed);
        if (decoder_->StreamLost()) throw DecoderError(MpegDecoder::kLostStreamMessage);
      }
      bitrateKbps_.store(h.GetBitrate() / 1000, std::memory_order_relaxed);
      if (pauseRequested_) PauseWait();
    }
  } catch (const std::exception&) {
    // A read failure, a refused block or a frame the decoder rejects ends the track.
    return false;
  }
}

void PlaybackEngine::HandleFormatChange(int32_t previousBitrateIndex) {
  FrameHeader& h = decoder_->Header();
  if (previousBitrateIndex != 0 && previousBitrateIndex != h.bitrateIndex) ctx_.bitRateChanged = true;
  const int32_t streamRate = h.GetFrequency();
  if (streamRate <= 0) return;
  const int32_t maxRate = output_.DeviceMaxSampleRate();
  const int32_t decimation = (maxRate > 0 && streamRate > maxRate) ? 1 : 0;
  const int32_t rate = streamRate >> decimation;
  if (rate == outputRate_.load() && decimation == decimation_.load()) return;
  // The stream changed its rate in mid-play: play out the old format and reopen for the new.
  output_.Drain();
  output_.Close();
  if (decimation != decimation_.load()) {
    decoder_->Prepare(decimation);
    decimation_ = decimation;
  }
  ctx_.sampleRate = rate;
  ctx_.outputRateOverride = decimation ? rate : -1;
  msPerFrame_ = h.GetMsPerFrame();
  heardBaseMs_ = (ctx_.frameCounter.load() - 1) * msPerFrame_.load();
  output_.Open(PcmFormat{rate, 2, 16});
  outputRate_ = rate;
}

void PlaybackEngine::ServiceSeek() {
  uint32_t target = 0;
  {
    std::lock_guard lock(mutex_);
    target = seekTarget_;
  }
  bool ok = false;
  try {
    // The frame index may have to be walked first; a stop request cuts that short.
    ok = decoder_->SeekToTime(target, [this] { return stopRequested_.load(); });
  } catch (const std::exception&) {
    ok = false;
  }
  // A refused seek leaves the stream where it was, and the sound goes on without a gap.
  if (ok) {
    output_.Reset();  // the old position stops sounding at once
    heardBaseMs_ = ctx_.frameCounter.load() * msPerFrame_.load();
  }
  {
    std::lock_guard lock(mutex_);
    seekPending_ = false;
    seekResult_ = ok;
    seekDone_ = true;
    ctx_.SeekTarget = ok ? kSeekSucceeded : 0;
  }
  cv_.notify_all();
}

void PlaybackEngine::PauseWait() {
  pauseAcknowledged_ = true;
  phase_ = DecodePhase::Paused;
  std::unique_lock lock(mutex_);
  while (pauseRequested_ && !stopRequested_) {
    if (seekPending_) {
      lock.unlock();
      ServiceSeek();
      lock.lock();
      continue;
    }
    cv_.wait(lock);
  }
  lock.unlock();
  pauseAcknowledged_ = false;
  phase_ = DecodePhase::Decoding;
}

}  // namespace tovira
