#pragma once
// Reads an MPEG audio stream frame by frame into two alternating frame buffers and offers the
// bit reader every layer decoder uses, including the Layer III reservoir step-back.
//
// Every read is bounded: the frame buffers carry a zeroed guard, bit reads beyond the readable
// area return zeros while the position keeps counting, and the step-back never copies from
// outside the buffer of the previous frame.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "decoder/ByteSource.h"
#include "decoder/FrameHeader.h"
#include "decoder/FrameIndex.h"
#include "decoder/PlaybackContext.h"

namespace tovira {

class InputStream {
 public:
  static constexpr int kReservoirBytes = 512;
  static constexpr int kReadableBytes = kReservoirBytes + kMaxBodyLength;  // 2304
  static constexpr int kGuardBytes = 8;
  static constexpr int kTagBytes = 128;
  static constexpr int kMaxScan = 131072;
  // Enough frames to refill the largest bit reservoir at the lowest bit rate.
  static constexpr uint32_t kMaxLeadFrames = 16;
  // Searches for a free-format frame length that may fail before the first frame: each reads a
  // few kilobytes, so junk full of such headers costs a bounded amount.
  static constexpr int kMaxFreeFormatSearches = 64;

  InputStream(PlaybackContext& context, FrameHeader& header);
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;

  // Reads from this source instead of opening context.inputFile (input mode 1).
  void SetSource(std::unique_ptr<ByteSource> source);

  // Throws DecoderError when the file cannot be opened or its last 128 bytes cannot be read;
  // OpenFailure() then says why, for the user, without the file's name.
  bool OpenStream();
  const std::string& OpenFailure() const { return openFailure_; }
  // Where reading ends, the file is looked at once more: one that was cut short, removed or
  // replaced while it was read, or whose rest (two seconds' worth of bytes or more) holds no
  // frame, throws DecoderError with one of these sentences.
  static constexpr const char* kCutShortMessage = "The file was cut short while it played.";
  static constexpr const char* kReplacedMessage = "The file was removed or replaced while it played.";

  // 1 = frame read and header decoded, 0 = no frame found or header rejected, -2 = end of file.
  int ReadFrame();
  static bool IsValidHeader(uint32_t h);
  bool SkipId3v2();
  // Positions the stream at the start of the frame that holds `ms` (frames counted from the
  // first one after any leading tag), found through the frame index; the next ReadFrame reads
  // that frame and frameCounter is its number. With `leadFrames`, the stream stands that many
  // frames earlier instead (frameCounter with it): the frames a decoder must run through, unheard,
  // so that the wanted frame sounds exactly as in an uninterrupted decode (synthesis history,
  // Layer III overlap and bit reservoir). False, with nothing changed, past the end of the audio
  // or when `stop` says so during a long index walk. A stream that cannot be indexed is
  // positioned by its average frame length instead.
  bool SeekToTime(uint32_t ms, uint32_t* leadFrames = nullptr, const std::function<bool()>& stop = {});
  void RewindStream();
  bool CloseStream();
  // The ID3v1 block with its texts zero-terminated in place, or nullptr when there is none.
  const uint8_t* GetTagBlock();

  bool IsOpen() const { return open_; }
  uint64_t FileSize() const { return fileSize_; }
  uint64_t FirstFrameOffset() const { return firstFrameOffset_; }
  // Just past the last byte of audio: the tags at the end of the file are not read as frames.
  uint64_t AudioEnd() const { return audioEnd_; }
  // The whole first frame read since open (header included), where an information frame
  // (Xing, Info, VBRI) carries the stream's frame count.
  std::span<const uint8_t> FirstFrame() const { return {firstFrame_.data(), firstFrameLength_}; }
  const FrameIndex& Index() const { return index_; }
  // Walks the frame index `frames` further, so that later seeks find it ready; the read position
  // is kept. Cheap enough to call once per decoded frame.
  void ExtendIndex(uint32_t frames);

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
  int NextFrame();       // ReadFrame without the look at the file where reading ends
  void CheckAtEnd();
  bool ReadCandidate();  // 4 bytes at the read position into candidate_
  int ScanForHeader();   // 1 found, 0 not within kMaxScan, -2 end of file
  bool ConfirmedByNextFrame(uint32_t h);
  // The length without padding of free-format frames like `h`, which start 4 bytes before the
  // read position: the stream's, or before the first frame, searched for there. 0 when unknown.
  int32_t FreeLength(uint32_t h);
  void ResetFrameState();
  bool Resynchronise(uint64_t offset, uint32_t frameCounter);
  bool Reposition(uint64_t offset, uint64_t frameCounter);
  bool SeekByAverage(uint32_t ms);
  uint32_t LeadFor(uint64_t frame, const std::vector<uint64_t>& offsets) const;

  PlaybackContext& ctx_;
  FrameHeader& header_;
  std::unique_ptr<ByteSource> source_;
  bool sourceFromClient_ = false;
  std::string openFailure_;
  bool open_ = false;
  uint64_t fileSize_ = 0;

  std::array<uint8_t, kTagBytes> tag_{};
  bool tagPresent_ = false;
  uint64_t audioEnd_ = 0;
  std::array<uint8_t, 4 + kMaxBodyLength> firstFrame_{};
  size_t firstFrameLength_ = 0;
  FrameIndex index_;

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
  uint64_t lastFrameEnd_ = 0;  // just past the body of the frame read last
  int32_t lastFrameLength_ = 0;
  uint32_t freeBits_ = 0;  // the stream fields of the headers header_.freeLength was found for
  int freeSearchesLeft_ = kMaxFreeFormatSearches;
};

}  // namespace tovira
