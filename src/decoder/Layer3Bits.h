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
  const uint8_t* Data() const { return data_; }
  uint32_t SizeBytes() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t pos_ = 0;
};

// A 64-bit window on a BitReader's data for the Huffman loops, refilled without a branch: each
// refill tops the window up to 56..63 valid bits by one load whose address was known one refill
// earlier, so the load stays off the chain from one code word to the next. Bytes are read from
// the same bounded place as BitReader reads them (past the end: the zero tail), so the bits are
// identical and the reader never leaves the buffer.
class BitCache {
 public:
  explicit BitCache(const BitReader& br) : data_(br.Data()), size_(br.SizeBytes()), byte_(br.Position() >> 3) {
    Refill();
    Consume(br.Position() & 7);
  }
  // At least 56 bits valid afterwards.
  void Refill() {
    const uint32_t at = byte_ < size_ ? byte_ : size_;
    uint64_t w;
    std::memcpy(&w, data_ + at, 8);
    window_ |= __builtin_bswap64(w) >> count_;
    byte_ += (63 - count_) >> 3;
    count_ |= 56;
  }
  // The window, first bit in the most significant place.
  uint64_t Bits() const { return window_; }
  // n <= the valid bits
  void Consume(uint32_t n) {
    window_ <<= n;
    count_ -= n;
  }
  uint32_t Position() const { return byte_ * 8 - count_; }

 private:
  const uint8_t* data_;
  uint32_t size_;
  uint32_t byte_;  // the first byte not yet in the window
  uint32_t count_ = 0;
  uint64_t window_ = 0;
};

}  // namespace tovira::layer3
