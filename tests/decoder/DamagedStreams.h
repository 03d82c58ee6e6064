#pragma once
// Damages chosen frames of a real stream in the ways a broken file or transfer does, and makes
// the matching "emptied" frames (valid frames that carry no audio) that concealment must equal.
// For Layer III the damage starts at `granule` and Emptied empties that granule and the rest.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "decoder/FrameHeader.h"

namespace tovira::test {

enum class Damage {
  BlockTypeZero,   // Layer III: window switching with the forbidden block type 0 in granule 0
  PastTheFrame,    // Layer III: every part2_3_length 4095, far past the frame's main data
  HuffmanOverrun,  // Layer III: 288 big values of table 1 in a part2_3_length of one bit
  BadAllocation,   // Layer I/II: the allocation bits all ones, samples far past the frame
  Forbidden,       // Layer I: the forbidden allocation 15 in the first sub-band, no others
  Emptied,         // any layer: a valid frame without audio (no allocation, empty granules)
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline uint32_t HeaderAt(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// The length of the frame at `at`; that of a free-format one as the decoder finds it.
inline int32_t FrameLengthAt(const std::vector<uint8_t>& b, size_t at) {
  return FrameLengthOf(HeaderAt(b, at), FindFreeFormatLength({b.data() + at, b.size() - at}, true));
}

// Offsets of the frames, header after header from the start of the stream.
inline std::vector<size_t> FrameOffsets(const std::vector<uint8_t>& bytes) {
  std::vector<size_t> offsets;
  const int32_t freeLength = FindFreeFormatLength(bytes, true);
  for (size_t at = 0; at + 4 <= bytes.size();) {
    const int32_t length = FrameLengthOf(HeaderAt(bytes, at), freeLength);
    if (length <= 0 || at + static_cast<size_t>(length) > bytes.size()) break;
    offsets.push_back(at);
    at += static_cast<size_t>(length);
  }
  return offsets;
}

// Big-endian bit field at `bit` bits from the start of `bytes`.
inline void PutBits(std::vector<uint8_t>& bytes, size_t bit, uint32_t value, int count) {
  for (int i = 0; i < count; ++i, ++bit) {
    const uint8_t mask = static_cast<uint8_t>(0x80u >> (bit % 8));
    if ((value >> (count - 1 - i)) & 1u) {
      bytes[bit / 8] |= mask;
    } else {
      bytes[bit / 8] &= static_cast<uint8_t>(~mask);
    }
  }
}
inline uint32_t GetBit(const std::vector<uint8_t>& bytes, size_t bit) { return (bytes[bit / 8] >> (7 - bit % 8)) & 1u; }

inline void DamageFrame(std::vector<uint8_t>& bytes, size_t offset, Damage kind, size_t granule = 0) {
  const uint32_t h = HeaderAt(bytes, offset);
  const int layer = 4 - static_cast<int>((h >> 17) & 3);
  const bool lsf = ((h >> 19) & 1) == 0;
  const bool mono = ((h >> 6) & 3) == 3;
  const size_t body = offset + 4 + (((h >> 16) & 1) ? 0 : 2);  // after any CRC word
  const size_t length = static_cast<size_t>(FrameLengthAt(bytes, offset));
  if (layer != 3) {
    if (kind == Damage::BadAllocation) {
      for (size_t i = body; i < body + 16; ++i) bytes[i] = 0xFF;
    } else if (kind == Damage::Forbidden) {
      // With no other allocation the frame easily holds the samples: only the 15 makes it bad.
      const int bound = ((h >> 6) & 3) == 1 ? 4 * static_cast<int>(((h >> 4) & 3) + 1) : 32;
      const size_t allocBits = 4 * static_cast<size_t>(bound * (mono ? 1 : 2) + 32 - bound);
      for (size_t bit = 0; bit < allocBits; ++bit) PutBits(bytes, 8 * body + bit, bit < 4 ? 1 : 0, 1);
    } else if (kind == Damage::Emptied) {
      for (size_t i = body; i < offset + length; ++i) bytes[i] = 0;
    } else {
      throw std::invalid_argument("not a Layer I/II damage");
    }
    return;
  }
  // Layer III side information: a prefix, then one block per granule and channel.
  const int channels = mono ? 1 : 2;
  const int granules = lsf ? 1 : 2;
  const size_t prefix = lsf ? (mono ? 9 : 10) : (mono ? 18 : 20);
  const size_t block = lsf ? 63 : 59;
  const size_t sideBits = lsf ? (mono ? 72 : 136) : (mono ? 136 : 256);
  const size_t start = 8 * body;
  const size_t first = start + prefix + granule * static_cast<size_t>(channels) * block;
  const size_t switching = lsf ? 38 : 33;  // window_switching_flag within a block
  switch (kind) {
    case Damage::BlockTypeZero:
      PutBits(bytes, first + switching, 0b1000, 4);  // flag set, block type 0, not mixed
      break;
    case Damage::PastTheFrame:
      for (size_t g = 0; g < static_cast<size_t>(granules * channels); ++g) PutBits(bytes, start + prefix + g * block, 4095, 12);
      break;
    case Damage::HuffmanOverrun: {
      PutBits(bytes, first, 1, 12);
      PutBits(bytes, first + 12, 288, 9);
      const size_t table = first + switching + (GetBit(bytes, first + switching) ? 4 : 1);
      PutBits(bytes, table, 1, 5);
      break;
    }
    case Damage::Emptied:
      for (size_t bit = first; bit < start + sideBits; ++bit) PutBits(bytes, bit, 0, 1);
      break;
    case Damage::BadAllocation:
    case Damage::Forbidden:
      throw std::invalid_argument("not a Layer III damage");
  }
}

}  // namespace tovira::test
