#include "output/SdlDevice.h"

#include <SDL.h>

#include <cstring>

namespace tovira {

bool SdlDevice::Open(const PcmFormat& format, AudioSource& source, std::string* error) {
  Close();
  if (format.bitsPerSample != 16 || format.channels < 1 || format.channels > 2 || format.sampleRate <= 0) {
    if (error) *error = "unsupported PCM format";
    return false;
  }
  // SDL counts subsystem users, so each open device holds its own reference.
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    if (error) *error = SDL_GetError();
    return false;
  }
  subsystemUp_ = true;
  source_ = &source;
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = format.sampleRate;
  want.format = AUDIO_S16LSB;
  want.channels = static_cast<Uint8>(format.channels);
  want.samples = 2048;  // about 46 ms at 44.1 kHz: small enough for a quick pause
  want.callback = &SdlDevice::Callback;
  want.userdata = this;
  SDL_AudioSpec have;
  // No allowed changes: SDL converts to whatever the hardware takes.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    if (error) *error = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystemUp_ = false;
    source_ = nullptr;
    return false;
  }
  const char* driver = SDL_GetCurrentAudioDriver();
  driver_ = driver ? driver : "";
  return true;
}

void SdlDevice::Close() {
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);  // waits for the callback thread
    device_ = 0;
  }
  if (subsystemUp_) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystemUp_ = false;
  }
  // SDL keeps per-thread data (its error text) for threads it did not create; the decode
  // thread that opened the device ends after closing it.
  SDL_TLSCleanup();
  source_ = nullptr;
}

void SdlDevice::SetPaused(bool paused) {
  if (device_ != 0) SDL_PauseAudioDevice(device_, paused ? 1 : 0);
}

std::string SdlDevice::Name() const { return driver_.empty() ? "sdl" : "sdl (" + driver_ + ")"; }

void SdlDevice::Callback(void* self, uint8_t* stream, int len) {
  auto* device = static_cast<SdlDevice*>(self);
  const size_t want = len > 0 ? static_cast<size_t>(len) : 0;
  const size_t got = device->source_->Pull(stream, want);
  if (got < want) std::memset(stream + got, 0, want - got);  // signed 16-bit silence
}

}  // namespace tovira
