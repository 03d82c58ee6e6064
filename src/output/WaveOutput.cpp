#include "output/WaveOutput.h"

#include <algorithm>
#include <cstring>

#include "output/NullDevice.h"
#include "output/OutputError.h"

namespace tovira {

WaveOutput::WaveOutput(std::unique_ptr<AudioDevice> device, int blockCount, size_t blockBytes)
    : blockCount_(std::max(1, blockCount)),
      blockBytes_(std::max<size_t>(4, blockBytes & ~size_t{3})),
      device_(std::move(device)) {
  blocks_.resize(static_cast<size_t>(blockCount_));
  for (Block& b : blocks_) b.data.resize(blockBytes_);
}

WaveOutput::~WaveOutput() {
  observer_ = nullptr;  // it may already be gone with the owner
  Close();
}

void WaveOutput::Open(const PcmFormat& format) {
  if (open_) Close();
  {
    std::lock_guard lock(mutex_);
    queuedTail_ = playHead_ = started_ = 0;
    heardBlock_ = kNoBlock;
    wakeAt_ = UINT64_MAX;
    playOffset_ = 0;
    pulls_ = 0;
    playedBytes_ = 0;
    lastPullBytes_ = 0;
    bytesPerSecond_ = static_cast<uint64_t>(std::max(0, format.BytesPerSecond()));
    frameBytes_ = static_cast<uint64_t>(std::max(1, format.BytesPerFrame()));
    pauseHeld_ = paused_.load();
    pausedAt_ = now_();
    flowing_ = false;
  }
  reclaimed_ = heardReported_ = written_ = 0;
  enqueuedBytes_ = 0;
  notice_.clear();
  format_ = format;
  std::lock_guard dev(deviceMutex_);
  // Every track tries the real device again: it may have been busy only for a while.
  if (realDevice_) device_ = std::move(realDevice_);
  if (!device_) throw OutputError("no sound device");
  std::string error;
  if (!device_->Open(format, *this, &error)) {
    if (!fallbackToNull_) throw OutputError("the sound device could not be opened (" + error + ")");
    notice_ = "No sound device could be opened (" + error + "); playing without sound.";
    realDevice_ = std::move(device_);
    device_ = std::make_unique<NullDevice>(NullDevice::Pacing::RealTime);
    if (!device_->Open(format, *this, &error)) {
      throw OutputError("not even the silent device could be opened (" + error + ")");
    }
  }
  // With a start threshold, held until enough is queued (Prime).
  primed_ = startThreshold_ <= 1;
  device_->SetPaused(primed_ ? paused_.load() : true);
  open_ = true;
}

uint64_t WaveOutput::PlayedBytes() const {
  std::lock_guard lock(mutex_);
  return playedBytes_;
}

uint64_t WaveOutput::PlayingBytes(std::chrono::steady_clock::time_point now) const {
  std::lock_guard lock(mutex_);
  const uint64_t before = playedBytes_ - lastPullBytes_;
  const auto until = pauseHeld_ ? std::min(now, pausedAt_) : now;
  if (lastPullBytes_ == 0 || until <= lastPullAt_ || bytesPerSecond_ == 0) return before;
  // A long gap plays out the last pull at most; capping first keeps the product small.
  const auto us = std::min<int64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(until - lastPullAt_).count(), 10'000'000);
  uint64_t progress = static_cast<uint64_t>(us) * bytesPerSecond_ / 1'000'000;
  progress -= progress % frameBytes_;
  return before + std::min(lastPullBytes_, progress);
}

uint64_t WaveOutput::HeardBlock() const {
  std::lock_guard lock(mutex_);
  return heardBlock_;
}

void WaveOutput::WakeWhenPlayed(uint64_t mark) {
  std::lock_guard lock(mutex_);
  wakeAt_ = mark;
}

uint32_t WaveOutput::Queued() const {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(queuedTail_ - reclaimed_);
}

int32_t WaveOutput::DeviceMaxSampleRate() const {
  std::lock_guard dev(const_cast<std::mutex&>(deviceMutex_));
  return device_ ? device_->MaxSampleRate() : 0;
}

std::string WaveOutput::DeviceName() const {
  std::lock_guard dev(const_cast<std::mutex&>(deviceMutex_));
  return device_ ? device_->Name() : std::string();
}

size_t WaveOutput::WriteBlock(const uint8_t* data, size_t bytes) {
  if (!open_) throw OutputError("the sound output is not open");
  // What an interrupted write could not queue goes first; it is dropped only by a reset, so a
  // seek that fails loses nothing.
  if (!pending_.empty()) {
    const size_t n = Enqueue(pending_.data(), pending_.size());
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    if (!pending_.empty()) {
      pending_.insert(pending_.end(), data, data + bytes);
      return bytes;
    }
  }
  const size_t n = Enqueue(data, bytes);
  if (n < bytes) pending_.assign(data + n, data + bytes);
  return bytes;
}

