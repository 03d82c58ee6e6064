#pragma once
// Decoding test streams held in memory: whole, the way the tools do, or frame by frame the way
// the player does (at full or half rate, on a decoder that may have played something before).

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DamagedStreams.h"
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

// The samples of a WAV file's data chunk, and its channel count.
inline std::vector<int16_t> ReadWav(const std::string& path, int& channels) {
  const std::vector<uint8_t> b = ReadBytes(path);
  channels = 0;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = b[at + 4] | b[at + 5] << 8 | b[at + 6] << 16 | static_cast<uint32_t>(b[at + 7]) << 24;
    if (std::memcmp(&b[at], "fmt ", 4) == 0) channels = b[at + 10];
    if (std::memcmp(&b[at], "data", 4) == 0) {
      std::vector<int16_t> pcm(std::min<size_t>(size, b.size() - at - 8) / 2);
      std::memcpy(pcm.data(), &b[at + 8], pcm.size() * 2);
      return pcm;
    }
    at += 8 + size + (size & 1);
  }
  return {};
}

}  // namespace tovira::test
