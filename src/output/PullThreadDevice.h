#pragma once
// A device without a sound card: a worker thread pulls the queued PCM, either at the pace of
// real playback or as fast as it is queued, and hands it to Consume().

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "output/AudioDevice.h"

namespace tovira {

class PullThreadDevice : public AudioDevice {
 public:
  enum class Pacing { RealTime, Immediate };
  explicit PullThreadDevice(Pacing pacing) : pacing_(pacing) {}
  ~PullThreadDevice() override;

  bool Open(const PcmFormat& format, AudioSource& source, std::string* error) override;
  void Close() override;
  void SetPaused(bool paused) override;
  void DataQueued() override;

  Pacing GetPacing() const { return pacing_; }

 protected:
  // Called on the worker thread with the PCM pulled; the default drops it.
  virtual void Consume(const uint8_t* data, size_t bytes) { (void)data; (void)bytes; }
  // Around the worker's life: set up and finish the sink. False fails the open.
  virtual bool Begin(const PcmFormat& format, std::string* error) { (void)format; (void)error; return true; }
  virtual void End() {}

 private:
  void Run();

  const Pacing pacing_;
  PcmFormat format_;
  AudioSource* source_ = nullptr;
  std::thread worker_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  bool paused_ = true;
  bool pending_ = false;
  std::vector<uint8_t> buffer_;
};

class NullDevice final : public PullThreadDevice {
 public:
  explicit NullDevice(Pacing pacing = Pacing::RealTime) : PullThreadDevice(pacing) {}
  std::string Name() const override { return "null"; }
};

}  // namespace tovira