size_t WaveOutput::Enqueue(const uint8_t* data, size_t bytes) {
  size_t done = 0;
  while (done < bytes) {
    uint64_t slot = 0;
    for (;;) {
      ReclaimBuffers();
      std::unique_lock lock(mutex_);
      if (InterruptedLocked()) return done;
      reclaimed_ = std::max(reclaimed_, playHead_);
      if (queuedTail_ - reclaimed_ < static_cast<uint64_t>(blockCount_)) {
        slot = queuedTail_;
        break;
      }
      // Full: wait until a refill's worth is free, not for every block.
      changed_.wait(lock, [&] { return InterruptedLocked() || RefillDueLocked() || WakeMarkPassedLocked(); });
      if (WakeMarkPassedLocked()) wakeAt_ = UINT64_MAX;
    }
    ReclaimBuffers();
    // The slot lies outside [playHead_, queuedTail_), so the device does not read it now.
    Block& b = blocks_[static_cast<size_t>(slot % static_cast<uint64_t>(blockCount_))];
    const size_t n = std::min(blockBytes_, bytes - done);
    std::memcpy(b.data.data(), data + done, n);
    b.size = n;
    b.start = enqueuedBytes_;
    enqueuedBytes_ += n;
    if (observer_) observer_->OnBlockQueued(slot, b.data.data(), n, format_);
    {
      std::lock_guard lock(mutex_);
      ++queuedTail_;
      flowing_ = true;
    }
    ++written_;
    done += n;
    if (Queued() >= static_cast<uint32_t>(startThreshold_)) Prime();
    std::lock_guard dev(deviceMutex_);
    if (device_) device_->DataQueued();
  }
  return done;
}

void WaveOutput::Prime() {
  std::lock_guard dev(deviceMutex_);
  if (primed_ || !open_ || !device_) return;
  primed_ = true;
  device_->SetPaused(paused_.load());
}

void WaveOutput::ReclaimBuffers() {
  uint64_t started = 0;
  {
    std::lock_guard lock(mutex_);
    reclaimed_ = std::max(reclaimed_, playHead_);
    started = started_;
  }
  ReportHeard(started);
}

void WaveOutput::ReportHeard(uint64_t startedCount) {
  if (startedCount <= heardReported_) return;
  // Only the newest matters to a listener that shows the sound now playing.
  heardReported_ = startedCount;
  if (observer_) observer_->OnBlockHeard(startedCount - 1);
}

bool WaveOutput::Drain() {
  if (!open_) return true;
  if (!pending_.empty()) {
    const size_t n = Enqueue(pending_.data(), pending_.size());
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    if (!pending_.empty()) return false;
  }
  Prime();  // a stream shorter than the start threshold still plays
  int trailing = 0;
  {
    std::lock_guard dev(deviceMutex_);
    trailing = device_ ? device_->TrailingPulls() : 0;
  }
  uint64_t started = 0;
  {
    std::unique_lock lock(mutex_);
    flowing_ = false;
    while (!InterruptedLocked() && playHead_ < queuedTail_) {
      changed_.wait(lock);
      // Report blocks as they begin, so the analyser follows the sound during the drain.
      started = started_;
      lock.unlock();
      ReportHeard(started);
      lock.lock();
    }
    if (InterruptedLocked()) return false;
    const uint64_t target = pulls_ + static_cast<uint64_t>(trailing);
    countingPulls_ = true;
    changed_.wait(lock, [&] { return InterruptedLocked() || pulls_ >= target; });
    countingPulls_ = false;
    if (InterruptedLocked()) return false;
    started = started_;
  }
  ReclaimBuffers();
  return true;
}

void WaveOutput::Reset() {
  {
    std::lock_guard lock(mutex_);
    playHead_ = queuedTail_;
    started_ = queuedTail_;
    heardBlock_ = kNoBlock;
    wakeAt_ = UINT64_MAX;
    playOffset_ = 0;
    playedBytes_ = 0;
    lastPullBytes_ = 0;
    reclaimed_ = queuedTail_;
    flowing_ = false;
  }
  heardReported_ = std::max(heardReported_, reclaimed_);
  pending_.clear();
  enqueuedBytes_ = 0;
  if (observer_) observer_->OnReset();
  // After a seek the queue refills before the device runs again.
  std::lock_guard dev(deviceMutex_);
  if (open_ && device_) device_->Discard();
  if (open_ && device_ && primed_ && startThreshold_ > 1) {
    primed_ = false;
    device_->SetPaused(true);
  }
}

