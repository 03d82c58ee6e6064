#pragma once
// Decoding test streams held in memory: whole, the way the tools do, or frame by frame the way
// the player does (at full or half rate, on a decoder that may have played something before).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decoder/ByteSource.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"

namespace tovira::test {

struct Decoded {
  bool ok = false;
  std::string error;
  uint64_t damaged = 0;
  std::vector<int16_t> pcm;
};

inline Decoded Decode(const std::vector<uint8_t>& bytes) {
  Decoded d;
  VectorPcmSink sink;
  d.ok = MpegDecoder::DecodeSource(std::make_unique<MemorySource>(bytes), sink, &d.error, &d.damaged);
  d.pcm = std::move(sink.pcm);
  return d;
}

// Opens `bytes` on `dec`, prepares it for the stream at the first frame and decodes at most
// `frames` frames; returns their PCM, flushed.
inline std::vector<int16_t> DecodeFrames(MpegDecoder& dec, const std::vector<uint8_t>& bytes, int decimation,
                                         size_t frames = SIZE_MAX) {
  VectorPcmSink sink;
  dec.SetSink(&sink);
  dec.Stream().SetSource(std::make_unique<MemorySource>(bytes));
  if (!dec.Stream().OpenStream()) return {};
  for (size_t n = 0; n < frames;) {
    const int r = dec.Stream().ReadFrame();
    if (r == -2) break;
    if (r != 1) continue;
    if (n++ == 0) dec.Prepare(decimation);
    dec.DecodeCurrentFrame();
  }
  dec.FlushPcm();
  dec.SetSink(nullptr);
  return std::move(sink.pcm);
}

}  // namespace tovira::test
