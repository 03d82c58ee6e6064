#include "engine/PlaybackEngine.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <new>
#include <system_error>

#include "decoder/DecoderError.h"
#include "decoder/StreamProbe.h"
#include "equalizer/Equalizer.h"
#include "output/AudioDevice.h"
#include "output/OutputError.h"

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

struct PlaybackEngine::Track {
  explicit Track(PlaybackEngine& e) : sink(e, *this) {}
  PlaybackContext ctx;  // this stream's own: its name and frame counter
  std::unique_ptr<MpegDecoder> decoder;
  TrackSink sink;
  uint64_t serial = 0;
  TrackTrim trim;
  int32_t streamRate = 0;
  int32_t decimation = 0;
  int32_t rate = 0;                 // of the output
  double msPerFrame = 0.0;
  uint64_t samplesPerFrame = 0;     // output samples
  uint64_t origin = 0;              // output samples (from the first sound frame) before the sound
  uint64_t audible = kToTheEnd;     // output samples of sound
  SampleWindow window;              // what of the decoded samples is passed on
  double durationMs = 0.0;
  bool durationFromIndex = false;
  double gain = 1.0;                // decode thread (or the caller while none runs)
  double appliedGain = -1.0;
  uint64_t appliedEq = UINT64_MAX;
  EqualizerFactors factors{};       // equaliser x gain, read by this track's synthesis
};

void PlaybackEngine::TrackSink::WriteBlock(const int16_t* samples, size_t count) { e_.Forward(t_, samples, count); }

void PlaybackEngine::HeardWatch::OnBlockQueued(uint64_t sequence, const uint8_t* data, size_t bytes, const PcmFormat& format) {
  e_.spectrum_.OnBlockQueued(sequence, data, bytes, format);
}

void PlaybackEngine::HeardWatch::OnBlockHeard(uint64_t sequence) {
  e_.spectrum_.OnBlockHeard(sequence);
  // A join starts a block of its own, so its first sample is heard when that block starts.
  e_.CommitJoin(false);
}

void PlaybackEngine::HeardWatch::OnReset() { e_.spectrum_.OnReset(); }

void PlaybackEngine::Forward(Track& t, const int16_t* samples, size_t count) {
  static_assert(std::endian::native == std::endian::little, "the devices take little-endian PCM");
  t.window.Pass(samples, count, [&](const int16_t* values, size_t n) {
    // Interleaved 16-bit samples in memory order are the little-endian PCM the device takes.
    output_.WriteBlock(reinterpret_cast<const uint8_t*>(values), n * sizeof(int16_t));
  });
  const uint64_t at = PositionOf(t);
  std::lock_guard lock(timeMutex_);
  (joinPending_ ? joinDecoded_ : decoded_) = at;
}

