#include "decoder/MpegDecoder.h"

#include "decoder/DecoderError.h"

namespace tovira {

MpegDecoder::MpegDecoder(PlaybackContext& ctx) : ctx_(ctx), stream_(ctx, header_), layer12_(tables_) {}

bool MpegDecoder::Prepare(int32_t decimation) {
  header_.Decimation = decimation > 0 ? 1 : 0;
  synth_.Init(ctx_.outputScale, header_.Decimation, ctx_.outputBufferSize);
  ResetHistories();
  return true;
}

void MpegDecoder::ResetHistories() {
  synth_.Reset();
  layer3_.Reset();
  damagedRunMs_ = 0.0;  // a stretch of damage is counted from where decoding resumed
}

bool MpegDecoder::DecodeCurrentFrame() {
  if (header_.protection) stream_.GetBits(16);  // CRC word, not checked
  bool ok = true;
  switch (header_.layer) {
    case 1: ok = layer12_.DecodeFrameLayer1(stream_, header_, synth_); break;
    case 2: ok = layer12_.DecodeFrameLayer2(stream_, header_, synth_); break;
    case 3: ok = layer3_.DecodeFrame(stream_, header_, synth_); break;
    default: break;  // no such layer: the frame is skipped
  }
  if (ok) {
    damagedRunMs_ = 0.0;
  } else {
    ++damagedFrames_;
    damagedRunMs_ += header_.GetMsPerFrame();
  }
  return ok;
}

bool MpegDecoder::SeekToTime(uint32_t ms, const std::function<bool()>& stop) {
  uint32_t lead = 0;
  if (!stream_.SeekToTime(ms, &lead, stop)) return false;
  ResetHistories();
  // What the lead frames produce goes nowhere.
  class Discard final : public PcmSink {
   public:
    void WriteBlock(const int16_t*, size_t) override {}
  } discard;
  synth_.SetSink(&discard);
  // The lead frames reach back into a reservoir the seek left behind: their damage is not the file's.
  const uint64_t damaged = damagedFrames_;
  for (uint32_t i = 0; i < lead; ++i) {
    int r = 0;
    try {
      for (int tries = 0; tries < 8 && (r = stream_.ReadFrame()) == 0; ++tries) {
      }
      if (r != 1) break;
      ctx_.frameCounter.fetch_add(1, std::memory_order_relaxed);
      DecodeCurrentFrame();
    } catch (const DecoderError&) {
      // A damaged lead frame only costs exactness; the wanted frame is still where it was found.
      if (r != 1) break;
    }
  }
  synth_.FlushPcm();
  synth_.SetSink(sink_);
  damagedFrames_ = damaged;
  damagedRunMs_ = 0.0;
  return true;
}

bool MpegDecoder::Run(PlaybackContext& ctx, std::unique_ptr<ByteSource> source, PcmSink& sink, std::string* error,
                      uint64_t* damagedFrames) {
  auto decoder = std::make_unique<MpegDecoder>(ctx);  // large: kept off the stack
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    if (damagedFrames) *damagedFrames = decoder->DamagedFrames();
    return false;
  };
  InputStream& in = decoder->Stream();
  if (source) in.SetSource(std::move(source));
  try {
    in.OpenStream();
  } catch (const DecoderError& e) {
    return fail(e.what());
  }
  int r = 0;
  bool prepared = false;
  try {
    while ((r = in.ReadFrame()) != -2) {
      if (r != 1) continue;  // nothing usable here: the reader has moved on, try again
      if (!prepared) {
        decoder->Prepare(0);
        decoder->SetSink(&sink);
        prepared = true;
      }
      ctx.frameCounter.fetch_add(1, std::memory_order_relaxed);
      if (!decoder->DecodeCurrentFrame() && decoder->StreamLost()) {
        decoder->FlushPcm();
        return fail(kLostStreamMessage);
      }
    }
  } catch (const DecoderError& e) {
    if (prepared) decoder->FlushPcm();
    return fail(e.what());
  }
  if (!prepared) return fail("no MPEG audio found");
  decoder->FlushPcm();
  if (damagedFrames) *damagedFrames = decoder->DamagedFrames();
  return true;
}

bool MpegDecoder::DecodeFile(const std::string& path, PcmSink& sink, std::string* error, uint64_t* damagedFrames) {
  PlaybackContext ctx;
  ctx.inputFile = path;
  return Run(ctx, nullptr, sink, error, damagedFrames);
}

bool MpegDecoder::DecodeSource(std::unique_ptr<ByteSource> source, PcmSink& sink, std::string* error,
                               uint64_t* damagedFrames) {
  PlaybackContext ctx;
  ctx.inputMode = 1;
  ctx.inputFile = "(memory)";
  if (!source) {
    if (error) *error = "no input";
    return false;
  }
  return Run(ctx, std::move(source), sink, error, damagedFrames);
}

}  // namespace tovira