bool WaveOutput::TruncateTo(uint64_t mark) {
  if (mark >= enqueuedBytes_) {
    // Only what an interrupted write kept lies past the mark.
    if (mark - enqueuedBytes_ < pending_.size()) pending_.resize(static_cast<size_t>(mark - enqueuedBytes_));
    return true;
  }
  std::lock_guard lock(mutex_);
  if (playedBytes_ > mark) return false;
  // Blocks that start at the mark or later go; the one it falls into is cut short. None of them
  // has begun to play (the device has taken nothing past the mark), so the device reads none now.
  uint64_t tail = queuedTail_;
  const auto at = [&](uint64_t slot) -> Block& { return blocks_[static_cast<size_t>(slot % static_cast<uint64_t>(blockCount_))]; };
  while (tail > playHead_ && at(tail - 1).start >= mark) --tail;
  if (tail > playHead_) {
    Block& b = at(tail - 1);
    if (b.start + b.size > mark) b.size = static_cast<size_t>(mark - b.start);
  }
  queuedTail_ = tail;
  enqueuedBytes_ = mark;
  pending_.clear();
  changed_.notify_all();
  return true;
}

void WaveOutput::Close() {
  {
    std::lock_guard dev(deviceMutex_);
    if (open_ && device_) device_->Close();
    open_ = false;
  }
  Reset();
}

void WaveOutput::SetPaused(bool paused) {
  {
    // The running play head stops where the pause came and goes on from there.
    std::lock_guard lock(mutex_);
    const auto now = now_();
    if (paused && !pauseHeld_) {
      pauseHeld_ = true;
      pausedAt_ = now;
    } else if (!paused && pauseHeld_) {
      pauseHeld_ = false;
      if (now > pausedAt_) lastPullAt_ += now - pausedAt_;
    }
  }
  std::lock_guard dev(deviceMutex_);
  paused_ = paused;
  if (open_ && device_ && primed_) device_->SetPaused(paused);
}

bool WaveOutput::SetVolume(uint32_t volume) {
  volume_ = volume;
  return true;
}

void WaveOutput::Interrupt() {
  std::lock_guard lock(mutex_);
  interrupted_ = true;
  changed_.notify_all();
}

void WaveOutput::Wake() {
  std::lock_guard lock(mutex_);
  changed_.notify_all();
}

void WaveOutput::ClearInterrupt() {
  std::lock_guard lock(mutex_);
  interrupted_ = false;
}

void WaveOutput::ApplyVolume(uint8_t* dst, const uint8_t* src, size_t srcOffset, size_t bytes,
                             uint32_t volume) const {
  if (volume == kFullVolume || format_.bitsPerSample != 16) {
    std::memcpy(dst, src, bytes);
    return;
  }
  // 65535 is unity; the gain is a 16.16 fraction.
  const int32_t left = (volume & 0xFFFFu) == 0xFFFFu ? 65536 : static_cast<int32_t>(volume & 0xFFFFu);
  const int32_t right = (volume >> 16) == 0xFFFFu ? 65536 : static_cast<int32_t>(volume >> 16);
  const size_t channels = static_cast<size_t>(std::max(1, format_.channels));
  // Blocks start on a frame, but a copy may start on either channel: count from the block start.
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    int16_t s;
    std::memcpy(&s, src + i, 2);
    const int32_t gain = ((srcOffset + i) / 2) % channels == 0 ? left : right;
    s = static_cast<int16_t>((static_cast<int32_t>(s) * gain) / 65536);
    std::memcpy(dst + i, &s, 2);
  }
}

size_t WaveOutput::Pull(uint8_t* dst, size_t bytes) {
  const uint32_t volume = volume_.load(std::memory_order_relaxed);
  size_t copied = 0;
  std::lock_guard lock(mutex_);
  ++pulls_;
  const uint64_t headBefore = playHead_, startedBefore = started_;
  while (copied < bytes && playHead_ < queuedTail_) {
    const Block& b = blocks_[static_cast<size_t>(playHead_ % static_cast<uint64_t>(blockCount_))];
    if (playOffset_ == 0) {
      started_ = playHead_ + 1;
      heardBlock_ = playHead_;
    }
    const size_t n = std::min(bytes - copied, b.size - playOffset_);
    ApplyVolume(dst + copied, b.data.data() + playOffset_, playOffset_, n, volume);
    copied += n;
    playedBytes_ += n;
    playOffset_ += n;
    if (playOffset_ >= b.size) {
      ++playHead_;
      playOffset_ = 0;
    }
  }
  if (copied > 0) {
    lastPullAt_ = now_();
    lastPullBytes_ = copied;
  }
  if (copied < bytes && flowing_) underrunBytes_.fetch_add(bytes - copied, std::memory_order_relaxed);
  // The decode thread waits for room to refill, for the block it watches for to start, or for
  // every block while it drains, and counts pulls at the very end; waking it for anything else
  // would cost a wake-up per pull or per block.
  const bool moved = playHead_ != headBefore || started_ != startedBefore;
  if (countingPulls_ || (moved && (!flowing_ || RefillDueLocked() || WakeMarkPassedLocked()))) changed_.notify_all();
  return copied;
}

}  // namespace tovira