PlaybackEngine::PlaybackEngine(std::unique_ptr<AudioDevice> device, bool fallbackToNull)
    : output_(device ? std::move(device) : MakeAudioDevice("", nullptr), ctx_.outputBufferCount,
              static_cast<size_t>(ctx_.outputBufferSize)),
      pendingEq_(FlatEqualizerFactors()),
      activeEq_(FlatEqualizerFactors()) {
  output_.SetFallbackToNull(fallbackToNull);
  // Half the queue before the device starts: no stutter while the decoder gets going.
  output_.SetStartThreshold(ctx_.outputBufferCount / 2);
  // And refilled half a queue at a time: the decode thread wakes about three times a second.
  output_.SetRefillThreshold(ctx_.outputBufferCount / 2);
  output_.SetObserver(&watch_);
  output_.SetInterruptCheck([this] { return Interrupted(); });
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

bool PlaybackEngine::SetRange(uint32_t startMs, uint32_t endMs) {
  std::lock_guard op(opMutex_);
  ctx_.startPosition = startMs;
  // A range that ends before it starts plays to the end of the stream.
  ctx_.endPosition = (endMs == 0 || endMs < startMs) ? kRangeToEnd : endMs;
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

std::unique_ptr<PlaybackEngine::Track> PlaybackEngine::LoadTrack(const std::string& path) {
  auto t = std::make_unique<Track>(*this);
  t->ctx.inputFile = path;
  t->ctx.outputBufferSize = ctx_.outputBufferSize;
  t->ctx.outputBufferCount = ctx_.outputBufferCount;
  t->ctx.outputScale = ctx_.outputScale;
  t->ctx.layerLock = ctx_.layerLock;
  t->decoder = std::make_unique<MpegDecoder>(t->ctx);
  t->decoder->SetSink(&t->sink);
  openFailure_.clear();
  bool opened = false;
  try {
    opened = t->decoder->Stream().OpenStream();
  } catch (const std::exception&) {
    opened = false;
    openFailure_ = t->decoder->Stream().OpenFailure();
  }
  if (!opened) return nullptr;
  return t;
}

bool PlaybackEngine::PrepareTrack(Track& t) {
  FrameHeader& h = t.decoder->Header();
  InputStream& in = t.decoder->Stream();
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
      t.trim = TrimOf(summary);
      t.durationMs = t.trim.DurationMs(summary.Frames(), h.GetFrequency());
      // Without an encoder's frame count the length is an estimate from the first frame; the
      // frame index, once it has walked the whole file, knows better.
      t.durationFromIndex = summary.Frames() == summary.estimatedFrames;
    }
    in.RewindStream();
  } catch (const std::exception&) {
    r = -1;
  }
  if (r != 1) return false;

  t.streamRate = h.GetFrequency();
  // Decided afresh for every track: a stream plays at its own rate, and only a device that
  // cannot take that rate gets half-rate decoding.
  const int32_t maxRate = output_.DeviceMaxSampleRate();
  t.decimation = (maxRate > 0 && t.streamRate > maxRate) ? 1 : 0;
  t.rate = t.streamRate >> t.decimation;
  t.msPerFrame = h.GetMsPerFrame();
  t.samplesPerFrame = static_cast<uint64_t>(h.SamplesPerFrame()) >> t.decimation;
  t.origin = t.trim.start >> t.decimation;
  t.audible = t.trim.audible == kToTheEnd ? kToTheEnd : t.trim.audible >> t.decimation;
  t.window = SampleWindow{0, t.origin, t.audible == kToTheEnd ? kToTheEnd : t.origin + t.audible};
  t.appliedEq = UINT64_MAX;
  try {
    if (!t.decoder->Prepare(t.decimation)) return false;
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

void PlaybackEngine::RewindTrack(Track& t) {
  try {
    t.decoder->Stream().RewindStream();
    t.decoder->Prepare(t.decimation);
  } catch (const std::exception&) {
  }
  t.window.next = 0;
  t.window.begin = t.origin;
}

bool PlaybackEngine::SeekTrack(Track& t, uint32_t ms, const std::function<bool()>& stop) {
  if (t.rate <= 0 || t.samplesPerFrame == 0 || t.msPerFrame <= 0.0) return false;
  const uint64_t sample = (static_cast<uint64_t>(ms) * static_cast<uint64_t>(t.rate) + 999) / 1000;
  if (t.audible != kToTheEnd && sample >= t.audible) return false;
  const uint64_t decoded = t.origin + sample;
  const uint64_t info = t.trim.infoFrame ? 1 : 0;
  const uint64_t frame = decoded / t.samplesPerFrame + info;
  // The middle of that frame, as the stream's seek counts in ms.
  const double at = (static_cast<double>(frame) + 0.5) * t.msPerFrame;
  if (at >= 4294967295.0) return false;
  if (!t.decoder->SeekToTime(static_cast<uint32_t>(at), stop)) return false;
  const uint64_t landed = t.ctx.frameCounter.load();
  t.window.next = (landed > info ? landed - info : 0) * t.samplesPerFrame;
  t.window.begin = std::max(decoded, t.window.next);
  return true;
}

PlaybackEngine::Timing PlaybackEngine::TimingOf(const Track& t) {
  return Timing{t.rate, t.durationMs, t.audible};
}

uint64_t PlaybackEngine::PositionOf(const Track& t) {
  const uint64_t at = std::min(std::max(t.window.next, t.window.begin), t.window.end);
  return at > t.origin ? at - t.origin : 0;
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
  std::unique_ptr<Track> t = LoadTrack(ctx_.inputFile);
  if (!t) {
    Fail(EngineError::NoInput);
    return false;
  }
  cur_ = std::move(t);
  next_.reset();
  nextSerial_ = 0;
  cur_->serial = ++lastSerial_;
  openSerial_ = cur_->serial;
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
  if (!PrepareTrack(*cur_)) {
    Fail(EngineError::SetupFailed);
    return false;
  }
  decimation_ = cur_->decimation;
  bitrateKbps_ = cur_->decoder->Header().GetBitrate() / 1000;
  damagedFrames_ = 0;
  {
    std::lock_guard lock(timeMutex_);
    heard_ = TimingOf(*cur_);
    heardBase_ = 0;
    decoded_ = 0;
    joinPending_ = false;
  }
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
  lastError_ = EngineError::None;
  JoinFinishedThread();
  // The stored range: from its start (unless a seek before Start moved the stream), to its end.
  Track& t = *cur_;
  if (ctx_.endPosition != kRangeToEnd && ctx_.endPosition > ctx_.startPosition) {
    const uint64_t end = (static_cast<uint64_t>(ctx_.endPosition) * static_cast<uint64_t>(t.rate) + 999) / 1000;
    t.window.end = t.origin + std::min(t.audible, end);
  }
  if (ctx_.startPosition > 0 && PositionOf(t) == 0 && !SeekTrack(t, ctx_.startPosition)) {
    t.window.end = 0;  // the range starts past the sound: nothing to play
  }
  {
    std::lock_guard lock(timeMutex_);
    decoded_ = PositionOf(t);
  }
  stopRequested_ = false;
  pauseRequested_ = false;
  output_.SetPaused(false);
  seekPending_ = false;
  nextPending_ = false;
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
  next_.reset();
  nextSerial_ = 0;
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
  cur_.reset();
  next_.reset();
  nextSerial_ = 0;
  {
    std::lock_guard lock(timeMutex_);
    heard_ = Timing{};
    decoded_ = 0;
    heardBase_ = 0;
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
    bool ok = false;
    try {
      ok = SeekTrack(*cur_, positionMs);
    } catch (const std::exception&) {
      ok = false;
    }
    if (ok) {
      std::lock_guard time(timeMutex_);
      decoded_ = PositionOf(*cur_);
    }
    return ok;
  }
  if (state_ != EngineState::Playing && state_ != EngineState::Paused) {
    Fail(EngineError::WrongState);
    return false;
  }
  seekTarget_ = positionMs;
  seekDone_ = false;
  seekResult_ = false;
  seekPending_ = true;
  // The thread answers at its next frame, pause step or drain step, or fails the seek as it ends.
  AskThread(lock, seekDone_);
  return seekResult_;
}

void PlaybackEngine::AskThread(std::unique_lock<std::mutex>& lock, const bool& done) {
  lock.unlock();
  WakeThread();
  lock.lock();
  cv_.wait(lock, [&] { return done; });
}

bool PlaybackEngine::HandOver(bool set, std::unique_ptr<Track> t) {
  std::unique_lock lock(mutex_);
  if (!threadAlive_) {
    // Prepared: no decode thread, and none starts while this operation holds opMutex_.
    if (state_ != EngineState::Prepared) {
      Fail(EngineError::WrongState);
      return false;
    }
    next_ = set ? std::move(t) : nullptr;
    return true;
  }
  nextSet_ = set;
  nextOffered_ = std::move(t);
  nextDone_ = false;
  nextResult_ = false;
  nextPending_ = true;
  AskThread(lock, nextDone_);
  // Refused (the track ended meanwhile): what was offered is this thread's to drop.
  std::unique_ptr<Track> refused = std::move(nextOffered_);
  const bool ok = nextResult_;
  lock.unlock();
  if (!ok) Fail(EngineError::WrongState);
  return ok;
}

bool PlaybackEngine::SetNextInput(const std::string& path, double gain, uint64_t* serialOut) {
  DeliverOnReturn deliver(*this);
  std::lock_guard op(opMutex_);
  const EngineState s = state_;
  if (s != EngineState::Prepared && s != EngineState::Playing && s != EngineState::Paused) {
    Fail(EngineError::WrongState);
    return false;
  }
  if (!(gain >= 0.0 && gain <= 16.0)) {
    Fail(EngineError::SetupFailed);
    return false;
  }
  std::unique_ptr<Track> t = LoadTrack(path);
  if (!t) {
    Fail(EngineError::NoInput);
    return false;
  }
  if (!PrepareTrack(*t)) {
    Fail(EngineError::SetupFailed);
    return false;
  }
  t->gain = gain;
  const uint64_t serial = ++lastSerial_;
  t->serial = serial;
  // Told before the hand-over: the decoder may go on into the track, and it be heard (which
  // clears it), before HandOver returns.
  nextSerial_ = serial;
  if (!HandOver(true, std::move(t))) {
    nextSerial_ = 0;  // the track ended meanwhile: nothing follows
    return false;
  }
  if (serialOut) *serialOut = serial;
  return true;
}

bool PlaybackEngine::ClearNextInput() {
  DeliverOnReturn deliver(*this);
  std::lock_guard op(opMutex_);
  const EngineState s = state_;
  if (s != EngineState::Prepared && s != EngineState::Playing && s != EngineState::Paused) {
    Fail(EngineError::WrongState);
    return false;
  }
  if (!HandOver(false, nullptr)) return false;
  nextSerial_ = 0;
  return true;
}

bool PlaybackEngine::SetTrackGain(double linear) {
  if (!(linear >= 0.0 && linear <= 16.0) || state_.load() == EngineState::Closed) return false;
  {
    std::lock_guard lock(gainMutex_);
    gainTrack_ = openSerial_.load();
    gainValue_ = linear;
  }
  gainChanged_ = true;
  return true;
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
  ++eqVersion_;
}

void PlaybackEngine::TakeGain() {
  if (!gainChanged_.exchange(false)) return;
  uint64_t serial = 0;
  double gain = 1.0;
  {
    std::lock_guard lock(gainMutex_);
    serial = gainTrack_;
    gain = gainValue_;
  }
  // Meant for the track heard when it was set: the one decoded now, or one decoded before it
  // that a seek may bring back.
  for (Track* t : {cur_.get(), prev_.get(), next_.get()}) {
    if (t && t->serial == serial) t->gain = gain;
  }
}

void PlaybackEngine::ApplyFactors(Track& t) {
  if (t.appliedEq == eqVersion_ && t.appliedGain == t.gain) return;
  t.appliedEq = eqVersion_;
  t.appliedGain = t.gain;
  const EqualizerFactors& eq = ctx_.equalizerOn ? activeEq_ : FlatEqualizerFactors();
  const float g = static_cast<float>(t.gain);
  // The filter bank is linear: the sub-band samples scaled are the output scaled, and the
  // synthesis saturates at 16 bits after that.
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < 32; ++k) t.factors.factor[c][k] = eq.factor[c][k] * g;
  }
  t.decoder->Synth().SetEqualizer(ctx_.equalizerOn || t.gain != 1.0 ? &t.factors : nullptr);
}

