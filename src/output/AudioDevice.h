#pragma once
// The sound device behind the audio output. A device pulls PCM from an AudioSource on a thread
// of its own (the real device's callback, or a worker for the null and file devices).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tovira {

struct PcmFormat {
  int32_t sampleRate = 44100;
  int32_t channels = 2;
  int32_t bitsPerSample = 16;

  int32_t BytesPerFrame() const { return channels * bitsPerSample / 8; }
  int32_t BytesPerSecond() const { return sampleRate * BytesPerFrame(); }
  bool operator==(const PcmFormat&) const = default;
};

class AudioSource {
 public:
  virtual ~AudioSource() = default;
  // Runs on the device's thread: copies at most `bytes` of queued PCM into `dst` and returns
  // how many it copied (0 when nothing is queued). Never allocates and never waits long.
  virtual size_t Pull(uint8_t* dst, size_t bytes) = 0;
};

class AudioDevice {
 public:
  virtual ~AudioDevice() = default;
  // Starts pulling from `source` in `format`, paused until SetPaused(false). False with a
  // message when the device cannot be opened.
  virtual bool Open(const PcmFormat& format, AudioSource& source, std::string* error) = 0;
  // Stops pulling; returns once the device no longer calls the source.
  virtual void Close() = 0;
  virtual void SetPaused(bool paused) = 0;
  // The queue was dropped (seek, stop): what the device holds but has not played goes too.
  virtual void Discard() {}
  // New PCM has been queued; a device that waits for data wakes up.
  virtual void DataQueued() {}
  // Highest sampling rate the device takes (0 = any). Streams above it decode at half rate.
  virtual int32_t MaxSampleRate() const { return 0; }
  // Pulls after the queue ran dry until the last PCM has left the device's own buffer.
  virtual int TrailingPulls() const { return 0; }
  virtual std::string Name() const = 0;
};

// "sdl", "null", or "wav:PATH". When the real device cannot be opened the caller may fall back
// to the null device (see OpenWithFallback in WaveOutput).
std::unique_ptr<AudioDevice> MakeAudioDevice(const std::string& spec, std::string* error);

}  // namespace tovira
