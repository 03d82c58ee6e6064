#pragma once
// Which compiled form of the decoder's vector loops a decoder object uses. The same source is
// compiled for the x86-64 baseline (SSE2) and, with wider vectors, for AVX2; both do the same
// arithmetic in the same order, so they give the same output. Chosen once when a decoder object
// is made: AVX2 where the processor has it, unless TOVIRA_DECODER_PORTABLE is set to a value
// other than 0 (so that tests and comparisons can run the baseline code on any machine).

namespace tovira {

enum class KernelSet { Portable, Avx2 };

KernelSet ChooseKernels();
const char* KernelSetName(KernelSet set);

}  // namespace tovira