uint32_t PlaybackEngine::PositionLocked() const {
  if (heard_.rate <= 0) return 0;
  const uint64_t at = std::min(decoded_, heard_.audible);
  return static_cast<uint32_t>(at * 1000 / static_cast<uint64_t>(heard_.rate));
}

SpectrumLevels PlaybackEngine::Levels() {
  // The device's own count says which block is heard now; the decode thread hears of it only
  // when it next wakes to refill.
  if (const uint64_t heard = output_.HeardBlock(); heard != WaveOutput::kNoBlock) spectrum_.OnBlockHeard(heard);
  return spectrum_.Levels();
}

uint32_t PlaybackEngine::PositionMs() const {
  std::lock_guard lock(timeMutex_);
  return PositionLocked();
}

double PlaybackEngine::DurationMs() const {
  std::lock_guard lock(timeMutex_);
  return heard_.durationMs;
}

uint32_t PlaybackEngine::HeardPositionMs() const { return HeardAt(std::nullopt); }

uint32_t PlaybackEngine::RunningPositionMs(std::chrono::steady_clock::time_point now) const { return HeardAt(now); }

uint32_t PlaybackEngine::HeardAt(std::optional<std::chrono::steady_clock::time_point> now) const {
  std::lock_guard lock(timeMutex_);
  if (heard_.rate <= 0 || !output_.IsOpen()) return PositionLocked();
  const uint64_t played = now ? output_.PlayingBytes(*now) : output_.PlayedBytes();
  const int64_t at = heardBase_ + static_cast<int64_t>(played / 4);
  const uint64_t heard = std::min(static_cast<uint64_t>(std::max<int64_t>(0, at)), heard_.audible);
  return static_cast<uint32_t>(heard * 1000 / static_cast<uint64_t>(heard_.rate));
}

