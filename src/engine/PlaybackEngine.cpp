#include "engine/PlaybackEngine.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <new>
#include <system_error>

#include "decoder/DecoderError.h"
#include "decoder/StreamProbe.h"
#include "equalizer/Equalizer.h"
#include "output/OutputError.h"
#include "output/SdlDevice.h"

namespace tovira {

namespace {
// Frames with nothing usable before the first header is given up on in Prepare; each attempt
// has already scanned a long stretch of the file.
constexpr int kPrepareAttempts = 8;
constexpr uint32_t kIndexFramesPerFrame = 64;

// A message that is already a sentence for the user.
bool IsSentence(const std::string& text) {
  return !text.empty() && std::isupper(static_cast<unsigned char>(text.front())) && text.back() == '.' &&
         text.find('\n') == std::string::npos;
}

// One sentence for the user about an exception that ended a track.
std::string DescribeFailure(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    if (IsSentence(e.what())) return e.what();
  } catch (...) {
  }
  try {
    std::rethrow_exception(failure);
  } catch (const OutputError& e) {
    return std::string("The sound output failed: ") + e.what() + ".";
  } catch (const DecoderError& e) {
    return std::string("The file could not be read or decoded any further: ") + e.what() + ".";
  } catch (const std::bad_alloc&) {
    return "There was not enough memory to go on playing.";
  } catch (const std::system_error& e) {
    return std::string("The system refused a resource playback needs: ") + e.what() + ".";
  } catch (const std::exception& e) {
    return std::string("Playback failed: ") + e.what() + ".";
  } catch (...) {
    return "Playback failed for an unknown reason.";
  }
}
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
  notifier_ = std::thread([this] { NotifierThread(); });
}

PlaybackEngine::~PlaybackEngine() {
  // The owner is going away too: no more notifications into it.
  {
    std::lock_guard lock(notifyMutex_);
    notify_ = nullptr;
  }
  Close();
  {
    std::lock_guard lock(notifyMutex_);
    notifierQuit_ = true;
  }
  notifyCv_.notify_all();
  notifier_.join();
}

void PlaybackEngine::Post(EngineEvent event, EngineState state, std::string text, bool wake) {
  {
    std::lock_guard lock(notifyMutex_);
    pending_.push_back(EngineNotification{event, state, std::move(text), openSerial_.load()});
  }
  if (wake) notifyCv_.notify_all();
}

void PlaybackEngine::Deliver() {
  std::unique_lock lock(notifyMutex_);
  // Whoever delivers now (possibly this very thread, in the handler) takes these too: one
  // delivery at a time keeps the order.
  if (delivering_) return;
  delivering_ = true;
  while (!pending_.empty()) {
    const EngineNotification n = std::move(pending_.front());
    pending_.pop_front();
    const EngineNotify notify = notify_;
    lock.unlock();
    if (notify) {
      try {
        notify(n);
      } catch (...) {
        // A throwing handler must not leave the queue stuck.
      }
    }
    lock.lock();
  }
  delivering_ = false;
}

void PlaybackEngine::NotifierThread() {
  std::unique_lock lock(notifyMutex_);
  for (;;) {
    notifyCv_.wait(lock, [&] { return notifierQuit_ || (!pending_.empty() && !delivering_); });
    if (notifierQuit_) return;
    lock.unlock();
    Deliver();
    lock.lock();
  }
}

void PlaybackEngine::SetState(EngineState s) {
  std::lock_guard lock(mutex_);
  state_ = s;
  Post(EngineEvent::StateChanged, s);
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
  std::lock_guard queue(notifyMutex_);
  notify_ = std::move(notify);
  return true;
}

bool PlaybackEngine::Open() {
  DeliverOnReturn deliver(*this);
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
  openFailure_.clear();
  try {
    opened = decoder_->Stream().OpenStream();
  } catch (const std::exception&) {
    opened = false;
    openFailure_ = decoder_->Stream().OpenFailure();
  }
  if (!opened) {
    Fail(EngineError::NoInput);
    return false;
  }
  openSerial_ = ++lastSerial_;
  SetState(EngineState::Opened);
  return true;
}

std::string PlaybackEngine::OpenFailureReason() const {
  std::lock_guard op(opMutex_);
  return openFailure_;
}

