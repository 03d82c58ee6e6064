#pragma once
// Playback options and stream parameters shared by the engine, the decoder and the output.
// One record per engine: whoever owns the engine owns this, and a test may make as many as it likes.

#include <atomic>
#include <cstdint>
#include <string>

namespace tovira {

inline constexpr uint32_t kRangeToEnd = 0xFFFFFFFFu;

struct PlaybackContext {
  // Written by the decode thread, read by the UI thread for the elapsed time.
  std::atomic<uint32_t> frameCounter{0};
  // The play range, in ms as set and in frames of the stream being played.
  uint32_t startFrame = 0;
  uint32_t startPosition = 0;
  uint32_t endFrame = kRangeToEnd;
  uint32_t endPosition = 0;
  int32_t sampleRate = 44100;  // of the output
  int32_t outputBufferSize = 16384;
  int32_t outputBufferCount = 8;
  int32_t outputScale = 32768;  // full scale handed to the synthesis
  bool layerLock = true;        // later frames must be of the first frame's layer
  std::string inputFile;
  int32_t equalizerOn = 1;
  int32_t inputMode = 0;  // 0 = file by path, 1 = a byte source supplied by the client
};

}  // namespace tovira
