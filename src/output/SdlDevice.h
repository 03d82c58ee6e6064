#pragma once
// The real sound device through SDL2 (PulseAudio, PipeWire, ALSA ...). SDL converts the rate
// and format when the hardware wants another, so every stream rate is accepted.

#include <cstdint>

#include "output/AudioDevice.h"

namespace tovira {

class SdlDevice final : public AudioDevice {
 public:
  SdlDevice() = default;
  ~SdlDevice() override { Close(); }
  bool Open(const PcmFormat& format, AudioSource& source, std::string* error) override;
  void Close() override;
  void SetPaused(bool paused) override;
  int TrailingPulls() const override { return 2; }
  std::string Name() const override;

 private:
  static void Callback(void* self, uint8_t* stream, int len);

  AudioSource* source_ = nullptr;
  uint32_t device_ = 0;
  bool subsystemUp_ = false;
  std::string driver_;
};

}  // namespace tovira
