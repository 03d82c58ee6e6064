#pragma once
// What a file holds, read from its first frame and any information frame in it (Xing, Info,
// VBRI): for the info command, the tag reader, the playlist and the engine, which all report
// the same duration from it.

#include <cstdint>
#include <memory>
#include <string>

#include "decoder/ByteSource.h"
#include "decoder/FrameHeader.h"
#include "decoder/Xing.h"

namespace tovira {

class InputStream;

struct StreamSummary {
  FrameHeader header;
  uint64_t fileSize = 0;
  uint64_t firstFrameOffset = 0;  // the audio starts here, after any ID3v2 tag or junk
  uint64_t audioEnd = 0;          // and ends here, before the tags at the end of the file
  uint64_t estimatedFrames = 0;   // from the audio's bytes and the first frame's length
  bool hasXing = false;           // a Xing or Info header
  XingHeaderData xing;
  bool hasVbri = false;
  VbriHeaderData vbri;

  uint64_t AudioBytes() const { return audioEnd > firstFrameOffset ? audioEnd - firstFrameOffset : 0; }
  // Frames from the information frame when it has a count, else the estimate.
  uint64_t Frames() const;
  // The frames' playing time; less the encoder's delay and padding when the information frame
  // states them, which leaves the length of the sound that was encoded.
  double DurationMs() const;
};

enum class ProbeStatus { Ok, CannotOpen, NoAudio };

// `error`, when given, receives why a file could not be opened (without the file's name).
ProbeStatus ProbeStream(const std::string& path, StreamSummary& out, std::string* error = nullptr);
ProbeStatus ProbeStream(std::unique_ptr<ByteSource> source, StreamSummary& out, std::string* error = nullptr);
// The summary of an open stream that has just read its first frame into `firstHeader`.
StreamSummary SummariseStream(const InputStream& stream, const FrameHeader& firstHeader);

const char* VersionName(const FrameHeader& h);  // "1", "2" or "2.5"
const char* LayerName(const FrameHeader& h);    // "I", "II" or "III"
const char* ModeName(const FrameHeader& h);     // "stereo", "joint stereo", ...
// mm:ss.cc, minutes growing past 99 as needed.
std::string FormatDuration(double ms);

}  // namespace tovira
