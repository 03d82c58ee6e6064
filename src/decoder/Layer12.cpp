#include "decoder/Layer12.h"

#include <algorithm>
#include <cstring>

#include "decoder/FrameHeader.h"
#include "decoder/InputStream.h"
#include "decoder/Synthesis.h"
#include "decoder/Tables.h"
#include "decoder/generated/IsoTables.h"

namespace tovira {

namespace {

// A bounded big-endian reader over the stream's frame buffer, for the many short reads of
// the sample data. Past the readable area it yields zeros, as the stream's own reader does.
class FastBits {
 public:
  explicit FastBits(InputStream& in) : in_(in), base_(in.BufferBase()), pos_(in.BitPosition()) {}
  ~FastBits() { in_.SetBitPosition(pos_); }
  FastBits(const FastBits&) = delete;
  FastBits& operator=(const FastBits&) = delete;

  // n = 0..24
  uint32_t Get(unsigned n) {
    const uint32_t byte = pos_ >> 3;
    uint32_t w = 0;
    if (byte + 4 <= kBytes) {
      std::memcpy(&w, base_ + byte, 4);
      w = __builtin_bswap32(w);
    } else {
      for (uint32_t i = byte; i < byte + 4; ++i) w = (w << 8) | (i < kBytes ? base_[i] : 0u);
    }
    w <<= pos_ & 7;
    pos_ += n;
    return n ? w >> (32 - n) : 0;
  }

 private:
  static constexpr uint32_t kBytes = InputStream::kReadableBytes + InputStream::kGuardBytes;
  InputStream& in_;
  const uint8_t* base_;
  uint32_t pos_;
};

// Whether `sampleBits` more bits, from the reader's position, end within the frame body.
bool FitsFrame(const InputStream& in, const FrameHeader& header, uint32_t sampleBits) {
  const uint64_t end = InputStream::kBodyOffsetBits + 8ull * static_cast<uint32_t>(std::max(header.bodyLength, 0));
  return uint64_t{in.BitPosition()} + sampleBits <= end;
}

// The number of sub-bands that reach the synthesis at this rate.
int AudibleLimit(const Synthesis& synth) { return 32 >> synth.Decimation(); }

}  // namespace

void Layer12Decoder::Output(const FrameHeader& header, Synthesis& synth, int slots) {
  // Both channels of a two-channel stream, unless a mono mix asks for the first channel alone.
  const bool stereo = header.channels == 2 && header.monoMix == -1;
  if (stereo) {
    synth.SynthStereo(samples_[0], samples_[1], slots);
  } else {
    synth.SynthMonoToStereo(samples_[0], slots);
  }
}

void Layer12Decoder::Conceal(const FrameHeader& header, Synthesis& synth, int slots) {
  std::memset(samples_, 0, sizeof(samples_));
  Output(header, synth, slots);
}

bool Layer12Decoder::DecodeFrameLayer1(InputStream& in, const FrameHeader& header, Synthesis& synth) {
  const int channels = header.channels == 1 ? 1 : 2;
  const int bound = channels == 2 ? std::clamp(header.jointBound, 0, 32) : 32;
  uint8_t alloc[2][32];
  uint8_t scale[2][32] = {};

  for (int sb = 0; sb < bound; ++sb) {
    for (int ch = 0; ch < channels; ++ch) alloc[ch][sb] = static_cast<uint8_t>(in.GetBits(4));
  }
  for (int sb = bound; sb < 32; ++sb) {
    alloc[0][sb] = static_cast<uint8_t>(in.GetBits(4));
    alloc[1][sb] = alloc[0][sb];
  }
  for (int sb = 0; sb < 32; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (alloc[ch][sb]) scale[ch][sb] = static_cast<uint8_t>(in.GetBitsFast(6));
    }
  }
  // Allocation 15 is forbidden, and the samples must fit the frame: otherwise the allocation
  // is damaged and decoding it would only make noise.
  uint32_t sampleBits = 0;
  for (int sb = 0; sb < 32; ++sb) {
    for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch) {
      const uint32_t n = alloc[ch][sb];
      if (n == 15) {
        Conceal(header, synth, 12);
        return false;
      }
      sampleBits += n ? 12 * (n + 1) : 0;
    }
  }
  if (!FitsFrame(in, header, sampleBits)) {
    Conceal(header, synth, 12);
    return false;
  }

  const int limit = AudibleLimit(synth);
  FastBits bits(in);
  for (int slot = 0; slot < 12; ++slot) {
    for (int sb = 0; sb < bound; ++sb) {
      for (int ch = 0; ch < channels; ++ch) {
        const int n = alloc[ch][sb];
        float v = 0.0f;
        if (n) {
          const int code = static_cast<int>(bits.Get(static_cast<unsigned>(n + 1)));
          v = static_cast<float>(code - (1 << n) + 1) * tables_.muls[n + 1][scale[ch][sb]];
        }
        samples_[ch][slot][sb] = v;
      }
    }
    for (int sb = bound; sb < 32; ++sb) {
      const int n = alloc[0][sb];
      if (n) {
        const float q = static_cast<float>(static_cast<int>(bits.Get(static_cast<unsigned>(n + 1))) - (1 << n) + 1);
        samples_[0][slot][sb] = q * tables_.muls[n + 1][scale[0][sb]];
        samples_[1][slot][sb] = q * tables_.muls[n + 1][scale[1][sb]];
      } else {
        samples_[0][slot][sb] = 0.0f;
        samples_[1][slot][sb] = 0.0f;
      }
    }
    for (int ch = 0; ch < channels; ++ch) {
      std::fill(samples_[ch][slot] + limit, samples_[ch][slot] + 32, 0.0f);
    }
  }
  Output(header, synth, 12);
  return true;
}

