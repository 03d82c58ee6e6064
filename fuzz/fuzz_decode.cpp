// Bytes to PCM: stream reading, header decoding and all three layers through the facade.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "decoder/ByteSource.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"

namespace {

// Keeps no PCM, but touches every sample so that uninitialised output would show up.
class CheckingSink final : public tovira::PcmSink {
 public:
  void WriteBlock(const int16_t* samples, size_t count) override {
    for (size_t i = 0; i < count; ++i) sum_ += static_cast<uint32_t>(samples[i]);
  }
  uint32_t sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckingSink sink;
  tovira::MpegDecoder::DecodeSource(
      std::make_unique<tovira::MemorySource>(std::span<const uint8_t>(data, size)), sink);
  return 0;
}
