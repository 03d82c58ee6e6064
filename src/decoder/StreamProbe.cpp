#include "decoder/StreamProbe.h"

#include <cstdio>

#include "decoder/DecoderError.h"
#include "decoder/InputStream.h"
#include "decoder/PlaybackContext.h"

namespace tovira {

uint64_t StreamSummary::Frames() const {
  if (hasXing && (xing.flags & kXingFrames) && xing.frameCount > 0) return static_cast<uint64_t>(xing.frameCount);
  if (hasVbri && vbri.frameCount > 0) return vbri.frameCount;
  return estimatedFrames;
}

double StreamSummary::DurationMs() const {
  const uint64_t frames = Frames();
  const int32_t rate = header.GetFrequency();
  if (hasXing && (xing.flags & kXingFrames) && xing.encoderDelay >= 0 && rate > 0) {
    const uint64_t samples = frames * static_cast<uint64_t>(header.SamplesPerFrame());
    const uint64_t trimmed = static_cast<uint64_t>(xing.encoderDelay) + static_cast<uint64_t>(xing.encoderPadding);
    if (trimmed < samples) return static_cast<double>(samples - trimmed) * 1000.0 / rate;
  }
  return static_cast<double>(frames) * header.GetMsPerFrame();
}

StreamSummary SummariseStream(const InputStream& stream, const FrameHeader& firstHeader) {
  StreamSummary out;
  out.header = firstHeader;
  out.fileSize = stream.FileSize();
  out.firstFrameOffset = stream.FirstFrameOffset();
  out.audioEnd = stream.AudioEnd();
  out.estimatedFrames = firstHeader.GetFrameCount(out.AudioBytes());
  out.hasXing = ReadXingHeader(out.xing, stream.FirstFrame(), firstHeader.GetFrequency()) == 1;
  out.hasVbri = !out.hasXing && ReadVbriHeader(out.vbri, stream.FirstFrame()) == 1;
  return out;
}

ProbeStatus ProbeStream(std::unique_ptr<ByteSource> source, StreamSummary& out, std::string* error) {
  PlaybackContext ctx;
  FrameHeader header;
  InputStream stream(ctx, header);
  stream.SetSource(std::move(source));
  try {
    stream.OpenStream();
  } catch (const DecoderError&) {
    if (error) *error = stream.OpenFailure();
    return ProbeStatus::CannotOpen;
  }
  int r = 0;
  try {
    // A rejected header is skipped as the player would; a stream of them ends at the file's end.
    for (int tries = 0; tries < 64 && (r = stream.ReadFrame()) == 0; ++tries) {
    }
  } catch (const DecoderError&) {
    r = -1;
  }
  if (r != 1) return ProbeStatus::NoAudio;
  out = SummariseStream(stream, header);
  return ProbeStatus::Ok;
}

ProbeStatus ProbeStream(const std::string& path, StreamSummary& out, std::string* error) {
  return ProbeStream(std::make_unique<FileSource>(path), out, error);
}

const char* VersionName(const FrameHeader& h) { return h.mpeg25 ? "2.5" : (h.lsf ? "2" : "1"); }

const char* LayerName(const FrameHeader& h) {
  switch (h.layer) {
    case 1: return "I";
    case 2: return "II";
    case 3: return "III";
    default: return "?";
  }
}

const char* ModeName(const FrameHeader& h) {
  static constexpr const char* kNames[4] = {"stereo", "joint stereo", "dual channel", "single channel"};
  return kNames[h.mode & 3];
}

std::string FormatDuration(double ms) {
  if (!(ms > 0.0)) ms = 0.0;
  const uint64_t centis = static_cast<uint64_t>(ms / 10.0);
  char text[48];
  std::snprintf(text, sizeof text, "%02llu:%02llu.%02llu", static_cast<unsigned long long>(centis / 6000),
                static_cast<unsigned long long>(centis / 100 % 60), static_cast<unsigned long long>(centis % 100));
  return text;
}

}  // namespace tovira
