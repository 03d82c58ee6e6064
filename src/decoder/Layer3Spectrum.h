#pragma once
// Layer III side information, scale factors and the Huffman-coded spectrum, requantised and
// written in its final order (short blocks window-interleaved).

#include <cstdint>

#include "decoder/Layer3Bits.h"
#include "decoder/Layer3Tables.h"

namespace tovira {
class InputStream;
}

namespace tovira::layer3 {

struct GranuleInfo {
  int32_t scfsi = -1;
  int32_t part2_3_length = 0;
  int32_t big_values = 0;
  int32_t scalefac_compress = 0;
  int32_t block_type = 0;
  int32_t mixed_block_flag = 0;
  int32_t table_select[3] = {};
  int32_t maxband[3] = {};
  int32_t maxbandl = 0;
  int32_t maxb = 1;
  int32_t region1start = 0;
  int32_t region2start = 0;
  int32_t preflag = 0;
  int32_t scalefac_scale = 0;
  int32_t count1table_select = 0;
  int32_t windowGainBase[3] = {};
  int32_t gainBase = 0;
  bool invalid = false;  // window switching with block type 0
};

struct SideInfo {
  uint32_t main_data_begin = 0;
  uint32_t private_bits = 0;
  GranuleInfo gr[2][2];  // [granule][channel]
};

// Scale factors of one channel: 22 long, 39 short or 38 mixed values.
struct ScaleFactors {
  int32_t v[39] = {};
  // MPEG-2/2.5: the largest value each one's length can hold, 2^slen - 1. As an intensity
  // position it marks a band that is not intensity-coded.
  int32_t maxPosition[39] = {};
};

// The stereo tools in force for one frame.
struct FrameTools {
  int channels = 2;
  bool midSide = false;
  bool intensity = false;
  bool monoMix = false;
  int rate = 0;  // sample-rate index 0..8
};

// Side information through the stream's bounded reader. Window switching with block type 0 marks
// the granule invalid.
void ReadSideInfoMpeg1(InputStream& in, SideInfo& si, const FrameTools& tools, const Tables& t);
void ReadSideInfoLsf(InputStream& in, SideInfo& si, const FrameTools& tools, const Tables& t);

// Scale factors; returns the bits read. MPEG-1 granule 1 keeps the groups scfsi shares.
int ReadScaleFactorsMpeg1(BitReader& br, ScaleFactors& sf, const GranuleInfo& gi);
int ReadScaleFactorsLsf(BitReader& br, ScaleFactors& sf, GranuleInfo& gi, bool intensityChannel, const Tables& t);

// Decodes one channel's spectrum into x[576]; 0 on success, 1 when the data overran
// part2_3_length. Sets maxband, maxbandl and maxb (capped at `maxSubbands`).
int DecodeSpectrum(BitReader& br, float* x, const ScaleFactors& sf, GranuleInfo& gi, int rate, int part2Bits,
                   int maxSubbands, const Tables& t);
// Both channels of one granule at once, each from its own reader (placed after its scale
// factors); with `midSide`, leaves left = mid + side, right = mid - side. 0 on success, 1 when
// either overran its part2_3_length.
int DecodeSpectrumStereo(BitReader (&br)[2], float (&x)[2][576], const ScaleFactors (&sf)[2], GranuleInfo* gi,
                         int rate, const int (&part2Bits)[2], int maxSubbands, bool midSide, const Tables& t);

}  // namespace tovira::layer3
