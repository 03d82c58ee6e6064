#pragma once
// The audio output: a queue of at most `blockCount` PCM blocks in front of an AudioDevice.
//
// The decode thread opens, writes, releases finished blocks, drains, resets and closes. The
// device thread only copies from queued blocks (Pull), under a lock held for one copy. Block
// memory is allocated once, so the device thread never allocates. Volume is applied per channel
// while copying; at full volume the copy is exact.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "output/AudioDevice.h"
#include "output/BlockObserver.h"

namespace tovira {

inline constexpr uint32_t kFullVolume = 0xFFFFFFFFu;

class WaveOutput final : public AudioSource {
 public:
  static constexpr int kDefaultBlockCount = 8;
  static constexpr size_t kDefaultBlockBytes = 16384;

  explicit WaveOutput(std::unique_ptr<AudioDevice> device, int blockCount = kDefaultBlockCount,
                      size_t blockBytes = kDefaultBlockBytes);
  ~WaveOutput() override;
  WaveOutput(const WaveOutput&) = delete;
  WaveOutput& operator=(const WaveOutput&) = delete;

  // Called on the decode thread; set before Open.
  void SetObserver(BlockObserver* observer) { observer_ = observer; }
  // When the device cannot be opened, play into a null device instead of failing, and keep a
  // one-line notice for the user. The next Open tries the real device again.
  void SetFallbackToNull(bool fallback) { fallbackToNull_ = fallback; }

  // The device starts (and restarts after a reset) only once this many blocks are queued, or
  // at a drain, so that it does not run dry while the decoder gets going. Default 1.
  void SetStartThreshold(int blocks) { startThreshold_ = std::clamp(blocks, 1, blockCount_); }
  // A write waiting for room goes on once this many blocks are free, so that the decode thread
  // wakes once per so many blocks rather than once per block. Default 1.
  void SetRefillThreshold(int blocks) { refillThreshold_ = std::clamp(blocks, 1, blockCount_); }
  // Decode thread: a write waiting for room also goes on, once, as soon as the device has taken a
  // byte past `mark` (counted as AcceptedBytes), so that the block holding it is reported heard
  // then and not at the next refill.
  void WakeWhenPlayed(uint64_t mark);

  // Throws OutputError when the device cannot be opened (and no fallback is allowed).
  void Open(const PcmFormat& format);
  bool IsOpen() const { return open_; }
  const PcmFormat& Format() const { return format_; }

  // Queues a copy of `bytes` bytes, in as many blocks as it takes. Waits while every block is
  // queued; returns early when interrupted, keeping what it could not queue for the next write
  // or drain (a reset drops it). Returns `bytes`. Throws OutputError when the output is not open.
  size_t WriteBlock(const uint8_t* data, size_t bytes);
  // Takes back the blocks the device has finished and reports newly heard blocks.
  void ReclaimBuffers();
  // Queues anything an interrupted write kept and waits until everything queued has been
  // played. False when interrupted first.
  bool Drain();
  // Drops all queued audio at once (seek, stop).
  void Reset();
  // Bytes WriteBlock has taken since the last open or reset (decode thread).
  uint64_t AcceptedBytes() const { return enqueuedBytes_ + pending_.size(); }
  // Drops what was written after the first `mark` bytes (counted as AcceptedBytes), so that
  // something else can follow them. False, with nothing changed, when the device has already
  // taken a byte past the mark.
  bool TruncateTo(uint64_t mark);
  void Close();

  // From any thread. Pausing stops the device at once; queued blocks stay and play on resume.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }
  // Low 16 bits left, high 16 bits right, 0..65535 each. Applies from the next copy.
  bool SetVolume(uint32_t volume);
  uint32_t Volume() const { return volume_; }
  // Wakes the decode thread out of WriteBlock or Drain (stop or seek requested); the waits
  // return early until ClearInterrupt().
  void Interrupt();
  void ClearInterrupt();
  // A further reason to leave those waits, asked under the output's lock: it must be cheap
  // (atomics only). Whoever makes it true calls Wake() afterwards. Set before Open.
  void SetInterruptCheck(std::function<bool()> check) { interruptCheck_ = std::move(check); }
  void Wake();

