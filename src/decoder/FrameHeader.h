#pragma once
// The fields of the current MPEG audio frame header and the figures derived from them.

#include <cstdint>
#include <span>

namespace tovira {

// Frame bodies larger than this are rejected: they would not fit a frame buffer.
inline constexpr int kMaxBodyLength = 1792;

struct FrameHeader {
  int32_t layer2Table = 0;  // Layer II allocation table number 0..4
  int32_t channels = 0;
  int32_t jointBound = 0;
  int32_t monoMix = -1;  // -1 = decode both channels
  int32_t subbandLimit = 0;
  int32_t lsf = 0;       // 1 for MPEG-2 and MPEG-2.5
  int32_t mpeg25 = 0;    // 1 for MPEG-2.5
  int32_t Decimation = 0;
  int32_t FormatChanged = 0;
  int32_t layer = 0;
  int32_t dispatchLayer = 0;
  int32_t protection = 0;  // 1 when a CRC word follows the header
  int32_t bitrateIndex = 0;
  int32_t sampleRateIndex = 0;  // 0..8: MPEG-1, MPEG-2, MPEG-2.5 rates in threes
  int32_t padding = 0;
  int32_t privateBit = 0;
  int32_t mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  int32_t modeExtension = 0;
  int32_t copyright = 0;
  int32_t original = 0;
  int32_t emphasis = 0;

  // A free-format stream's frame length in bytes without the padding slot, found from the
  // distance between its frames (FindFreeFormatLength); 0 while unknown.
  int32_t freeLength = 0;

  int32_t bodyLength = 0;      // bytes after the 4 header bytes, CRC and padding included
  int32_t sideInfoLength = 0;  // Layer III side information in bytes, CRC word included
  uint32_t previousHeader = 0;

  // Fills the record from an accepted header. With the layer lock on, layer and sampling rate
  // are taken only from the first header after open or rewind (previousHeader == 0).
  bool DecodeHeader(uint32_t h, bool layerLock = true);
  void SelectLayer2Table();

  uint32_t GetBitrate() const;  // bits per second; for free format, implied by freeLength
  bool IsFreeFormat() const { return bitrateIndex == 0; }
  int32_t GetFrequency() const;  // Hz
  bool IsStereo() const { return mode != 3; }
  int32_t SamplesPerFrame() const;
  // Estimated from the file size and the current frame's length.
  uint64_t GetFrameCount(uint64_t fileSize) const;
  double GetMsPerFrame() const;
  double GetDuration(uint64_t fileSize) const;
  int64_t GetPositionMs(uint64_t frameCounter) const;
};

// Table lookups shared by the header code and the tools.
int32_t SampleRateForIndex(int32_t sampleRateIndex);           // 0 for an index out of range
int32_t BitrateKbps(int32_t lsf, int32_t layer, int32_t index);  // 0 for index 0 or 15
// The whole frame length in bytes for a header that passes IsValidHeader, or 0 when it cannot be
// known (free format) or would not fit a frame buffer. Does not touch any record.
int32_t FrameLengthOf(uint32_t h);
// The same, with a free-format header's length taken from its stream's `freeLength`.
int32_t FrameLengthOf(uint32_t h, int32_t freeLength);

// Free format (bit-rate index 0): the frames do not state their length, so it is found from the
// distance between consecutive headers that share the stream's fixed fields. That many distances
// in a row must agree (each may add the padding slot).
inline constexpr int kFreeFormatAgreeing = 3;
// Bytes from a free-format header that FindFreeFormatLength looks at, at most; 0 for any other.
int32_t FreeFormatWindow(uint32_t h);
// The frame length without padding of the free-format stream whose header starts `bytes`, or 0
// when no length within the bit rates allowed for its layer and version is confirmed by
// kFreeFormatAgreeing frames. `atEnd`: the audio ends where `bytes` do, so a short stream whose
// frames run up to that end counts as confirmed.
int32_t FindFreeFormatLength(std::span<const uint8_t> bytes, bool atEnd);
// The bit rate (bits per second, whole kbit/s) that a free-format frame length stands for: the
// lowest one whose frames have that length.
uint32_t FreeFormatBitrate(uint32_t h, int32_t freeLength);

}  // namespace tovira
