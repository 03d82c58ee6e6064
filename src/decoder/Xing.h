#pragma once
// The information frame that variable-bit-rate files carry: frame and byte counts and a table
// of contents that maps a playing position in percent to a byte position.

#include <cstdint>
#include <span>

namespace tovira {

struct XingHeaderData {
  int32_t mpegId = 0;
  int32_t sampleRate = 0;
  int32_t flags = 0;
  int32_t frameCount = 0;
  int32_t byteCount = 0;
  int32_t vbrScale = -1;
  uint8_t toc[100] = {};
};

enum XingFlags : int32_t { kXingFrames = 1, kXingBytes = 2, kXingToc = 4, kXingScale = 8 };

uint32_t ReadBigEndian32(const uint8_t* p);
// Looks for the tag anywhere in `head` (the first bytes of the file). 1 when found and read.
int ReadXingHeader(XingHeaderData& out, std::span<const uint8_t> head, int32_t sampleRate);
int XingSeekPoint(const uint8_t toc[100], int byteCount, float percent);

}  // namespace tovira
