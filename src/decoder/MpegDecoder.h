#pragma once
// Everything needed to decode one stream: header record, input stream, tables, synthesis and
// the layer decoders. The engine drives the frame loop itself; tools and tests use DecodeFile.

#include <cstdint>
#include <functional>
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
  void SetSink(PcmSink* sink) {
    sink_ = sink;
    synth_.SetSink(sink);
  }
  void FlushPcm() { synth_.FlushPcm(); }

  // Moves to the frame that holds `ms` and runs the few frames before it through the decoder
  // unheard, so that from there on the sound is exactly that of an uninterrupted decode; the
  // histories are cleared and the PCM buffer holds nothing. frameCounter is then the number of
  // the frame to be read next (its start is frameCounter x ms per frame). False, with nothing
  // changed, past the end of the audio or when `stop` says so during the index walk.
  bool SeekToTime(uint32_t ms, const std::function<bool()>& stop = {});

  // Decode a whole file (or byte source) at full rate into `sink`. False, with a message, when
  // it cannot be opened, holds no MPEG audio, or a frame cannot be decoded (the PCM decoded up
  // to that point has been delivered).
  static bool DecodeFile(const std::string& path, PcmSink& sink, std::string* error = nullptr);
  static bool DecodeSource(std::unique_ptr<ByteSource> source, PcmSink& sink, std::string* error = nullptr);

 private:
  static bool Run(PlaybackContext& ctx, std::unique_ptr<ByteSource> source, PcmSink& sink, std::string* error);

  PlaybackContext& ctx_;
  PcmSink* sink_ = nullptr;
  FrameHeader header_;
  InputStream stream_;
  Layer12Tables tables_;
  Synthesis synth_;
  Layer12Decoder layer12_;
  Layer3Decoder layer3_;
};

}  // namespace tovira
