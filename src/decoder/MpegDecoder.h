#pragma once
// Everything needed to decode one stream: header record, input stream, tables, synthesis and
// the layer decoders. The engine drives the frame loop itself; tools and tests use DecodeFile.

#include <cstdint>
#include <memory>
#include <string>

#include "decoder/ByteSource.h"
#include "decoder/FrameHeader.h"
#include "decoder/InputStream.h"
#include "decoder/Layer12.h"
#include "decoder/Layer3.h"
#include "decoder/PcmSink.h"
#include "decoder/PlaybackContext.h"
#include "decoder/Synthesis.h"
#include "decoder/Tables.h"

namespace tovira {

class MpegDecoder {
 public:
  explicit MpegDecoder(PlaybackContext& ctx);
  MpegDecoder(const MpegDecoder&) = delete;
  MpegDecoder& operator=(const MpegDecoder&) = delete;

  InputStream& Stream() { return stream_; }
  FrameHeader& Header() { return header_; }
  Synthesis& Synth() { return synth_; }

  // Sets up the synthesis for the context's output scale and block size and the given
  // decimation (0 full rate, 1 half rate), and clears every history: a new track starts clean.
  bool Prepare(int32_t decimation);
  // After a seek: the synthesis history, the buffered PCM and the Layer III overlap.
  void ResetHistories();
  // Decodes the frame ReadFrame just read. Throws DecoderError on fatal errors.
  void DecodeCurrentFrame();
  void SetSink(PcmSink* sink) { synth_.SetSink(sink); }
  void FlushPcm() { synth_.FlushPcm(); }

  // Decode a whole file (or byte source) at full rate into `sink`. False, with a message, when
  // it cannot be opened, holds no MPEG audio, or a frame cannot be decoded (the PCM decoded up
  // to that point has been delivered).
  static bool DecodeFile(const std::string& path, PcmSink& sink, std::string* error = nullptr);
  static bool DecodeSource(std::unique_ptr<ByteSource> source, PcmSink& sink, std::string* error = nullptr);

 private:
  static bool Run(PlaybackContext& ctx, std::unique_ptr<ByteSource> source, PcmSink& sink, std::string* error);

  PlaybackContext& ctx_;
  FrameHeader header_;
  InputStream stream_;
  Layer12Tables tables_;
  Synthesis synth_;
  Layer12Decoder layer12_;
  Layer3Decoder layer3_;
};

}  // namespace tovira
