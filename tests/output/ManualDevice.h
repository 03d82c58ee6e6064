#pragma once
// A device that plays only when the test says so, for deterministic output and engine tests.

#include <atomic>
#include <mutex>
#include <vector>

#include "output/AudioDevice.h"

namespace tovira::testing {

class ManualDevice final : public AudioDevice {
 public:
  bool failOpen = false;
  int32_t maxRate = 0;

  bool Open(const PcmFormat& format, AudioSource& source, std::string* error) override {
    std::lock_guard lock(mutex_);
    ++opens_;
    if (failOpen) {
      if (error) *error = "refused by the test";
      return false;
    }
    format_ = format;
    source_ = &source;
    paused_ = true;
    return true;
  }
  void Close() override {
    std::lock_guard lock(mutex_);
    source_ = nullptr;
  }
  void SetPaused(bool paused) override {
    std::lock_guard lock(mutex_);
    paused_ = paused;
  }
  int32_t MaxSampleRate() const override { return maxRate; }
  std::string Name() const override { return "manual"; }

  // Plays up to `bytes` bytes (if open and not paused); returns what the source gave.
  std::vector<uint8_t> Play(size_t bytes) {
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> out(bytes);
    if (!source_ || paused_) return {};
    out.resize(source_->Pull(out.data(), bytes));
    played_.insert(played_.end(), out.begin(), out.end());
    return out;
  }
  bool IsOpen() const {
    std::lock_guard lock(mutex_);
    return source_ != nullptr;
  }
  bool IsPaused() const {
    std::lock_guard lock(mutex_);
    return paused_;
  }
  int Opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
  }
  PcmFormat Format() const {
    std::lock_guard lock(mutex_);
    return format_;
  }
  std::vector<uint8_t> Played() const {
    std::lock_guard lock(mutex_);
    return played_;
  }

 private:
  mutable std::mutex mutex_;
  AudioSource* source_ = nullptr;
  PcmFormat format_;
  bool paused_ = true;
  int opens_ = 0;
  std::vector<uint8_t> played_;
};

}  // namespace tovira::testing
