#pragma once
// Bounded MSB-first bit reader over a copy of one frame's main data.
//
// The owner keeps at least kPadding zero bytes after `size` readable bytes. Positions past the end
// are clamped onto that zero tail, so reads beyond the main data return zeros and never leave the
// buffer, however far the position has run.

#include <cstdint>
#include <cstring>

namespace tovira::layer3 {

class BitReader {
 public:
  static constexpr uint32_t kPadding = 16;

  BitReader() = default;
  BitReader(const uint8_t* data, uint32_t size) : data_(data), size_(size) {}

  // The next 64 bits, first bit in the most significant place; at least the top 57 are valid.
  uint64_t Peek64() const {
    uint32_t byte = pos_ >> 3;
    if (byte > size_) byte = size_;
    uint64_t w;
    std::memcpy(&w, data_ + byte, 8);
    return __builtin_bswap64(w) << (pos_ & 7);
  }
  // The next 32 bits, first bit in the most significant place.
  uint32_t Peek32() const { return static_cast<uint32_t>(Peek64() >> 32); }
  void Skip(uint32_t n) { pos_ += n; }
  // n = 0..24
  uint32_t Get(uint32_t n) {
    if (n == 0) return 0;
    const uint32_t v = Peek32() >> (32 - n);
    pos_ += n;
    return v;
  }
  uint32_t GetBit() { return Get(1); }

  uint32_t Position() const { return pos_; }
  void SetPosition(uint32_t bits) { pos_ = bits; }
  uint32_t SizeBits() const { return size_ * 8; }

 private:
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t pos_ = 0;
};

}  // namespace tovira::layer3
