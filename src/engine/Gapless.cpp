#include "engine/Gapless.h"

namespace tovira {

TrackTrim TrimOf(const StreamSummary& s) {
  TrackTrim t;
  const FrameHeader& h = s.header;
  t.samplesPerFrame = static_cast<uint32_t>(std::max(0, static_cast<int>(h.SamplesPerFrame())));
  if (h.layer != 3 || t.samplesPerFrame == 0) return t;
  t.infoFrame = s.hasXing || s.hasVbri;
  const bool stated = s.hasXing && s.xing.encoderDelay >= 0 && s.xing.encoderPadding >= 0;
  const uint64_t delay = stated ? static_cast<uint64_t>(s.xing.encoderDelay) : 0;
  const uint64_t padding = stated ? static_cast<uint64_t>(s.xing.encoderPadding) : 0;
  t.start = delay + kLayer3DecoderDelay;
  if (s.hasXing && (s.xing.flags & kXingFrames) && s.xing.frameCount > 0) {
    // The encoder's count leaves its information frame out.
    const uint64_t decoded = static_cast<uint64_t>(s.xing.frameCount) * t.samplesPerFrame;
    const uint64_t afterStart = decoded > t.start ? decoded - t.start : 0;
    // Padding shorter than the decoder's delay would end the sound past the last frame.
    const uint64_t encoded = decoded > delay + padding ? decoded - delay - padding : 0;
    t.audible = std::min(afterStart, encoded);
  }
  return t;
}

double TrackTrim::DurationMs(uint64_t frames, int32_t rate) const {
  if (rate <= 0) return 0.0;
  uint64_t samples = audible;
  if (samples == kToTheEnd) {
    const uint64_t audio = frames > (infoFrame ? 1u : 0u) ? frames - (infoFrame ? 1u : 0u) : 0;
    const uint64_t decoded = audio * samplesPerFrame;
    samples = decoded > start ? decoded - start : 0;
  }
  return static_cast<double>(samples) * 1000.0 / rate;
}

}  // namespace tovira
