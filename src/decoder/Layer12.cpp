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

void Layer12Decoder::DecodeFrameLayer1(InputStream& in, const FrameHeader& header, Synthesis& synth) {
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

  const int limit = AudibleLimit(synth);
  for (int slot = 0; slot < 12; ++slot) {
    for (int sb = 0; sb < bound; ++sb) {
      for (int ch = 0; ch < channels; ++ch) {
        const int n = alloc[ch][sb];
        float v = 0.0f;
        if (n) {
          const int code = static_cast<int>(in.GetBits(n + 1));
          v = static_cast<float>(code - (1 << n) + 1) * tables_.muls[n + 1][scale[ch][sb]];
        }
        samples_[ch][slot][sb] = v;
      }
    }
    for (int sb = bound; sb < 32; ++sb) {
      const int n = alloc[0][sb];
      if (n) {
        const float q = static_cast<float>(static_cast<int>(in.GetBits(n + 1)) - (1 << n) + 1);
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
}

void Layer12Decoder::DecodeFrameLayer2(InputStream& in, const FrameHeader& header, Synthesis& synth) {
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

  // Reads the three samples of one quantiser as multiplier rows and integer factors:
  // value = factor * muls[row][scale factor].
  auto readTriple = [&](const iso::Layer2Quant& q, int rows[3], float factors[3]) {
    if (q.d > 0) {
      const uint32_t code = in.GetBits(static_cast<unsigned>(q.bits));
      const uint8_t* g = q.d == 3 ? tables_.group3[code & 31] : q.d == 5 ? tables_.group5[code & 127] : tables_.group9[code & 1023];
      for (int k = 0; k < 3; ++k) {
        rows[k] = g[k];
        factors[k] = 1.0f;
      }
    } else {
      for (int k = 0; k < 3; ++k) {
        rows[k] = q.bits;
        factors[k] = static_cast<float>(static_cast<int>(in.GetBits(static_cast<unsigned>(q.bits))) + q.d);
      }
    }
  };

  const int limit = std::min(sblimit, AudibleLimit(synth));
  for (int gr = 0; gr < 12; ++gr) {
    const int part = gr >> 2;
    float* out[2][3];
    for (int ch = 0; ch < 2; ++ch) {
      for (int k = 0; k < 3; ++k) out[ch][k] = samples_[ch][3 * gr + k];
    }
    for (int sb = 0; sb < bound; ++sb) {
      for (int ch = 0; ch < channels; ++ch) {
        const int a = alloc[ch][sb];
        if (!a) {
          out[ch][0][sb] = out[ch][1][sb] = out[ch][2][sb] = 0.0f;
          continue;
        }
        int rows[3];
        float f[3];
        readTriple(table.rows[sb][a], rows, f);
        const int sf = scale[ch][sb][part];
        for (int k = 0; k < 3; ++k) out[ch][k][sb] = f[k] * tables_.muls[rows[k]][sf];
      }
    }
    for (int sb = bound; sb < sblimit; ++sb) {
      const int a = alloc[0][sb];
      if (!a) {
        for (int ch = 0; ch < 2; ++ch) out[ch][0][sb] = out[ch][1][sb] = out[ch][2][sb] = 0.0f;
        continue;
      }
      int rows[3];
      float f[3];
      readTriple(table.rows[sb][a], rows, f);
      const int sf0 = scale[0][sb][part], sf1 = scale[1][sb][part];
      for (int k = 0; k < 3; ++k) {
        out[0][k][sb] = f[k] * tables_.muls[rows[k]][sf0];
        out[1][k][sb] = f[k] * tables_.muls[rows[k]][sf1];
      }
    }
    for (int ch = 0; ch < channels; ++ch) {
      for (int k = 0; k < 3; ++k) std::fill(out[ch][k] + limit, out[ch][k] + 32, 0.0f);
    }
  }
  Output(header, synth, 36);
}

}  // namespace tovira