  int BlockCount() const { return blockCount_; }
  size_t BlockBytes() const { return blockBytes_; }
  // Blocks queued and not yet released (decode thread).
  uint32_t Queued() const;
  // Bytes the device has taken since the last open or reset (any thread).
  uint64_t PlayedBytes() const;
  // Any thread: the play head as it moves between the device's pulls, for a running display.
  // A device takes a whole chunk (tens of milliseconds) at once, so PlayedBytes jumps; this is what
  // was taken before the last pull plus as much of that pull as has had time to play since, and it
  // stands still while paused. It never decreases between resets and never passes PlayedBytes.
  uint64_t PlayingBytes(std::chrono::steady_clock::time_point now) const;
  // Where the pulls' times come from (tests pass a fake clock). Set before Open.
  using NowFunction = std::function<std::chrono::steady_clock::time_point()>;
  void SetClock(NowFunction now) { now_ = std::move(now); }
  // Any thread: the sequence of the block the device began most recently, as OnBlockQueued
  // numbered it; kNoBlock before the first one after an open or reset. Unlike OnBlockHeard it is
  // current between the decode thread's wakes.
  static constexpr uint64_t kNoBlock = UINT64_MAX;
  uint64_t HeardBlock() const;
  // WriteBlock calls since the last open.
  uint64_t Written() const { return written_; }
  // Silence the device had to play because the queue ran dry while a stream was flowing.
  uint64_t UnderrunBytes() const { return underrunBytes_.load(std::memory_order_relaxed); }
  int32_t DeviceMaxSampleRate() const;
  std::string DeviceName() const;
  // One-line notice from the last Open (e.g. the fall-back to the null device), or empty.
  const std::string& Notice() const { return notice_; }

  size_t Pull(uint8_t* dst, size_t bytes) override;

 private:
  struct Block {
    std::vector<uint8_t> data;
    size_t size = 0;
    uint64_t start = 0;  // bytes queued before it since the last open or reset
  };
  void ApplyVolume(uint8_t* dst, const uint8_t* src, size_t srcOffset, size_t bytes, uint32_t volume) const;
  void ReportHeard(uint64_t startedCount);
  size_t Enqueue(const uint8_t* data, size_t bytes);  // bytes queued before any interrupt
  void Prime();
  bool InterruptedLocked() const { return interrupted_ || (interruptCheck_ && interruptCheck_()); }
  bool RefillDueLocked() const {
    return queuedTail_ - playHead_ + static_cast<uint64_t>(refillThreshold_) <= static_cast<uint64_t>(blockCount_);
  }
  bool WakeMarkPassedLocked() const { return playedBytes_ > wakeAt_; }

  const int blockCount_;
  const size_t blockBytes_;
  std::vector<Block> blocks_;

  std::mutex deviceMutex_;  // guards device_ against pause/volume calls from other threads
  std::unique_ptr<AudioDevice> device_;      // the one playing: the real device or the silent one
  std::unique_ptr<AudioDevice> realDevice_;  // kept while the silent one stands in for it
  bool fallbackToNull_ = false;
  std::string notice_;
  BlockObserver* observer_ = nullptr;
  PcmFormat format_;
  std::atomic<bool> open_{false};
  int startThreshold_ = 1;
  int refillThreshold_ = 1;
  bool primed_ = false;  // enough queued for the device to run; guarded by deviceMutex_

  // Shared with the device thread, guarded by mutex_.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t queuedTail_ = 0;  // blocks ever queued
  uint64_t playHead_ = 0;    // blocks completely copied to the device
  size_t playOffset_ = 0;    // bytes of block playHead_ already copied
  uint64_t started_ = 0;     // blocks whose first byte went to the device
  uint64_t heardBlock_ = kNoBlock;
  uint64_t wakeAt_ = UINT64_MAX;  // see WakeWhenPlayed
  uint64_t pulls_ = 0;
  uint64_t playedBytes_ = 0;
  // The last pull, for PlayingBytes: when it came, what it took, and since when the device is
  // paused (its progress stands still from there).
  std::chrono::steady_clock::time_point lastPullAt_{};
  uint64_t lastPullBytes_ = 0;
  uint64_t bytesPerSecond_ = 0;
  uint64_t frameBytes_ = 4;
  bool pauseHeld_ = false;
  std::chrono::steady_clock::time_point pausedAt_{};
  NowFunction now_ = [] { return std::chrono::steady_clock::now(); };
  bool interrupted_ = false;
  std::function<bool()> interruptCheck_;
  bool flowing_ = false;  // a stream is being written, so a dry queue is an underrun
  bool countingPulls_ = false;  // a drain waits for the device's last pulls

  uint64_t reclaimed_ = 0;  // blocks taken back by the decode thread

  // Decode thread only.
  uint64_t heardReported_ = 0;
  uint64_t enqueuedBytes_ = 0;  // bytes in blocks since the last open or reset
  std::vector<uint8_t> pending_;  // kept from an interrupted write
  uint64_t written_ = 0;

  std::atomic<bool> paused_{false};
  std::atomic<uint32_t> volume_{kFullVolume};
  std::atomic<uint64_t> underrunBytes_{0};
};

}  // namespace tovira
