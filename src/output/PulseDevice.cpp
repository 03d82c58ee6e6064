#include "output/PulseDevice.h"

#include <pulse/pulseaudio.h>

#include <cstring>

namespace tovira {
namespace {

// A server that does not answer within this gives way to the next device.
constexpr pa_usec_t kConnectTimeout = 2 * PA_USEC_PER_SEC;

}  // namespace

void PulseDevice::OnContextState(pa_context*, void* self) {
  pa_threaded_mainloop_signal(static_cast<PulseDevice*>(self)->loop_, 0);
}

void PulseDevice::OnStreamState(pa_stream*, void* self) {
  pa_threaded_mainloop_signal(static_cast<PulseDevice*>(self)->loop_, 0);
}

void PulseDevice::OnWrite(pa_stream*, size_t bytes, void* self) {
  auto* device = static_cast<PulseDevice*>(self);
  // While corked nothing is pulled: the play head stands where the listener paused. The
  // request is met on resume.
  if (!device->paused_) device->Fill(bytes);
}

void PulseDevice::Fill(size_t bytes) {
  bytes -= bytes % frameBytes_;
  while (bytes > 0) {
    void* data = nullptr;
    size_t n = bytes;
    if (pa_stream_begin_write(stream_, &data, &n) < 0 || data == nullptr || n == 0) return;
    n -= n % frameBytes_;
    if (n == 0) {
      pa_stream_cancel_write(stream_);
      return;
    }
    auto* dst = static_cast<uint8_t*>(data);
    const size_t got = source_->Pull(dst, n);
    if (got < n) std::memset(dst + got, 0, n - got);  // an underrun plays as silence
    if (pa_stream_write(stream_, data, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
    bytes -= n;
  }
}

template <typename Ready>
bool PulseDevice::WaitLocked(Ready ready) {
  for (;;) {
    const int state = ready();
    if (state != 0) return state > 0;
    if (timedOut_) return false;
    pa_threaded_mainloop_wait(loop_);
  }
}

void PulseDevice::Fail(std::string* error, const std::string& what) {
  if (error) {
    const int code = context_ ? pa_context_errno(context_) : PA_ERR_UNKNOWN;
    *error = timedOut_ ? what + ": the sound server did not answer" : what + ": " + pa_strerror(code);
  }
}

bool PulseDevice::Open(const PcmFormat& format, AudioSource& source, std::string* error) {
  Close();
  if (format.bitsPerSample != 16 || format.channels < 1 || format.channels > 2 || format.sampleRate <= 0 ||
      format.sampleRate > static_cast<int32_t>(PA_RATE_MAX)) {
    if (error) *error = "unsupported PCM format";
    return false;
  }
  source_ = &source;
  frameBytes_ = static_cast<size_t>(format.BytesPerFrame());
  paused_ = true;
  timedOut_ = false;
  loop_ = pa_threaded_mainloop_new();
  if (loop_ == nullptr) {
    if (error) *error = "pulseaudio: no main loop";
    return false;
  }
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Tovira");
  pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "tovira");
  pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
  // Over shared memory every chunk costs a second wake-up, when the server hands the block back;
  // 176 kB/s through the socket costs nothing worth having that for.
  pa_proplist_sets(props, PA_PROP_CONTEXT_FORCE_DISABLE_SHM, "true");
  context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Tovira", props);
  pa_proplist_free(props);
  if (context_ == nullptr) {
    if (error) *error = "pulseaudio: no context";
    Close();
    return false;
  }
  pa_context_set_state_callback(context_, &PulseDevice::OnContextState, this);
  // Never start a server of our own: without one the next device is tried.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
      pa_threaded_mainloop_start(loop_) < 0) {
    Fail(error, "pulseaudio");
    Close();
    return false;
  }

  pa_threaded_mainloop_lock(loop_);
  pa_time_event* timer = pa_context_rttime_new(
      context_, pa_rtclock_now() + kConnectTimeout,
      [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        auto* device = static_cast<PulseDevice*>(self);
        device->timedOut_ = true;
        pa_threaded_mainloop_signal(device->loop_, 0);
      },
      this);
  auto stopTimer = [&] {
    if (timer != nullptr) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
    timer = nullptr;
  };
  const bool connected = WaitLocked([&] {
    const pa_context_state_t s = pa_context_get_state(context_);
    return s == PA_CONTEXT_READY ? 1 : (PA_CONTEXT_IS_GOOD(s) ? 0 : -1);
  });
  if (!connected) {
    stopTimer();
    Fail(error, "pulseaudio");
    pa_threaded_mainloop_unlock(loop_);
    Close();
    return false;
  }

  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_S16LE;
  spec.rate = static_cast<uint32_t>(format.sampleRate);
  spec.channels = static_cast<uint8_t>(format.channels);
  stream_ = pa_stream_new(context_, "Music", &spec, nullptr);
  bool ready = false;
  if (stream_ != nullptr) {
    pa_stream_set_state_callback(stream_, &PulseDevice::OnStreamState, this);
    pa_stream_set_write_callback(stream_, &PulseDevice::OnWrite, this);
    const uint32_t chunk =
        static_cast<uint32_t>(pa_usec_to_bytes(static_cast<pa_usec_t>(kChunkMs) * PA_USEC_PER_MSEC, &spec));
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = 2 * chunk;
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = chunk;
    attr.fragsize = static_cast<uint32_t>(-1);
    // Corked until the output says play; the server's own timing is not asked for, as the play
    // head is counted from what was pulled.
    if (pa_stream_connect_playback(stream_, nullptr, &attr, PA_STREAM_START_CORKED, nullptr, nullptr) == 0) {
      ready = WaitLocked([&] {
        const pa_stream_state_t s = pa_stream_get_state(stream_);
        return s == PA_STREAM_READY ? 1 : (PA_STREAM_IS_GOOD(s) ? 0 : -1);
      });
    }
  }
  stopTimer();
  if (!ready) Fail(error, "pulseaudio stream");
  pa_threaded_mainloop_unlock(loop_);
  if (!ready) {
    Close();
    return false;
  }
  return true;
}

void PulseDevice::SetPaused(bool paused) {
  if (loop_ == nullptr || stream_ == nullptr) return;
  pa_threaded_mainloop_lock(loop_);
  if (paused != paused_) {
    paused_ = paused;
    // What the server asked for while corked is given now, before it starts playing.
    if (!paused) {
      const size_t writable = pa_stream_writable_size(stream_);
      if (writable != static_cast<size_t>(-1)) Fill(writable);
    }
    if (pa_operation* op = pa_stream_cork(stream_, paused ? 1 : 0, nullptr, nullptr)) pa_operation_unref(op);
  }
  pa_threaded_mainloop_unlock(loop_);
}

void PulseDevice::Discard() {
  if (loop_ == nullptr || stream_ == nullptr) return;
  pa_threaded_mainloop_lock(loop_);
  if (pa_operation* op = pa_stream_flush(stream_, nullptr, nullptr)) pa_operation_unref(op);
  pa_threaded_mainloop_unlock(loop_);
}

void PulseDevice::Close() {
  if (loop_ != nullptr) {
    pa_threaded_mainloop_lock(loop_);
    if (stream_ != nullptr) {
      pa_stream_set_write_callback(stream_, nullptr, nullptr);
      pa_stream_set_state_callback(stream_, nullptr, nullptr);
      pa_stream_disconnect(stream_);
      pa_stream_unref(stream_);
      stream_ = nullptr;
    }
    if (context_ != nullptr) {
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
      pa_context_unref(context_);
      context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(loop_);
    // Stopping joins the loop's thread: no callback reaches the source after this.
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
  }
  source_ = nullptr;
}

}  // namespace tovira