bool PlaybackEngine::Prepare() {
  DeliverOnReturn deliver(*this);
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
  } catch (const std::exception&) {
    r = -1;
  }
  try {
    if (r == 1) {
      const StreamSummary summary = SummariseStream(in, h);
      durationMs_ = summary.DurationMs();
      // Without an encoder's frame count the length is an estimate from the first frame; the
      // frame index, once it has walked the whole file, knows better.
      durationFromIndex_ = summary.Frames() == summary.estimatedFrames;
    }
    in.RewindStream();
  } catch (const std::exception&) {
    r = -1;
  }
  if (r != 1) return false;

  const int32_t rate = h.GetFrequency();
  // Decided afresh for every track: a stream plays at its own rate, and only a device that
  // cannot take that rate gets half-rate decoding.
  const int32_t maxRate = output_.DeviceMaxSampleRate();
  const int32_t decimation = (maxRate > 0 && rate > maxRate) ? 1 : 0;
  ctx_.sampleRate = rate >> decimation;
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
  DeliverOnReturn deliver(*this);
  std::lock_guard op(opMutex_);
  if (state_ != EngineState::Prepared) {
    Fail(EngineError::WrongState);
    return false;
  }
  // Frames from the stored range for this stream's frame length (0 = to the end).
  SetRangeLocked(ctx_.startPosition, ctx_.endPosition);
  lastError_ = EngineError::None;
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
    {
      std::lock_guard lock(mutex_);
      state_ = EngineState::Prepared;  // never left, as far as anyone was told
    }
    Fail(EngineError::OutputFailed);
    return false;
  }
  return true;
}

bool PlaybackEngine::Pause() {
  DeliverOnReturn deliver(*this);
  std::lock_guard op(opMutex_);
  {
    std::lock_guard lock(mutex_);
    if (state_ != EngineState::Playing && state_ != EngineState::Paused) {
      Fail(EngineError::WrongState);
      return false;
    }
    pauseRequested_ = true;
    state_ = EngineState::Paused;
    Post(EngineEvent::StateChanged, EngineState::Paused);
  }
  // Silence at once; what is queued plays when the user resumes.
  output_.SetPaused(true);
  return true;
}

bool PlaybackEngine::Resume() {
  DeliverOnReturn deliver(*this);
  std::lock_guard op(opMutex_);
  {
    std::lock_guard lock(mutex_);
    if (state_ != EngineState::Playing && state_ != EngineState::Paused) {
      Fail(EngineError::WrongState);
      return false;
    }
    pauseRequested_ = false;
    state_ = EngineState::Playing;
    Post(EngineEvent::StateChanged, EngineState::Playing);
  }
  cv_.notify_all();
  output_.SetPaused(false);
  return true;
}

bool PlaybackEngine::Stop() {
  DeliverOnReturn deliver(*this);
  std::lock_guard op(opMutex_);
  return StopLocked();
}

bool PlaybackEngine::StopLocked() {
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
  if (s != EngineState::Ended) lastError_ = EngineError::None;
  // Also when the thread reached the end just as the stop came: the caller asked for Opened.
  SetState(EngineState::Opened);
  return true;
}

