#include "decoder/Layer3.h"

#include <algorithm>
#include <cstring>

#include "decoder/FrameHeader.h"
#include "decoder/InputStream.h"
#include "decoder/Layer3Bits.h"
#include "decoder/Layer3Hybrid.h"
#include "decoder/Layer3Spectrum.h"
#include "decoder/Layer3Tables.h"
#include "decoder/Synthesis.h"

namespace tovira {

using namespace layer3;

namespace {
// Main data of one frame: at most a full reservoir plus a whole body.
constexpr uint32_t kMainDataBytes = InputStream::kReadableBytes;
}  // namespace

struct Layer3Decoder::State {
  Tables tables;
  KernelSet kernels = ChooseKernels();
  alignas(64) float spectrum[2][576];
  alignas(64) float overlap[2][576];
  alignas(64) float subband[2][18][32];
  ScaleFactors scalefac[2];
  // A copy of the frame's main data with a zero tail, so the local reader is bounded by
  // construction and never sees bytes of other frames that lie beyond the main data.
  alignas(16) uint8_t mainData[kMainDataBytes + BitReader::kPadding];

  State() { Clear(); }
  void Clear() {
    std::memset(spectrum, 0, sizeof(spectrum));
    std::memset(overlap, 0, sizeof(overlap));
    for (auto& sf : scalefac) sf = ScaleFactors{};
  }
};

Layer3Decoder::Layer3Decoder() : state_(std::make_unique<State>()) {}
Layer3Decoder::~Layer3Decoder() = default;

void Layer3Decoder::Reset() { state_->Clear(); }

bool Layer3Decoder::DecodeFrame(InputStream& stream, const FrameHeader& header, Synthesis& synth) {
  State& s = *state_;
  const Tables& t = s.tables;

  FrameTools tools;
  tools.channels = header.channels == 1 ? 1 : 2;
  tools.rate = std::clamp(header.sampleRateIndex, 0, kRates - 1);
  const bool joint = header.mode == 1;
  tools.midSide = joint && tools.channels == 2 && (header.modeExtension & 2);
  tools.intensity = joint && tools.channels == 2 && (header.modeExtension & 1);
  // The mono mix only applies to two coded channels; a mono stream is output as it is.
  tools.monoMix = tools.channels == 2 && header.monoMix >= 0;
  const int outChannels = tools.channels == 2 && !tools.monoMix ? 2 : 1;
  const bool lsf = header.lsf != 0;
  const int granules = lsf ? 1 : 2;
  // At half rate the synthesis uses only the lower sub-bands: the rest need no transform.
  const int maxSubbands = 32 >> std::clamp(synth.Decimation(), 0, 2);

  SideInfo si;
  if (lsf) {
    ReadSideInfoLsf(stream, si, tools, t);
  } else {
    ReadSideInfoMpeg1(stream, si, tools, t);
  }

  // Main data: from main_data_begin bytes before this frame's main data to the end of its body.
  stream.StepBack(si.main_data_begin);
  const uint32_t startByte = stream.BitPosition() >> 3;
  const uint32_t endByte = std::min<uint32_t>(InputStream::kReservoirBytes + std::max(header.bodyLength, 0),
                                              InputStream::kReadableBytes);
  const uint32_t size = endByte > startByte ? endByte - startByte : 0;
  std::memcpy(s.mainData, stream.BufferBase() + startByte, size);
  std::memset(s.mainData + size, 0, BitReader::kPadding);
  BitReader br(s.mainData, size);
  // A reservoir reaching before the first frame after open or seek has no real bytes behind it:
  // such a frame is decoded as silence (its overlap tail still plays) instead of as noise.
  const bool reservoirMissing = stream.MainDataAvailable() < static_cast<int32_t>(size);

  // Once a granule cannot be decoded, it and the rest of the frame are concealed as silence.
  bool damaged = false;
  const uint32_t mainBits = size * 8;
  uint32_t granuleStart = 0;
  for (int gr = 0; gr < granules; ++gr) {
    bool silent = reservoirMissing || damaged;
    // Where each channel's data lies; data said to run past the frame's end is damaged side
    // information, not audio.
    uint32_t start[2] = {};
    for (int ch = 0; ch < tools.channels && !silent; ++ch) {
      const GranuleInfo& gi = si.gr[gr][ch];
      start[ch] = granuleStart;
      granuleStart += static_cast<uint32_t>(gi.part2_3_length);
      if (gi.invalid || granuleStart > mainBits) damaged = silent = true;
    }
    if (!silent) {
      BitReader readers[2] = {br, br};
      int part2[2] = {};
      for (int ch = 0; ch < tools.channels; ++ch) {
        readers[ch].SetPosition(start[ch]);
        const bool intensityChannel = ch == 1 && tools.intensity;
        part2[ch] = lsf ? ReadScaleFactorsLsf(readers[ch], s.scalefac[ch], si.gr[gr][ch], intensityChannel, t)
                        : ReadScaleFactorsMpeg1(readers[ch], s.scalefac[ch], si.gr[gr][ch]);
      }
      const int failed = tools.channels == 2
                             ? DecodeSpectrumStereo(readers, s.spectrum, s.scalefac, si.gr[gr], tools.rate, part2,
                                                    maxSubbands, tools.midSide, t)
                             : DecodeSpectrum(readers[0], s.spectrum[0], s.scalefac[0], si.gr[gr][0], tools.rate,
                                              part2[0], maxSubbands, t);
      if (failed) damaged = silent = true;  // the Huffman data overran part2_3_length
    }
    if (silent) {
      // Both channels as an empty long-block granule: the overlap tail of the granule before
      // plays out and nothing of a half-decoded spectrum is heard.
      for (int ch = 0; ch < 2; ++ch) {
        std::memset(s.spectrum[ch], 0, sizeof(s.spectrum[ch]));
        GranuleInfo& gi = si.gr[gr][ch];
        gi.block_type = 0;
        gi.mixed_block_flag = 0;
        gi.maxb = 1;
        gi.maxbandl = 0;
        gi.maxband[0] = gi.maxband[1] = gi.maxband[2] = 0;
      }
    }

    GranuleInfo& g0 = si.gr[gr][0];
    GranuleInfo& g1 = si.gr[gr][1];
    if (tools.channels == 2 && !silent) {
      if (tools.intensity) {
        ApplyIntensityStereo(s.spectrum[0], s.spectrum[1], s.scalefac[1], g1, tools.rate, tools.midSide, lsf, t);
      }
      if (tools.midSide || tools.intensity || tools.monoMix) g0.maxb = g1.maxb = std::max(g0.maxb, g1.maxb);
      if (tools.monoMix) {
        const int n = 18 * g0.maxb;
        for (int i = 0; i < n; ++i) s.spectrum[0][i] += s.spectrum[1][i];
      }
    }
    for (int ch = 0; ch < outChannels; ++ch) {
      GranuleInfo& gi = si.gr[gr][ch];
      AntiAlias(s.spectrum[ch], gi, t);
      HybridSynthesis(s.spectrum[ch], s.overlap[ch], s.subband[ch], gi, t, s.kernels);
    }
    if (outChannels == 2) {
      synth.SynthStereo(s.subband[0], s.subband[1], 18);
    } else {
      synth.SynthMonoToStereo(s.subband[0], 18);
    }
  }
  return !damaged;
}

}  // namespace tovira
