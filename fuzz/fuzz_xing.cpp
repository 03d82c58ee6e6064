// The Xing reader over arbitrary head bytes, at every sampling rate it is asked about.
#include <cstddef>
#include <cstdint>
#include <span>

#include "decoder/Xing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static constexpr int32_t kRates[4] = {44100, 22050, 8000, 0};
  tovira::XingHeaderData xing;
  const std::span<const uint8_t> head(data + 1, size - 1);
  if (tovira::ReadXingHeader(xing, head, kRates[data[0] & 3]) == 1 && (xing.flags & tovira::kXingToc)) {
    for (int p = 0; p <= 100; p += 7) {
      tovira::XingSeekPoint(xing.toc, xing.byteCount, static_cast<float>(p) + 0.5f);
    }
  }
  return 0;
}
