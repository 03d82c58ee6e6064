#pragma once
// Told about every block the audio output queues and about the moment it starts to be heard.

#include <cstddef>
#include <cstdint>

#include "output/AudioDevice.h"

namespace tovira {

class BlockObserver {
 public:
  virtual ~BlockObserver() = default;
  // On the decode thread, while the block is being queued. `samples` is valid only during the call.
  virtual void OnBlockQueued(uint64_t sequence, const uint8_t* data, size_t bytes, const PcmFormat& format) = 0;
  // On the decode thread, soon after the device began playing the block (never in the device
  // callback). Blocks dropped by a reset are never reported.
  virtual void OnBlockHeard(uint64_t sequence) = 0;
  // The queue was dropped (seek, stop) or the output closed.
  virtual void OnReset() {}
};

}  // namespace tovira
