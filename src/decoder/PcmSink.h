#pragma once
// Where decoded PCM goes: the audio output in the player, a vector in tools and tests.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tovira {

class PcmSink {
 public:
  virtual ~PcmSink() = default;
  // One block of interleaved 16-bit stereo PCM (left, right, left, ...), `count` int16 values.
  // May throw DecoderError when the output refuses the block.
  virtual void WriteBlock(const int16_t* samples, size_t count) = 0;
};

// Collects everything it is given.
class VectorPcmSink final : public PcmSink {
 public:
  std::vector<int16_t> pcm;
  void WriteBlock(const int16_t* samples, size_t count) override {
    pcm.insert(pcm.end(), samples, samples + count);
  }
};

}  // namespace tovira
