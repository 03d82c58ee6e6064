#pragma once
// The sound server directly through libpulse (PulseAudio, or PipeWire's PulseAudio service).
// The server asks for PCM once per chunk of 50 ms, so the device thread wakes about 20 times a
// second while playing (plus once more each time the server, woken by the data, takes the
// processor from it) and not at all while paused (the stream is corked). The data goes through
// the socket, not shared memory, which would cost one more wake per chunk.

#include <cstddef>
#include <cstdint>
#include <string>

#include "output/AudioDevice.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace tovira {

class PulseDevice final : public AudioDevice {
 public:
  PulseDevice() = default;
  ~PulseDevice() override { Close(); }
  PulseDevice(const PulseDevice&) = delete;
  PulseDevice& operator=(const PulseDevice&) = delete;

  bool Open(const PcmFormat& format, AudioSource& source, std::string* error) override;
  void Close() override;
  void SetPaused(bool paused) override;
  void Discard() override;
  // Two chunks sit in the server's buffer: after two more requests the last PCM has been played.
  int TrailingPulls() const override { return 2; }
  std::string Name() const override { return "pulseaudio"; }

  // How much PCM the server is asked to hold, and in what pieces it asks for more.
  static constexpr int kChunkMs = 50;

 private:
  static void OnContextState(pa_context* context, void* self);
  static void OnStreamState(pa_stream* stream, void* self);
  static void OnWrite(pa_stream* stream, size_t bytes, void* self);
  // Runs with the main loop locked: fills `bytes` of the server's buffer from the source.
  void Fill(size_t bytes);
  // Waits, with the loop locked, until `ready` or failure or the connect timeout.
  template <typename Ready>
  bool WaitLocked(Ready ready);
  void Fail(std::string* error, const std::string& what);

  AudioSource* source_ = nullptr;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  size_t frameBytes_ = 4;
  bool paused_ = true;  // guarded by the main loop's lock
  bool timedOut_ = false;
};

}  // namespace tovira
