#include "decoder/Kernels.h"

#include <cstdlib>
#include <cstring>

namespace tovira {

KernelSet ChooseKernels() {
  const char* portable = std::getenv("TOVIRA_DECODER_PORTABLE");
  if (portable && *portable && std::strcmp(portable, "0") != 0) return KernelSet::Portable;
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx2")) return KernelSet::Avx2;
#endif
  return KernelSet::Portable;
}

const char* KernelSetName(KernelSet set) { return set == KernelSet::Avx2 ? "avx2" : "portable"; }

}  // namespace tovira