// ---- decode thread ----

bool PlaybackEngine::SameFormat(const Track& t) const {
  return t.rate == outputRate_.load() && t.decimation == decimation_.load();
}

void PlaybackEngine::DecodeThread() {
  bool opened = false;
  try {
    {
      std::lock_guard lock(timeMutex_);
      heardBase_ = static_cast<int64_t>(PositionOf(*cur_));
      decoded_ = PositionOf(*cur_);
    }
    output_.Open(PcmFormat{cur_->rate, 2, 16});
    outputRate_ = cur_->rate;
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
  uint64_t failed = 0;  // the serial of the track it ended
  bool reachedEnd = false;
  try {
    for (;;) {
      phase_ = DecodePhase::Decoding;
      // A seek back into the track heard before leaves the failure to the next track, which
      // will be decoded again.
      if (!failure.empty() && cur_->serial != failed) failure.clear();
      const std::string why = FrameLoop();
      if (failure.empty() && !why.empty()) failure = why, failed = cur_->serial;
      if (stopRequested_) break;
      // The stream ended by itself (or could not be decoded further).
      try {
        cur_->decoder->FlushPcm();
      } catch (const std::exception&) {
        if (failure.empty()) failure = DescribeFailure(std::current_exception()), failed = cur_->serial;
      }
      if (failure.empty() && next_) {
        if (SameFormat(*next_)) {
          Cross();
          continue;
        }
        // Another rate: what is queued plays out, then the device opens anew.
        phase_ = DecodePhase::Draining;
        if (output_.Drain()) {
          SwitchWithReopen();
          continue;
        }
        if (stopRequested_) break;
        ServiceRequests();
        continue;
      }
      // Play out what is queued.
      phase_ = DecodePhase::Draining;
      if (output_.Drain()) {
        CommitJoin(true);
        reachedEnd = true;
        break;
      }
      if (stopRequested_) break;
      // A seek or a next track during the drain: go back to decoding.
      ServiceRequests();
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
  // What stays open is the track last heard.
  if (prev_) cur_ = std::move(prev_);
  next_.reset();
  {
    std::lock_guard lock(timeMutex_);
    joinPending_ = false;
    heard_ = TimingOf(*cur_);
    decoded_ = 0;
    heardBase_ = 0;
  }
  RewindTrack(*cur_);
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
    if (nextPending_) {
      nextPending_ = false;
      nextResult_ = false;
      nextDone_ = true;
    }
    nextSerial_ = 0;
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
  try {
    for (;;) {
      ServiceRequests();
      // Fetched afresh each frame: a seek or a next track may have changed the track decoded.
      Track& t = *cur_;
      InputStream& in = t.decoder->Stream();
      FrameHeader& h = t.decoder->Header();
      Synthesis& synth = t.decoder->Synth();
      CommitJoin(false);
      output_.ReclaimBuffers();
      TakeEqualizer();
      TakeGain();
      ApplyFactors(t);
      // Past the end of the range: done. Past the end of the sound, the frames left (the
      // encoder's padding) are read but not decoded, so that the file is looked at where reading
      // ends, as always.
      const bool tail = t.window.Done();
      const uint64_t soundEnd = t.audible == kToTheEnd ? kToTheEnd : t.origin + t.audible;
      if (tail && t.window.end < soundEnd) return {};
      int r = 0;
      while ((r = in.ReadFrame()) == 0) {
        if (stopRequested_) return {};
      }
      if (r != 1) return {};  // end of file
      const uint32_t frame = t.ctx.frameCounter.load() + 1;
      t.ctx.frameCounter = frame;
      if (stopRequested_) return {};
      if (tail || (frame == 1 && t.trim.infoFrame)) continue;  // no sound in it
      if (ctx_.outputScale != synth.OutputScale()) synth.Init(ctx_.outputScale, synth.Decimation(), ctx_.outputBufferSize);
      if (h.FormatChanged) {
        HandleFormatChange(t);
        h.FormatChanged = 0;
      }
      if (!t.decoder->DecodeCurrentFrame()) {
        // Concealed as silence; only a long stretch of such frames ends the track, as an error.
        damagedFrames_.fetch_add(1, std::memory_order_relaxed);
        if (t.decoder->StreamLost()) throw DecoderError(MpegDecoder::kLostStreamMessage);
      }
      bitrateKbps_.store(h.GetBitrate() / 1000, std::memory_order_relaxed);
      // The frame index grows while the track plays (some 64 KB of headers per frame at most),
      // so a later seek, even to the end of a long file, finds it ready.
      in.ExtendIndex(kIndexFramesPerFrame);
      if (t.durationFromIndex && in.Index().Complete()) {
        t.durationFromIndex = false;
        const uint64_t frames = in.Index().FramesKnown();
        if (frames > 0) {
          t.durationMs = t.trim.DurationMs(frames, t.streamRate);
          std::lock_guard lock(timeMutex_);
          (joinPending_ ? joinTiming_ : heard_).durationMs = t.durationMs;
        }
      }
      // All the sound decoded: it goes to the output now, not with the next block.
      if (t.window.next + static_cast<uint64_t>(synth.FillBytes()) / 4 >= t.window.end) t.decoder->FlushPcm();
      if (pauseRequested_) PauseWait();
    }
  } catch (...) {
    // A read failure, a device that fails or a frame the decoder rejects ends the track.
    return DescribeFailure(std::current_exception());
  }
}

void PlaybackEngine::HandleFormatChange(Track& t) {
  FrameHeader& h = t.decoder->Header();
  const int32_t streamRate = h.GetFrequency();
  if (streamRate <= 0) return;
  const int32_t maxRate = output_.DeviceMaxSampleRate();
  const int32_t decimation = (maxRate > 0 && streamRate > maxRate) ? 1 : 0;
  const int32_t rate = streamRate >> decimation;
  if (rate == outputRate_.load() && decimation == decimation_.load()) return;
  // The stream changed its rate in mid-play: play out the old format and reopen for the new.
  t.decoder->FlushPcm();
  output_.Drain();
  CommitJoin(true);
  output_.Close();
  if (decimation != decimation_.load()) {
    t.decoder->Prepare(decimation);
    decimation_ = decimation;
    t.decimation = decimation;
  }
  // Counted on in samples of the new rate from where the old ones ended.
  const int32_t old = t.rate;
  auto rescale = [&](uint64_t v) { return v == kToTheEnd || old <= 0 ? v : v * static_cast<uint64_t>(rate) / static_cast<uint64_t>(old); };
  t.window.next = rescale(t.window.next);
  t.window.begin = rescale(t.window.begin);
  t.window.end = rescale(t.window.end);
  t.origin = rescale(t.origin);
  t.audible = rescale(t.audible);
  t.samplesPerFrame = static_cast<uint64_t>(h.SamplesPerFrame()) >> decimation;
  t.rate = rate;
  t.streamRate = streamRate;
  t.msPerFrame = h.GetMsPerFrame();
  {
    std::lock_guard lock(timeMutex_);
    heard_ = TimingOf(t);
    decoded_ = PositionOf(t);
    heardBase_ = static_cast<int64_t>(decoded_);
  }
  output_.Open(PcmFormat{rate, 2, 16});
  outputRate_ = rate;
  if (!output_.Notice().empty()) Post(EngineEvent::Notice, state_.load(), output_.Notice(), true);
}

void PlaybackEngine::Cross() {
  // The next track's first block follows the last one of this track in the queue.
  const uint64_t mark = output_.AcceptedBytes();
  std::unique_ptr<Track> t = std::move(next_);
  CommitJoin(true);  // never two joins pending: the one before counts as heard
  {
    std::lock_guard lock(timeMutex_);
    joinPending_ = true;
    joinByte_ = mark;
    // Woken when the join is heard, to tell of the new track then.
    output_.WakeWhenPlayed(mark);
    joinTiming_ = TimingOf(*t);
    joinDecoded_ = PositionOf(*t);
    joinSerial_ = t->serial;
  }
  prev_ = std::move(cur_);
  cur_ = std::move(t);
  damagedFrames_ = 0;
}

void PlaybackEngine::SwitchWithReopen() {
  CommitJoin(true);
  cur_ = std::move(next_);
  output_.Reset();
  output_.Close();
  decimation_ = cur_->decimation;
  damagedFrames_ = 0;
  {
    std::lock_guard lock(timeMutex_);
    heard_ = TimingOf(*cur_);
    heardBase_ = 0;
    decoded_ = 0;
    openSerial_ = cur_->serial;
    uint64_t queued = cur_->serial;
    nextSerial_.compare_exchange_strong(queued, 0);
    Post(EngineEvent::TrackChanged, state_.load(), {}, true);
  }
  output_.Open(PcmFormat{cur_->rate, 2, 16});
  outputRate_ = cur_->rate;
  if (!output_.Notice().empty()) Post(EngineEvent::Notice, state_.load(), output_.Notice(), true);
}

void PlaybackEngine::CommitJoin(bool force) {
  {
    std::lock_guard lock(timeMutex_);
    if (!joinPending_) return;
    // The device has taken the first byte of the next track: it is being heard.
    if (!force && output_.PlayedBytes() <= joinByte_) return;
    joinPending_ = false;
    heard_ = joinTiming_;
    heardBase_ = -static_cast<int64_t>(joinByte_ / 4);
    decoded_ = joinDecoded_;
    openSerial_ = joinSerial_;
    uint64_t queued = joinSerial_;
    nextSerial_.compare_exchange_strong(queued, 0);
    Post(EngineEvent::TrackChanged, state_.load(), {}, true);
  }
  // All its sound has been handed to the device: the track before is done with.
  prev_.reset();
}

void PlaybackEngine::ServiceRequests() {
  if (seekPending_) ServiceSeek();
  if (nextPending_) ServiceNext();
}

void PlaybackEngine::ServiceSeek() {
  uint32_t target = 0;
  {
    std::lock_guard lock(mutex_);
    target = seekTarget_;
  }
  // For the track being heard, also when the decoder has gone on into the next one.
  Track& heard = prev_ ? *prev_ : *cur_;
  bool ok = false;
  try {
    // The frame index may have to be walked first; a stop request cuts that short.
    ok = SeekTrack(heard, target, [this] { return stopRequested_.load(); });
  } catch (const std::exception&) {
    ok = false;
  }
  // A refused seek leaves the stream where it was, and the sound goes on without a gap.
  if (ok) {
    if (prev_) {
      // Back from the next track, which will follow again from its start.
      RewindTrack(*cur_);
      next_ = std::move(cur_);
      cur_ = std::move(prev_);
    }
    std::lock_guard lock(timeMutex_);
    output_.Reset();  // the old position stops sounding at once
    joinPending_ = false;
    heard_ = TimingOf(*cur_);
    decoded_ = PositionOf(*cur_);
    heardBase_ = static_cast<int64_t>(decoded_);
  }
  {
    std::lock_guard lock(mutex_);
    seekPending_ = false;
    seekResult_ = ok;
    seekDone_ = true;
  }
  cv_.notify_all();
}

void PlaybackEngine::ServiceNext() {
  bool set = false;
  std::unique_ptr<Track> offered;
  {
    std::lock_guard lock(mutex_);
    set = nextSet_;
    offered = std::move(nextOffered_);
  }
  if (prev_) {
    // The decoder has gone on into the track being replaced: unless it is already being heard,
    // its sound leaves the queue and the track heard is the one decoded again (at its end).
    if (output_.TruncateTo(joinByte_)) {
      {
        std::lock_guard lock(timeMutex_);
        joinPending_ = false;
      }
      cur_ = std::move(prev_);
    } else {
      CommitJoin(true);
    }
  }
  next_ = set ? std::move(offered) : nullptr;
  {
    std::lock_guard lock(mutex_);
    nextPending_ = false;
    nextResult_ = true;
    nextDone_ = true;
  }
  cv_.notify_all();
}

void PlaybackEngine::PauseWait() {
  phase_ = DecodePhase::Paused;
  std::unique_lock lock(mutex_);
  while (pauseRequested_ && !stopRequested_) {
    if (seekPending_ || nextPending_) {
      lock.unlock();
      ServiceRequests();
      lock.lock();
      continue;
    }
    cv_.wait(lock);
  }
  lock.unlock();
  phase_ = DecodePhase::Decoding;
}

}  // namespace tovira
