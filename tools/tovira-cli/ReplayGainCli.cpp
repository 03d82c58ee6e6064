#include "ReplayGainCli.h"

#include <cmath>
#include <memory>

#include "decoder/DecoderError.h"
#include "decoder/MpegDecoder.h"
#include "tags/TagInfo.h"

namespace tovira::cli {

int TakeReplayGainOption(const Args& args, size_t& i, ReplayGainMode& mode) {
  const std::string& a = args[i];
  std::string value;
  if (a == "--replaygain") {
    if (i + 1 >= args.size()) return -1;
    value = args[++i];
  } else if (a.rfind("--replaygain=", 0) == 0) {
    value = a.substr(13);
  } else {
    return 0;
  }
  const auto m = ParseReplayGainMode(value);
  if (!m) return -1;
  mode = *m;
  return 1;
}

double ReplayGainRun::FactorFor(const std::string& path, size_t index) {
  if (config_.mode == ReplayGainMode::Off) return 1.0;
  if (previousIndex_ == index) return previousFactor_;
  TagInfo tags;
  const bool read = tags.ReadFile(path);
  const AlbumKey album{tags.Album(), tags.AlbumArtist()};
  const bool continues = previousIndex_ && *previousIndex_ + 1 == index && ContinuesAlbum(true, previousAlbum_, album);
  previousIndex_ = index;
  previousAlbum_ = album;
  previousFactor_ = ComputeReplayGain(config_, read ? tags.ReplayGain() : ReplayGainInfo{}, continues).factor;
  return previousFactor_;
}

bool DecodeFileWithGain(const std::string& path, PcmSink& sink, double gain, std::string* error,
                        uint64_t* damagedFrames) {
  if (gain == 1.0) return MpegDecoder::DecodeFile(path, sink, error, damagedFrames);
  PlaybackContext ctx;
  ctx.inputFile = path;
  // The window is scaled by the output scale, so the gain rides on the synthesis' float sums.
  const double scale = std::round(static_cast<double>(ctx.outputScale) * gain);
  ctx.outputScale = static_cast<int32_t>(std::fmin(std::fmax(scale, 1.0), 1.0e8));
  auto decoder = std::make_unique<MpegDecoder>(ctx);  // large: kept off the stack
  auto finish = [&](bool ok, const std::string& message) {
    if (!ok && error) *error = message;
    if (damagedFrames) *damagedFrames = decoder->DamagedFrames();
    return ok;
  };
  InputStream& in = decoder->Stream();
  bool prepared = false;
  try {
    in.OpenStream();
    int r = 0;
    while ((r = in.ReadFrame()) != -2) {
      if (r != 1) continue;
      if (!prepared) {
        decoder->Prepare(0);
        decoder->SetSink(&sink);
        prepared = true;
      }
      if (!decoder->DecodeCurrentFrame() && decoder->StreamLost()) {
        decoder->FlushPcm();
        return finish(false, MpegDecoder::kLostStreamMessage);
      }
    }
  } catch (const DecoderError& e) {
    if (prepared) decoder->FlushPcm();
    return finish(false, e.what());
  }
  if (!prepared) return finish(false, "no MPEG audio found");
  decoder->FlushPcm();
  return finish(true, {});
}

}  // namespace tovira::cli
