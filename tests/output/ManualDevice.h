#pragma once
// A device that plays only when the test says so, for deterministic output and engine tests.

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
    if (failOpen) {
      if (error) *error = "refused by the test";
      return false;
    }
    format_ = format;
    source_ = &source;
    paused_ = true;
    return true;
  }
  void Close() override { Locked([&] { source_ = nullptr; }); }
  void SetPaused(bool paused) override { Locked([&] { paused_ = paused; }); }
  int32_t MaxSampleRate() const override { return maxRate; }
  std::string Name() const override { return "manual"; }

  // Plays up to `bytes` bytes (if open and not paused); returns what the source gave.
  std::vector<uint8_t> Play(size_t bytes) {
    return Locked([&] {
      std::vector<uint8_t> out(bytes);
      out.resize(source_ && !paused_ ? source_->Pull(out.data(), bytes) : 0);
      played_.insert(played_.end(), out.begin(), out.end());
      return out;
    });
  }
  bool IsOpen() const { return Locked([&] { return source_ != nullptr; }); }
  bool IsPaused() const { return Locked([&] { return paused_; }); }
  PcmFormat Format() const { return Locked([&] { return format_; }); }
  std::vector<uint8_t> Played() const { return Locked([&] { return played_; }); }

 private:
  template <typename F>
  auto Locked(F f) const -> decltype(f()) {
    std::lock_guard lock(mutex_);
    return f();
  }

  mutable std::mutex mutex_;
  AudioSource* source_ = nullptr;
  PcmFormat format_;
  bool paused_ = true;
  std::vector<uint8_t> played_;
};

}  // namespace tovira::testing
