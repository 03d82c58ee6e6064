#pragma once
// The information frame that variable-bit-rate files carry: frame and byte counts and a table
// of contents that maps a playing position in percent to a byte position.

#include <cstdint>
#include <span>

namespace tovira {

struct XingHeaderData {
  bool info = false;  // tagged "Info": the encoder's mark of a constant-bit-rate stream
  int32_t mpegId = 0;
  int32_t sampleRate = 0;
  int32_t flags = 0;
  int32_t frameCount = 0;
  int32_t byteCount = 0;
  int32_t vbrScale = -1;
  uint8_t toc[100] = {};
  // From the encoder's extension after the fields above, when there is one: samples of encoder
  // delay at the start and of padding at the end of the decoded stream; -1 when absent.
  int32_t encoderDelay = -1;
  int32_t encoderPadding = -1;
  // From the same extension: the peak amplitude of the encoded sound (1.0 = full scale; 0 when
  // not stated) and the two replay gain fields, each as stored: the name code (1 radio, 2
  // audiophile, 0 not set), who set it, and the adjustment in tenths of a dB.
  struct GainField {
    uint8_t name = 0;
    uint8_t originator = 0;
    int16_t tenthsDb = 0;
  };
  float peak = 0.0f;
  GainField radioGain;
  GainField audiophileGain;
};

// The information frame of another encoder: "VBRI" 32 bytes after the first frame's header.
struct VbriHeaderData {
  int32_t version = 0;
  int32_t delay = 0;
  uint32_t byteCount = 0;
  uint32_t frameCount = 0;
};

enum XingFlags : int32_t { kXingFrames = 1, kXingBytes = 2, kXingToc = 4, kXingScale = 8 };

uint32_t ReadBigEndian32(const uint8_t* p);
// Looks for the tag "Xing" or "Info" anywhere in `frame` (the stream's first frame). 1 when found
// and read.
int ReadXingHeader(XingHeaderData& out, std::span<const uint8_t> frame, int32_t sampleRate);
// 1 when `frame` (the first frame, header included) carries a VBRI header, read into `out`.
int ReadVbriHeader(VbriHeaderData& out, std::span<const uint8_t> frame);
int XingSeekPoint(const uint8_t toc[100], int byteCount, float percent);
// The 16 bits of a replay gain field: name code (3 bits), originator (3), sign, 9-bit magnitude.
XingHeaderData::GainField DecodeXingGainField(uint16_t bits);
// The peak's 32 bits. Described as a big-endian float, but the common encoder stores a fixed-point
// number with 1.0 at 2^23; the two never overlap in plausible values, so either is accepted.
float DecodeXingPeak(uint32_t bits);

}  // namespace tovira
