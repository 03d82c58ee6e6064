#include "output/PullThreadDevice.h"

namespace tovira {

namespace {
constexpr size_t kPeriodFrames = 1024;
}

PullThreadDevice::~PullThreadDevice() {
  // Derived classes close in their own destructors; this catches a plain null device.
  if (worker_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    worker_.join();
  }
}

bool PullThreadDevice::Open(const PcmFormat& format, AudioSource& source, std::string* error) {
  Close();
  if (format.sampleRate <= 0 || format.BytesPerFrame() <= 0) {
    if (error) *error = "unsupported PCM format";
    return false;
  }
  if (!Begin(format, error)) return false;
  format_ = format;
  source_ = &source;
  buffer_.assign(kPeriodFrames * static_cast<size_t>(format.BytesPerFrame()), 0);
  quit_ = false;
  paused_ = true;
  pending_ = false;
  worker_ = std::thread([this] { Run(); });
  return true;
}

void PullThreadDevice::Close() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  worker_.join();
  End();
  source_ = nullptr;
}

void PullThreadDevice::SetPaused(bool paused) {
  {
    std::lock_guard lock(mutex_);
    paused_ = paused;
    pending_ = true;
  }
  wake_.notify_all();
}

void PullThreadDevice::DataQueued() {
  {
    std::lock_guard lock(mutex_);
    pending_ = true;
  }
  wake_.notify_all();
}

void PullThreadDevice::Run() {
  using Clock = std::chrono::steady_clock;
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(static_cast<double>(kPeriodFrames) / format_.sampleRate));
  auto next = Clock::now() + period;
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (pacing_ == Pacing::RealTime) {
      if (paused_) {
        wake_.wait(lock, [&] { return quit_ || !paused_; });
        next = Clock::now() + period;
        continue;
      }
      // A period of sound passes, queued or not, before the device asks for the next one.
      wake_.wait_until(lock, next, [&] { return quit_ || paused_; });
      if (quit_) break;
      if (paused_) continue;
      next += period;
    } else {
      wake_.wait(lock, [&] { return quit_ || (!paused_ && pending_); });
      if (quit_) break;
      pending_ = false;
    }
    lock.unlock();
    const size_t got = source_->Pull(buffer_.data(), buffer_.size());
    if (got > 0) Consume(buffer_.data(), got);
    lock.lock();
    // Immediate pacing keeps pulling until the queue is empty (checking pause and quit between
    // periods); real time takes one period per wake-up.
    if (pacing_ == Pacing::Immediate && got > 0) pending_ = true;
  }
}

}  // namespace tovira
