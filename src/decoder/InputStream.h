#pragma once
// Reads an MPEG audio stream frame by frame into two alternating frame buffers and offers the
// bit reader every layer decoder uses, including the Layer III reservoir step-back.
//
// Every read is bounded: the frame buffers carry a zeroed guard, bit reads beyond the readable
// area return zeros while the position keeps counting, and the step-back never copies from
// outside the buffer of the previous frame.

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "decoder/ByteSource.h"
#include "decoder/FrameHeader.h"
#include "decoder/PlaybackContext.h"

namespace tovira {

class InputStream {
 public:
  static constexpr int kReservoirBytes = 512;
  static constexpr int kReadableBytes = kReservoirBytes + kMaxBodyLength;  // 2304
  static constexpr int kGuardBytes = 8;
  static constexpr int kHeadBytes = 8192;
  static constexpr int kTagBytes = 128;
  static constexpr int kMaxScan = 131072;

  InputStream(PlaybackContext& context, FrameHeader& header);
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;

  // Reads from this source instead of opening context.inputFile (input mode 1).
  void SetSource(std::unique_ptr<ByteSource> source);

  // Throws DecoderError when the file cannot be opened or its last 128 bytes cannot be read.
  bool OpenStream();
  // 1 = frame read and header decoded, 0 = no frame found or header rejected, -2 = end of file.
  int ReadFrame();
  static bool IsValidHeader(uint32_t h);
  bool SkipId3v2();
  bool SeekToTime(uint32_t ms);
  // Positions the stream at a byte offset (for table-of-contents seeks) and resynchronises.
  bool SeekToByte(uint64_t offset, uint32_t frameCounter);
  void RewindStream();
  bool CloseStream();
  // The ID3v1 block with its texts zero-terminated in place, or nullptr when there is none.
  const uint8_t* GetTagBlock();

  bool IsOpen() const { return open_; }
  uint64_t FileSize() const { return fileSize_; }
  uint64_t FirstFrameOffset() const { return firstFrameOffset_; }
  std::span<const uint8_t> HeadBuffer() const { return {head_.data(), headLength_}; }

  // Bit reader over the current frame buffer.
  uint32_t GetBits(unsigned n) {
    if (n == 0) return 0;
    const uint32_t w = Window24() << (bitPos_ & 7);
    bitPos_ += n;
    return (w & 0xFFFFFFu) >> (24 - n);
  }
  uint32_t GetBitsFast(unsigned n) { return GetBits(n); }
  uint32_t GetOneBit() {
    const uint32_t byte = bitPos_ >> 3;
    const uint32_t bit = byte < kReadableBytes ? (buffer_[byte] >> (7 - (bitPos_ & 7))) & 1u : 0u;
    ++bitPos_;
    return bit;
  }
  // Moves the reader to main_data_begin bytes before the current frame's main data, copying
  // those bytes from the end of the previous frame. Bytes that precede the first frame after
  // open, rewind or seek read as zeros.
  void StepBack(unsigned backstep);

  // For decoders with their own bounded readers: the current buffer, the readable length and
  // the bit position from its start.
  const uint8_t* BufferBase() const { return buffer_; }
  uint32_t BitPosition() const { return bitPos_; }
  void SetBitPosition(uint32_t bits) { bitPos_ = bits; }
  static constexpr uint32_t kBodyOffsetBits = kReservoirBytes * 8;
  // Contiguous valid main-data bytes that end at the current body's end (Layer III).
  int32_t MainDataAvailable() const { return mainValid_; }

 private:
  struct FrameBuffer {
    std::array<uint8_t, kReadableBytes + kGuardBytes> bytes{};
  };

  uint32_t Window24() const {
    const uint32_t byte = bitPos_ >> 3;
    if (byte >= kReadableBytes) return 0;
    const uint8_t* p = buffer_ + byte;  // the guard keeps p[1] and p[2] inside the buffer
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
  bool ReadCandidate();  // 4 bytes at the read position into candidate_
  int ScanForHeader();   // 1 found, 0 not within kMaxScan, -2 end of file
  bool ConfirmedByNextFrame(uint32_t h);
  void ResetFrameState();
  bool Resynchronise(uint64_t offset, uint32_t frameCounter);

  PlaybackContext& ctx_;
  FrameHeader& header_;
  std::unique_ptr<ByteSource> source_;
  bool sourceFromClient_ = false;
  bool open_ = false;
  uint64_t fileSize_ = 0;

  std::array<uint8_t, kTagBytes> tag_{};
  bool tagPresent_ = false;
  std::array<uint8_t, kHeadBytes> head_{};
  size_t headLength_ = 0;

  uint32_t candidate_ = 0;
  std::array<FrameBuffer, 2> buffers_{};
  int toggle_ = 0;
  uint8_t* buffer_ = nullptr;      // buffer holding the current frame
  uint8_t* prevBuffer_ = nullptr;  // buffer holding the frame before
  int32_t bodyLength_ = 0;
  int32_t prevBodyLength_ = 0;
  int32_t mainValid_ = 0;
  int32_t prevMainValid_ = 0;
  bool freshStart_ = true;  // the next frame is the first after open, rewind or seek
  bool firstFrameSeen_ = false;
  uint64_t firstFrameOffset_ = 0;  // where audio starts, after any ID3v2 tag or junk
  uint32_t bitPos_ = 0;
};

}  // namespace tovira