bool PlaybackEngine::Close() {
  DeliverOnReturn deliver(*this);
  std::lock_guard op(opMutex_);
  const EngineState s = state_;
  if (s == EngineState::Playing || s == EngineState::Paused || s == EngineState::Ended) StopLocked();
  JoinFinishedThread();
  try {
    if (decoder_->Stream().IsOpen()) decoder_->Stream().CloseStream();
  } catch (const std::exception&) {
  }
  if (state_ != EngineState::Closed) SetState(EngineState::Closed);
  openSerial_ = 0;
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

EqualizerFactors PlaybackEngine::Equalizer() const {
  std::lock_guard lock(eqMutex_);
  return pendingEq_;
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
  bool opened = false;
  try {
    // From the start of the range, or from where a seek before Start put the stream.
    heardBaseMs_ = std::max(startFrame_.load(), ctx_.frameCounter.load()) * msPerFrame_.load();
    output_.Open(PcmFormat{ctx_.sampleRate, 2, 16});
    outputRate_ = ctx_.sampleRate;
    opened = true;
  } catch (...) {
    // Start reports it (OutputFailed); the track never played.
  }
  {
    std::lock_guard lock(mutex_);
    started_ = true;
    startOk_ = opened;
    if (!opened) threadAlive_ = false;
    // Told here, before anything this thread reports about the track.
    if (opened) Post(EngineEvent::StateChanged, EngineState::Playing);
  }
  cv_.notify_all();
  if (!opened) return;
  if (!output_.Notice().empty()) Post(EngineEvent::Notice, state_.load(), output_.Notice(), true);

  std::string failure;  // why the track ends early, for the user; empty when it played out
  bool reachedEnd = false;
  try {
    for (;;) {
      phase_ = DecodePhase::Decoding;
      const std::string why = FrameLoop();
      if (failure.empty()) failure = why;
      if (stopRequested_) break;
      // The stream ended by itself (or could not be decoded further): play out what is queued.
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
  } catch (...) {
    if (failure.empty()) failure = DescribeFailure(std::current_exception());
  }
  phase_ = DecodePhase::Idle;
  try {
    output_.Reset();
    output_.Close();
  } catch (...) {
  }
  try {
    decoder_->Stream().RewindStream();
  } catch (...) {
  }
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
    if ((reachedEnd || !failure.empty()) && !stopRequested_) {
      state_ = EngineState::Ended;
      Post(EngineEvent::StateChanged, EngineState::Ended);
      if (failure.empty()) {
        Post(EngineEvent::TrackEnded, EngineState::Ended);
      } else {
        Post(EngineEvent::Error, EngineState::Ended, failure);
      }
      ended = true;
    }
  }
  cv_.notify_all();
  if (ended) {
    std::lock_guard lock(notifyMutex_);
    notifyCv_.notify_all();
  }
}

std::string PlaybackEngine::FrameLoop() {
  InputStream& in = decoder_->Stream();
  FrameHeader& h = decoder_->Header();
  Synthesis& synth = decoder_->Synth();
  int32_t scale = synth.OutputScale();
  try {
    for (;;) {
      if (seekPending_) ServiceSeek();
      output_.ReclaimBuffers();
      TakeEqualizer();
      int r = 0;
      while ((r = in.ReadFrame()) == 0) {
        if (stopRequested_) return {};
      }
      if (r != 1) return {};  // end of file
      const uint32_t frame = ctx_.frameCounter.load() + 1;
      ctx_.frameCounter = frame;
      if (stopRequested_) return {};
      if (frame < startFrame_.load()) continue;
      if (frame > endFrame_.load()) return {};
      if (ctx_.outputScale != scale) {
        scale = ctx_.outputScale;
        synth.Init(scale, synth.Decimation(), ctx_.outputBufferSize);
      }
      if (h.FormatChanged) {
        HandleFormatChange();
        h.FormatChanged = 0;
      }
      if (!decoder_->DecodeCurrentFrame()) {
        // Concealed as silence; only a long stretch of such frames ends the track, as an error.
        damagedFrames_.fetch_add(1, std::memory_order_relaxed);
        if (decoder_->StreamLost()) throw DecoderError(MpegDecoder::kLostStreamMessage);
      }
      bitrateKbps_.store(h.GetBitrate() / 1000, std::memory_order_relaxed);
      // The frame index grows while the track plays (some 64 KB of headers per frame at most),
      // so a later seek, even to the end of a long file, finds it ready.
      decoder_->Stream().ExtendIndex(kIndexFramesPerFrame);
      if (durationFromIndex_ && decoder_->Stream().Index().Complete()) {
        durationFromIndex_ = false;
        const uint64_t frames = decoder_->Stream().Index().FramesKnown();
        if (frames > 0) durationMs_ = static_cast<double>(frames) * h.GetMsPerFrame();
      }
      if (pauseRequested_) PauseWait();
    }
  } catch (...) {
    // A read failure, a device that fails or a frame the decoder rejects ends the track.
    return DescribeFailure(std::current_exception());
  }
}

void PlaybackEngine::HandleFormatChange() {
  FrameHeader& h = decoder_->Header();
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
  msPerFrame_ = h.GetMsPerFrame();
  heardBaseMs_ = (ctx_.frameCounter.load() - 1) * msPerFrame_.load();
  output_.Open(PcmFormat{rate, 2, 16});
  outputRate_ = rate;
  if (!output_.Notice().empty()) Post(EngineEvent::Notice, state_.load(), output_.Notice(), true);
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
  }
  cv_.notify_all();
}

void PlaybackEngine::PauseWait() {
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
  phase_ = DecodePhase::Decoding;
}

}  // namespace tovira
