#include "decoder/FrameIndex.h"

#include <algorithm>
#include <cstring>

#include "decoder/FrameHeader.h"
#include "decoder/InputStream.h"

namespace tovira {

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr uint32_t kStopPollFrames = 1024;
// A stretch of this much junk without a frame is taken as the end of the audio: a seek never
// reads through gigabytes of nothing.
constexpr uint64_t kMaxJunk = 1 << 20;

// Reads the stream in large chunks and finds frames the way the frame reader does: a valid
// header of the stream is a frame; an ID3v2 tag is stepped over; anything else is scanned
// byte by byte for a header that the next frame's header confirms.
class Walker {
 public:
  Walker(ByteSource& s, uint64_t end, uint32_t streamBits, int32_t freeLength, FrameIndex::Chunk& chunk)
      : s_(s), end_(end), bits_(streamBits), freeLength_(freeLength), buf_(chunk.bytes), bufStart_(chunk.start) {}

  // The first frame at or after `at`: its start and length. False when the audio ends first,
  // or on a read failure (failed_ then tells which).
  bool FrameFrom(uint64_t at, uint64_t& start, uint32_t& length) {
    uint32_t h = 0;
    if (!Header(at, h)) return false;
    if (const int32_t len = Length(h); len > 0) {
      start = at;
      length = static_cast<uint32_t>(len);
      return true;
    }
    if ((h & 0xFFFFFF00u) == 0x49443300u) {
      uint64_t tag = 0;
      if (!TagSize(at, tag)) return false;
      return FrameFrom(at + tag, start, length);  // tags never nest, so this recursion is shallow
    }
    const uint64_t limit = std::min(end_, at + kMaxJunk);
    for (uint64_t p = at + 1; p + 4 <= limit; ++p) {
      // Only a 0xFF byte can start a header: skip to the next one in the buffered chunk.
      const uint8_t* q = nullptr;
      if (!Bytes(p, 4, q)) return false;
      const size_t inBuffer = static_cast<size_t>(bufStart_ + buf_.size() - p);
      const void* ff = std::memchr(q, 0xFF, inBuffer - 3);
      if (ff == nullptr) {
        p += inBuffer - 4;  // the last three bytes are looked at again with the next chunk
        continue;
      }
      p += static_cast<uint64_t>(static_cast<const uint8_t*>(ff) - q);
      if (!Header(p, h)) return false;
      const int32_t len = Length(h);
      if (len <= 0) continue;
      uint32_t next = 0;
      const uint64_t after = p + static_cast<uint64_t>(len);
      if (after + 4 > end_ || (Header(after, next) && Length(next) > 0)) {
        start = p;
        length = static_cast<uint32_t>(len);
        return true;
      }
      if (failed_) return false;
    }
    return false;
  }
  bool Failed() const { return failed_; }

 private:
  int32_t Length(uint32_t h) const {
    if (!InputStream::IsValidHeader(h) || (h & kStreamBitsMask) != bits_) return 0;
    return FrameLengthOf(h, freeLength_);
  }

  bool Bytes(uint64_t at, size_t n, const uint8_t*& p) {
    if (at + n > end_) return false;
    if (at < bufStart_ || at + n > bufStart_ + buf_.size()) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, end_ - at));
      buf_.resize(want);
      if (!s_.Seek(static_cast<int64_t>(at), SeekOrigin::Start)) return failed_ = true, false;
      const int64_t got = s_.Read(buf_.data(), want);
      if (got < 0) return failed_ = true, false;
      buf_.resize(static_cast<size_t>(got));
      bufStart_ = at;
      if (buf_.size() < n) return false;  // the file shrank under us
    }
    p = buf_.data() + (at - bufStart_);
    return true;
  }

  bool Header(uint64_t at, uint32_t& h) {
    const uint8_t* p = nullptr;
    if (!Bytes(at, 4, p)) return false;
    h = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    return true;
  }

  bool TagSize(uint64_t at, uint64_t& size) {
    const uint8_t* p = nullptr;
    if (!Bytes(at, 10, p)) return false;
    size = 10 + ((uint64_t{p[6] & 0x7Fu} << 21) | (uint64_t{p[7] & 0x7Fu} << 14) | (uint64_t{p[8] & 0x7Fu} << 7) |
                 (p[9] & 0x7Fu));
    if (p[5] & 0x10) size += 10;  // a footer follows the tag
    return true;
  }

  ByteSource& s_;
  uint64_t end_;
  uint32_t bits_;
  int32_t freeLength_;
  std::vector<uint8_t>& buf_;
  uint64_t& bufStart_;
  bool failed_ = false;
};

}  // namespace

void FrameIndex::Reset(uint64_t begin, uint64_t end, uint32_t first, int32_t freeLength) {
  begin_ = begin;
  end_ = end;
  streamBits_ = first & kStreamBitsMask;
  freeLength_ = freeLength;
  usable_ = InputStream::IsValidHeader(first) && FrameLengthOf(first, freeLength) > 0 && begin < end;
  checkpoints_.clear();
  checkpoints_.shrink_to_fit();
  chunk_ = Chunk{};
  counted_ = 0;
  next_ = begin;
  complete_ = !usable_;
}

bool FrameIndex::Cover(ByteSource& source, uint64_t frame, const std::function<bool()>& stop) {
  if (!usable_) return false;
  if (frame < counted_) return true;
  const uint64_t here = source.Tell();
  Walker walker(source, end_, streamBits_, freeLength_, chunk_);
  uint32_t sincePoll = 0;
  while (!complete_ && counted_ <= frame) {
    if (++sincePoll == kStopPollFrames) {
      sincePoll = 0;
      if (stop && stop()) break;
    }
    uint64_t start = 0;
    uint32_t length = 0;
    if (!walker.FrameFrom(next_, start, length)) {
      // A read failure may pass; the end of the audio does not.
      if (!walker.Failed()) {
        complete_ = true;
        checkpoints_.shrink_to_fit();
        chunk_ = Chunk{};
      }
      break;
    }
    if (counted_ % kStride == 0) checkpoints_.push_back(start);
    ++counted_;
    next_ = start + length;
  }
  source.Seek(static_cast<int64_t>(here), SeekOrigin::Start);
  return frame < counted_;
}

bool FrameIndex::Offsets(ByteSource& source, uint64_t first, uint64_t last, std::vector<uint64_t>& out) const {
  out.clear();
  if (!usable_ || first > last || last >= counted_) return false;
  const uint64_t here = source.Tell();
  Chunk chunk;
  Walker walker(source, end_, streamBits_, freeLength_, chunk);
  uint64_t frame = first / kStride * kStride;
  uint64_t at = checkpoints_[frame / kStride];
  bool ok = true;
  for (; frame <= last; ++frame) {
    uint64_t start = 0;
    uint32_t length = 0;
    if (!walker.FrameFrom(at, start, length)) {
      ok = false;
      break;
    }
    if (frame >= first) out.push_back(start);
    at = start + length;
  }
  source.Seek(static_cast<int64_t>(here), SeekOrigin::Start);
  return ok;
}

}  // namespace tovira
