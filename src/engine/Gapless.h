#pragma once
// Where the sound of a file lies within what the decoder makes of it, so that tracks cut from one
// recording play back to back as that recording did.
//
// Layer III: the first frame may be an information frame (Xing, Info, VBRI), which holds no
// sound. The decoder's output runs 529 samples behind its input (the hybrid filter bank's
// overlap, 288, and the synthesis window, 241); an encoder that writes its extension to the
// information frame states how many samples of its own delay precede the sound and how many of
// padding fill the last frame. Without that extension only the decoder's 529 are known.
// The numbers hold for MPEG-2 and 2.5 as well (576 samples a frame, the same filter banks).
// Layers I and II are played as decoded: their decoder delay is only the synthesis window, no
// encoder of ours states the rest, and their information frames are not trusted to be one.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "decoder/StreamProbe.h"

namespace tovira {

inline constexpr uint64_t kToTheEnd = UINT64_MAX;
inline constexpr uint32_t kLayer3DecoderDelay = 529;

struct TrackTrim {
  bool infoFrame = false;        // the first frame is the information frame: not sound
  uint32_t samplesPerFrame = 0;  // of the stream
  uint64_t start = 0;            // samples dropped after the information frame
  uint64_t audible = kToTheEnd;  // samples kept after those; kToTheEnd: up to the end of the stream

  // The length of the sound in ms: exact when `audible` is known, else from `frames` (all the
  // stream's frames, the information frame included).
  double DurationMs(uint64_t frames, int32_t rate) const;
};

TrackTrim TrimOf(const StreamSummary& summary);

// Passes on the part of a run of decoded stereo samples that lies in [begin, end), counting the
// samples (pairs) that go by in `next`.
struct SampleWindow {
  uint64_t next = 0;
  uint64_t begin = 0;
  uint64_t end = kToTheEnd;

  // `out(values, count)` receives the part inside, as interleaved int16 values.
  template <typename Out>
  void Pass(const int16_t* values, size_t count, Out&& out) {
    const uint64_t pairs = count / 2;
    const uint64_t lo = std::max(next, begin);
    const uint64_t hi = std::min(next + pairs, end);
    if (hi > lo) out(values + 2 * (lo - next), static_cast<size_t>(2 * (hi - lo)));
    next += pairs;
  }
  bool Done() const { return next >= end; }
};

}  // namespace tovira