bool Layer12Decoder::DecodeFrameLayer2(InputStream& in, const FrameHeader& header, Synthesis& synth) {
  const int tableIndex = std::clamp(header.layer2Table, 0, 4);
  const iso::Layer2Alloc& table = iso::kLayer2Alloc[tableIndex];
  const int channels = header.channels == 1 ? 1 : 2;
  // The table decides how many sub-bands carry an allocation; the bound never exceeds that.
  const int sblimit = std::clamp(header.subbandLimit, 0, table.subbandLimit);
  const int bound = channels == 2 ? std::clamp(header.jointBound, 0, sblimit) : sblimit;

  uint8_t alloc[2][32] = {};
  uint8_t scale[2][32][3] = {};

  for (int sb = 0; sb < bound; ++sb) {
    const int nbal = table.rows[sb][0].bits;
    for (int ch = 0; ch < channels; ++ch) alloc[ch][sb] = static_cast<uint8_t>(in.GetBits(nbal));
  }
  for (int sb = bound; sb < sblimit; ++sb) {
    const int nbal = table.rows[sb][0].bits;
    alloc[0][sb] = static_cast<uint8_t>(in.GetBits(nbal));
    alloc[1][sb] = alloc[0][sb];
  }
  uint8_t scfsi[2][32] = {};
  for (int sb = 0; sb < sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (alloc[ch][sb]) scfsi[ch][sb] = static_cast<uint8_t>(in.GetBitsFast(2));
    }
  }
  for (int sb = 0; sb < sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (!alloc[ch][sb]) continue;
      uint8_t* s = scale[ch][sb];
      switch (scfsi[ch][sb]) {
        case 0:
          s[0] = static_cast<uint8_t>(in.GetBitsFast(6));
          s[1] = static_cast<uint8_t>(in.GetBitsFast(6));
          s[2] = static_cast<uint8_t>(in.GetBitsFast(6));
          break;
        case 1:
          s[0] = s[1] = static_cast<uint8_t>(in.GetBitsFast(6));
          s[2] = static_cast<uint8_t>(in.GetBitsFast(6));
          break;
        case 2:
          s[0] = s[1] = s[2] = static_cast<uint8_t>(in.GetBitsFast(6));
          break;
        default:
          s[0] = static_cast<uint8_t>(in.GetBitsFast(6));
          s[1] = s[2] = static_cast<uint8_t>(in.GetBitsFast(6));
          break;
      }
    }
  }

  // Per coded sub-band and channel: the quantiser, resolved once for the frame, and per part the
  // multiplier of its samples (grouped levels carry their class's multiplier already).
  const iso::Layer2Quant* quant[2][32] = {};
  float mul[2][32][3];
  uint32_t sampleBits = 0;
  for (int sb = 0; sb < sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (!alloc[ch][sb]) continue;
      const iso::Layer2Quant* q = &table.rows[sb][alloc[ch][sb] & 15];
      quant[ch][sb] = q;
      // A shared sub-band's samples are coded once.
      if (sb < bound || ch == 0) sampleBits += 12u * static_cast<uint32_t>(q->d > 0 ? q->bits : 3 * q->bits);
      for (int p = 0; p < 3; ++p) {
        const int sf = scale[ch][sb][p] & 63;
        mul[ch][sb][p] = q->d > 0 ? tables_.scale[sf] : tables_.muls[q->bits][sf];
      }
    }
  }
  // Samples that would run past the frame: a damaged allocation.
  if (!FitsFrame(in, header, sampleBits)) {
    Conceal(header, synth, 36);
    return false;
  }
  const int limit = std::min(sblimit, AudibleLimit(synth));
  FastBits bits(in);
  // Three sample values before the multiplier: levels of a group, or centred codes.
  auto read = [&](const iso::Layer2Quant& q, float (&f)[3]) {
    const unsigned width = static_cast<unsigned>(q.bits);
    if (q.d > 0) {
      const uint32_t code = bits.Get(width);
      const float* g = q.d == 3 ? tables_.level3[code & 31] : q.d == 5 ? tables_.level5[code & 127] : tables_.level9[code & 1023];
      f[0] = g[0], f[1] = g[1], f[2] = g[2];
    } else {
      for (float& v : f) v = static_cast<float>(static_cast<int32_t>(bits.Get(width)) + q.d);
    }
  };
  for (int gr = 0; gr < 12; ++gr) {
    const int part = gr >> 2;
    float* out[2][3];
    for (int ch = 0; ch < 2; ++ch) {
      for (int k = 0; k < 3; ++k) out[ch][k] = samples_[ch][3 * gr + k];
    }
    for (int sb = 0; sb < sblimit; ++sb) {
      const bool joint = sb >= bound;
      for (int ch = 0; ch < (joint ? 1 : channels); ++ch) {
        const iso::Layer2Quant* q = quant[ch][sb];
        const int last = joint ? 1 : ch;
        if (!q) {
          for (int c = ch; c <= last; ++c) out[c][0][sb] = out[c][1][sb] = out[c][2][sb] = 0.0f;
          continue;
        }
        float f[3];
        read(*q, f);
        for (int c = ch; c <= last; ++c) {
          const float m = mul[c][sb][part];
          out[c][0][sb] = f[0] * m;
          out[c][1][sb] = f[1] * m;
          out[c][2][sb] = f[2] * m;
        }
      }
    }
    for (int ch = 0; ch < channels; ++ch) {
      for (int k = 0; k < 3; ++k) std::fill(out[ch][k] + limit, out[ch][k] + 32, 0.0f);
    }
  }
  Output(header, synth, 36);
  return true;
}

}  // namespace tovira
