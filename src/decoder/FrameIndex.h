#pragma once
// Where each frame of an open stream starts, found from the frame headers alone, so that a seek
// lands on the frame that holds the wanted time whatever the bit rate did before it.
//
// The index is built lazily, as far as a seek needs it, and walks on from there at the next
// seek. It keeps the offset of every kStride-th frame (8 bytes per 16 frames: about 140 KB for
// two hours at 44.1 kHz) and finds the frames in between by reading their headers again.
// It reads through the stream's own byte source and is used by whoever owns the stream.

#include <cstdint>
#include <functional>
#include <vector>

#include "decoder/ByteSource.h"

namespace tovira {

class FrameIndex {
 public:
  static constexpr uint32_t kStride = 16;

  // Starts afresh for the audio in [begin, end) whose first frame has header `first`; a free-format
  // stream's frames are `freeLength` long without padding (one of unknown length cannot be indexed).
  void Reset(uint64_t begin, uint64_t end, uint32_t first, int32_t freeLength);
  bool Usable() const { return usable_; }

  // Walks on until frame `frame` (0 = the first) is known or the audio ends; `stop`, when set, is
  // asked now and then and ends the walk early. True when the frame is known.
  bool Cover(ByteSource& source, uint64_t frame, const std::function<bool()>& stop = {});
  bool Complete() const { return complete_; }
  uint64_t FramesKnown() const { return counted_; }

  // Start offsets of the frames first..last, which must be known. False on a read failure.
  bool Offsets(ByteSource& source, uint64_t first, uint64_t last, std::vector<uint64_t>& out) const;

  size_t MemoryBytes() const { return checkpoints_.capacity() * sizeof(uint64_t); }

  // Bytes of the stream read ahead by a walk; kept between walks, since a stream being played
  // is indexed a few frames at a time.
  struct Chunk {
    std::vector<uint8_t> bytes;
    uint64_t start = 0;
  };

 private:
  bool usable_ = false;
  uint64_t begin_ = 0;
  uint64_t end_ = 0;
  uint32_t streamBits_ = 0;
  int32_t freeLength_ = 0;
  std::vector<uint64_t> checkpoints_;  // start of frame i * kStride
  uint64_t counted_ = 0;               // frames known
  uint64_t next_ = 0;                  // where the search for frame counted_ starts
  bool complete_ = false;
  Chunk chunk_;  // while the walk goes on; released once the index is complete
};

// The four header bytes' fields that all frames of one stream share: sync word, version, layer
// and sampling rate.
inline constexpr uint32_t kStreamBitsMask = 0xFFFE0C00u;

}  // namespace tovira
