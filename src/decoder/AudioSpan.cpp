#include "decoder/AudioSpan.h"

#include <array>
#include <cstring>

namespace tovira {

namespace {

constexpr int kMaxTags = 8;  // more trailing tags than this is not a tagged file but a trap
constexpr uint64_t kLyrics3v1Window = 5100 + 11;

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

class Tail {
 public:
  Tail(ByteSource& s, uint64_t begin) : s_(s), begin_(begin) {}
  // Reads `n` bytes that end `back` bytes before `end`; false when they would reach before begin.
  bool ReadBefore(uint64_t end, uint64_t back, void* dst, size_t n) {
    if (end < begin_ + back + n) return false;
    if (!s_.Seek(static_cast<int64_t>(end - back - n), SeekOrigin::Start)) return false;
    return s_.Read(dst, n) == static_cast<int64_t>(n);
  }
  uint64_t Begin() const { return begin_; }

 private:
  ByteSource& s_;
  uint64_t begin_;
};

// Each returns the bytes its tag takes at the end of [begin, end), or 0 when there is none.
uint64_t Id3v1Block(Tail& t, uint64_t end) {
  std::array<uint8_t, 128> tag{};
  if (!t.ReadBefore(end, 0, tag.data(), tag.size()) || std::memcmp(tag.data(), "TAG", 3) != 0) return 0;
  // The extended block of 227 bytes sits right in front of the tag, marked "TAG+".
  uint8_t ext[4];
  if (t.ReadBefore(end, 128 + 227 - 4, ext, 4) && std::memcmp(ext, "TAG+", 4) == 0) return 128 + 227;
  return 128;
}

uint64_t Ape(Tail& t, uint64_t end) {
  uint8_t footer[32];
  if (!t.ReadBefore(end, 0, footer, sizeof footer) || std::memcmp(footer, "APETAGEX", 8) != 0) return 0;
  const uint64_t size = Le32(footer + 12);  // items and footer, without the optional header
  const bool hasHeader = (Le32(footer + 20) & 0x80000000u) != 0;
  const uint64_t total = size + (hasHeader ? 32 : 0);
  if (size < 32 || end < t.Begin() + total) return 0;
  return total;
}

uint64_t Lyrics3v2(Tail& t, uint64_t end) {
  uint8_t trailer[15];
  if (!t.ReadBefore(end, 0, trailer, sizeof trailer) || std::memcmp(trailer + 6, "LYRICS200", 9) != 0) return 0;
  uint64_t size = 0;
  for (int i = 0; i < 6; ++i) {
    if (trailer[i] < '0' || trailer[i] > '9') return 0;
    size = size * 10 + (trailer[i] - '0');
  }
  uint8_t begin[11];
  if (size < 11 || !t.ReadBefore(end, 15 + size - 11, begin, 11) || std::memcmp(begin, "LYRICSBEGIN", 11) != 0) {
    return 0;
  }
  return size + 15;
}

uint64_t Lyrics3v1(Tail& t, uint64_t end) {
  uint8_t trailer[9];
  if (!t.ReadBefore(end, 0, trailer, sizeof trailer) || std::memcmp(trailer, "LYRICSEND", 9) != 0) return 0;
  const uint64_t room = end - t.Begin() - 9;
  const uint64_t window = room < kLyrics3v1Window ? room : kLyrics3v1Window;
  std::array<uint8_t, kLyrics3v1Window> text{};
  if (window < 11 || !t.ReadBefore(end, 9, text.data(), static_cast<size_t>(window))) return 0;
  // The nearest "LYRICSBEGIN" before the end marker opens the block.
  for (uint64_t i = window - 11 + 1; i-- > 0;) {
    if (std::memcmp(text.data() + i, "LYRICSBEGIN", 11) == 0) return window - i + 9;
  }
  return 0;
}

uint64_t Id3v2WithFooter(Tail& t, uint64_t end) {
  uint8_t footer[10];
  if (!t.ReadBefore(end, 0, footer, sizeof footer) || std::memcmp(footer, "3DI", 3) != 0) return 0;
  uint64_t size = 0;
  for (int i = 6; i < 10; ++i) {
    if (footer[i] & 0x80) return 0;
    size = (size << 7) | footer[i];
  }
  const uint64_t total = size + 20;  // header, body, footer
  uint8_t header[3];
  if (!t.ReadBefore(end, total - 3, header, 3) || std::memcmp(header, "ID3", 3) != 0) return 0;
  return total;
}

}  // namespace

uint64_t FindAudioEnd(ByteSource& source, uint64_t begin) {
  const uint64_t size = source.Size();
  if (begin >= size) return size;
  const uint64_t here = source.Tell();
  Tail tail(source, begin);
  uint64_t end = size;
  end -= Id3v1Block(tail, end);
  for (int round = 0; round < kMaxTags; ++round) {
    uint64_t cut = Ape(tail, end);
    if (cut == 0) cut = Lyrics3v2(tail, end);
    if (cut == 0) cut = Lyrics3v1(tail, end);
    if (cut == 0) cut = Id3v2WithFooter(tail, end);
    if (cut == 0) break;
    end -= cut;
  }
  source.Seek(static_cast<int64_t>(here), SeekOrigin::Start);
  return end;
}

}  // namespace tovira
