#pragma once
// What a file holds, read from its first frame and any Xing header: for the info command,
// the tag reader and the playlist.

#include <cstdint>
#include <memory>
#include <string>

#include "decoder/ByteSource.h"
#include "decoder/FrameHeader.h"
#include "decoder/Xing.h"

namespace tovira {

struct StreamSummary {
  FrameHeader header;
  uint64_t fileSize = 0;
  uint64_t firstFrameOffset = 0;
  uint64_t estimatedFrames = 0;  // from the file size and the first frame's length
  bool hasXing = false;
  XingHeaderData xing;
  // Frames from the Xing header when it has them, else the estimate.
  uint64_t Frames() const;
  double DurationMs() const;
};

enum class ProbeStatus { Ok, CannotOpen, NoAudio };

ProbeStatus ProbeStream(const std::string& path, StreamSummary& out);
ProbeStatus ProbeStream(std::unique_ptr<ByteSource> source, StreamSummary& out);

const char* VersionName(const FrameHeader& h);  // "1", "2" or "2.5"
const char* LayerName(const FrameHeader& h);    // "I", "II" or "III"
const char* ModeName(const FrameHeader& h);     // "stereo", "joint stereo", ...
// mm:ss.cc, minutes growing past 99 as needed.
std::string FormatDuration(double ms);

}  // namespace tovira
