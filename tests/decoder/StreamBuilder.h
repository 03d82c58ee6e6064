#pragma once
// Builds MPEG audio byte streams frame by frame for tests that need exact control of the bytes.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/FrameHeader.h"

namespace tovira::test {

enum class Version { Mpeg1, Mpeg2, Mpeg25 };

struct HeaderFields {
  Version version = Version::Mpeg1;
  int layer = 3;
  int bitrateIndex = 9;  // 128 kbit/s for MPEG-1 Layer III
  int rateField = 0;     // 44100 Hz for MPEG-1
  int padding = 0;
  int mode = 1;          // joint stereo
  int modeExtension = 0;
  bool crc = false;
};

inline uint32_t MakeHeader(const HeaderFields& s) {
  uint32_t h = 0xFFE00000u;
  if (s.version == Version::Mpeg1) h |= 3u << 19;
  if (s.version == Version::Mpeg2) h |= 2u << 19;
  h |= static_cast<uint32_t>(4 - s.layer) << 17;
  h |= (s.crc ? 0u : 1u) << 16;
  h |= static_cast<uint32_t>(s.bitrateIndex) << 12;
  h |= static_cast<uint32_t>(s.rateField) << 10;
  h |= static_cast<uint32_t>(s.padding) << 9;
  h |= static_cast<uint32_t>(s.mode) << 6;
  h |= static_cast<uint32_t>(s.modeExtension) << 4;
  return h;
}

inline void AppendBE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// One whole frame: the header and a body of the length the header implies, filled with `fill`.
inline void AppendFrame(std::vector<uint8_t>& out, const HeaderFields& s, uint8_t fill = 0) {
  const uint32_t h = MakeHeader(s);
  const int32_t length = FrameLengthOf(h);
  AppendBE32(out, h);
  out.insert(out.end(), static_cast<size_t>(length > 4 ? length - 4 : 0), fill);
}

inline std::vector<uint8_t> Frames(const HeaderFields& s, int count) {
  std::vector<uint8_t> out;
  for (int i = 0; i < count; ++i) AppendFrame(out, s, static_cast<uint8_t>(i));
  return out;
}

// An ID3v2 tag of `size` bytes after its 10-byte header, size written synchronisation-safe.
inline std::vector<uint8_t> Id3v2Tag(uint32_t size, uint8_t fill = 0) {
  std::vector<uint8_t> out = {'I', 'D', '3', 3, 0, 0};
  out.push_back(static_cast<uint8_t>((size >> 21) & 0x7F));
  out.push_back(static_cast<uint8_t>((size >> 14) & 0x7F));
  out.push_back(static_cast<uint8_t>((size >> 7) & 0x7F));
  out.push_back(static_cast<uint8_t>(size & 0x7F));
  out.insert(out.end(), size, fill);
  return out;
}

inline std::vector<uint8_t> Id3v1Tag(const std::string& title, const std::string& artist, uint8_t genre) {
  std::vector<uint8_t> tag(128, 0);
  std::memcpy(tag.data(), "TAG", 3);
  std::memcpy(tag.data() + 3, title.data(), std::min<size_t>(title.size(), 30));
  std::memcpy(tag.data() + 33, artist.data(), std::min<size_t>(artist.size(), 30));
  tag[127] = genre;
  return tag;
}

}  // namespace tovira::test
