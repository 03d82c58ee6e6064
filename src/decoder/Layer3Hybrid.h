#pragma once
// Layer III stereo processing after requantisation, alias reduction and the hybrid synthesis
// (IMDCT, windowing, overlap-add, frequency inversion) into 18 time slots of 32 sub-bands.

#include "decoder/Kernels.h"
#include "decoder/Layer3Spectrum.h"
#include "decoder/Layer3Tables.h"

namespace tovira::layer3 {

// Intensity stereo above channel 1's last coded band; `sf`/`gi` are channel 1's.
void ApplyIntensityStereo(float* left, float* right, const ScaleFactors& sf, const GranuleInfo& gi, int rate,
                          bool midSide, bool lsf, const Tables& t);
void AntiAlias(float* x, const GranuleInfo& gi, const Tables& t);
// x: 576 spectral values (consumed); overlap: 576 values carried between granules, laid out
// like the output, [time slot][sub-band]; out: [time slot][sub-band].
// `kernels` picks the compiled form of the long-block loop; both give the same output.
void HybridSynthesis(float* x, float* overlap, float (*out)[32], const GranuleInfo& gi, const Tables& t,
                     KernelSet kernels = KernelSet::Portable);

// The fast transforms. Imdct36 maps 18 inputs to the 18 values z of the
// decomposition (x_i = z[map(i)] / (2 cos(pi (2i + 19) / 72)) for the standard's 36 outputs);
// Imdct12 likewise maps 6 inputs to 6 values for the 12-point transform.
void Imdct36(const float* in, float* z, const Tables& t);
void Imdct12(const float* in, float* z, const Tables& t);

}  // namespace tovira::layer3
