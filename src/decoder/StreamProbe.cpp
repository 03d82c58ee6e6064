#include "decoder/StreamProbe.h"

#include <cstdio>

#include "decoder/DecoderError.h"
#include "decoder/InputStream.h"
#include "decoder/PlaybackContext.h"

namespace tovira {

uint64_t StreamSummary::Frames() const {
  if (hasXing && (xing.flags & kXingFrames) && xing.frameCount > 0) return static_cast<uint64_t>(xing.frameCount);
  return estimatedFrames;
}

double StreamSummary::DurationMs() const { return static_cast<double>(Frames()) * header.GetMsPerFrame(); }

ProbeStatus ProbeStream(std::unique_ptr<ByteSource> source, StreamSummary& out) {
  PlaybackContext ctx;
  FrameHeader header;
  InputStream stream(ctx, header);
  stream.SetSource(std::move(source));
  try {
    stream.OpenStream();
  } catch (const DecoderError&) {
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
  out = StreamSummary{};
  out.header = header;
  out.fileSize = stream.FileSize();
  out.firstFrameOffset = stream.FirstFrameOffset();
  out.estimatedFrames = header.GetFrameCount(stream.FileSize());
  out.hasXing = ReadXingHeader(out.xing, stream.HeadBuffer(), header.GetFrequency()) == 1;
  return ProbeStatus::Ok;
}

ProbeStatus ProbeStream(const std::string& path, StreamSummary& out) {
  return ProbeStream(std::make_unique<FileSource>(path), out);
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
