#include "decoder/Xing.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace tovira {

uint32_t ReadBigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

int ReadXingHeader(XingHeaderData& out, std::span<const uint8_t> head, int32_t sampleRate) {
  out.flags = 0;
  const size_t n = head.size();
  size_t at = n;
  for (size_t i = 0; i + 4 <= n; ++i) {
    if (std::memcmp(head.data() + i, "Xing", 4) == 0 || std::memcmp(head.data() + i, "Info", 4) == 0) {
      at = i;
      break;
    }
  }
  if (at == n) return 0;
  out.info = head[at] == 'I';
  out.encoderDelay = -1;
  out.encoderPadding = -1;
  out.peak = 0.0f;
  out.radioGain = {};
  out.audiophileGain = {};
  // A field is read only when it lies wholly inside the buffer; the flags then say what was read.
  size_t pos = at + 4;
  out.mpegId = 1;
  out.sampleRate = sampleRate;
  out.vbrScale = -1;
  if (pos + 4 > n) return 1;
  const int32_t flags = static_cast<int32_t>(ReadBigEndian32(head.data() + pos));
  pos += 4;
  int32_t read = 0;
  bool cut = false;  // once a field runs past the buffer, nothing after it is where it should be
  auto take = [&](int32_t flag, size_t len) {
    if (!(flags & flag) || cut) return false;
    if (pos + len > n) return cut = true, false;
    read |= flag;
    return true;
  };
  if (take(kXingFrames, 4)) {
    out.frameCount = static_cast<int32_t>(ReadBigEndian32(head.data() + pos));
    pos += 4;
  }
  if (take(kXingBytes, 4)) {
    out.byteCount = static_cast<int32_t>(ReadBigEndian32(head.data() + pos));
    pos += 4;
  }
  if (take(kXingToc, 100)) {
    std::memcpy(out.toc, head.data() + pos, 100);
    pos += 100;
  }
  if (take(kXingScale, 4)) {
    out.vbrScale = static_cast<int32_t>(ReadBigEndian32(head.data() + pos));
    pos += 4;
  }
  // Unknown bits are kept as they stand; known fields that ran past the buffer are dropped.
  out.flags = (flags & ~(kXingFrames | kXingBytes | kXingToc | kXingScale)) | read;
  // The encoder's extension: a nine-character encoder name, then at offset 21 the delay and the
  // padding as two 12-bit numbers. Only a name of letters, digits, dots and spaces is trusted.
  if (!cut && pos + 24 <= n) {
    const uint8_t* ext = head.data() + pos;
    bool named = true;
    for (int i = 0; i < 4; ++i) {
      const uint8_t c = ext[i];
      named = named && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'));
    }
    if (named) {
      out.encoderDelay = (ext[21] << 4) | (ext[22] >> 4);
      out.encoderPadding = ((ext[22] & 0x0F) << 8) | ext[23];
    }
  }
  // The peak at offset 11 and the two gain fields at 15 and 17 of the same extension, each read
  // only when it lies inside the buffer and behind a trusted encoder name.
  if (!cut && pos + 4 <= n) {
    const uint8_t* ext = head.data() + pos;
    bool named = true;
    for (int i = 0; i < 4; ++i) {
      const uint8_t c = ext[i];
      named = named && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'));
    }
    if (named && pos + 15 <= n) out.peak = DecodeXingPeak(ReadBigEndian32(ext + 11));
    if (named && pos + 17 <= n) out.radioGain = DecodeXingGainField(static_cast<uint16_t>((ext[15] << 8) | ext[16]));
    if (named && pos + 19 <= n) {
      out.audiophileGain = DecodeXingGainField(static_cast<uint16_t>((ext[17] << 8) | ext[18]));
    }
  }
  return 1;
}

XingHeaderData::GainField DecodeXingGainField(uint16_t bits) {
  XingHeaderData::GainField f;
  f.name = static_cast<uint8_t>(bits >> 13);
  f.originator = static_cast<uint8_t>((bits >> 10) & 7);
  const int magnitude = bits & 0x1FF;
  f.tenthsDb = static_cast<int16_t>((bits & 0x200) ? -magnitude : magnitude);
  return f;
}

float DecodeXingPeak(uint32_t bits) {
  const float asFloat = std::bit_cast<float>(bits);
  // A fixed-point peak below 16.0 reads as a float under 1e-33; a float peak worth believing
  // would be a fixed-point one above 90. Whatever is not plausible either way is "not stated".
  if (std::isfinite(asFloat) && asFloat >= 1e-6f && asFloat <= 64.0f) return asFloat;
  const double fixed = static_cast<double>(bits) / 8388608.0;
  return fixed > 0.0 && fixed <= 64.0 ? static_cast<float>(fixed) : 0.0f;
}

int ReadVbriHeader(VbriHeaderData& out, std::span<const uint8_t> frame) {
  constexpr size_t kAt = 36;  // 4 header bytes and 32 bytes of silence
  if (frame.size() < kAt + 18 || std::memcmp(frame.data() + kAt, "VBRI", 4) != 0) return 0;
  const uint8_t* p = frame.data() + kAt;
  out.version = (p[4] << 8) | p[5];
  out.delay = (p[6] << 8) | p[7];
  out.byteCount = ReadBigEndian32(p + 10);
  out.frameCount = ReadBigEndian32(p + 14);
  return 1;
}

int XingSeekPoint(const uint8_t toc[100], int byteCount, float percent) {
  if (!(percent >= 0.0f)) percent = 0.0f;  // also catches NaN
  if (percent > 100.0f) percent = 100.0f;
  int a = static_cast<int>(percent);
  if (a > 99) a = 99;
  const float fa = toc[a];
  const float fb = a < 99 ? toc[a + 1] : 256.0f;
  const float fx = fa + (fb - fa) * (percent - static_cast<float>(a));
  return static_cast<int>((1.0f / 256.0f) * fx * static_cast<float>(byteCount));
}

}  // namespace tovira
