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
  // After a seek: the synthesis history, the buffered PCM, the Layer III overlap and the run of
  // damaged frames.
  void ResetHistories();
  // Decodes the frame ReadFrame just read. A frame that cannot be decoded (forbidden side
  // information or allocation, data past the frame, Huffman data past its length) is concealed
  // as silence of its own length and counted; the result is then false.
  bool DecodeCurrentFrame();
  // Frames concealed since construction.
  uint64_t DamagedFrames() const { return damagedFrames_; }
  // True once kLostStretchMs of frames in a row could not be decoded: the stream is given up.
  bool StreamLost() const { return damagedRunMs_ >= kLostStretchMs; }
  static constexpr double kLostStretchMs = 2000.0;
  // The message of the error that ends a lost stream.
  static constexpr const char* kLostStreamMessage = "No audio could be decoded for 2 seconds; the file is damaged.";
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

  // Decode a whole file (or byte source) at full rate into `sink`; damaged frames come out as
  // silence and are counted in `damagedFrames`. False, with a message, when it cannot be opened,
  // holds no MPEG audio, or is lost (the PCM decoded up to that point has been delivered).
  static bool DecodeFile(const std::string& path, PcmSink& sink, std::string* error = nullptr,
                         uint64_t* damagedFrames = nullptr);
  static bool DecodeSource(std::unique_ptr<ByteSource> source, PcmSink& sink, std::string* error = nullptr,
                           uint64_t* damagedFrames = nullptr);

 private:
  static bool Run(PlaybackContext& ctx, std::unique_ptr<ByteSource> source, PcmSink& sink, std::string* error,
                  uint64_t* damagedFrames);

  PlaybackContext& ctx_;
  PcmSink* sink_ = nullptr;
  FrameHeader header_;
  InputStream stream_;
  Layer12Tables tables_;
  Synthesis synth_;
  Layer12Decoder layer12_;
  Layer3Decoder layer3_;
  uint64_t damagedFrames_ = 0;
  double damagedRunMs_ = 0.0;
};

}  // namespace tovira
