#pragma once
// Playback options and stream parameters shared by the engine, the decoder and the output.
// One record per engine: whoever owns the engine owns this, and a test may make as many as it likes.

#include <atomic>
#include <cstdint>
#include <string>

namespace tovira {

inline constexpr uint32_t kRangeToEnd = 0xFFFFFFFFu;
inline constexpr uint32_t kSeekSucceeded = 0xFFFFFFFFu;

struct PlaybackContext {
  // Written by the decode thread, read by the UI thread for the elapsed time.
  std::atomic<uint32_t> frameCounter{0};
  uint32_t startFrame = 0;
  uint32_t startPosition = 0;
  uint32_t endFrame = kRangeToEnd;
  uint32_t endPosition = 0;
  int32_t sampleRate = 44100;
  int32_t outputBufferSize = 16384;
  int32_t outputBufferCount = 8;
  int32_t channels = 2;
  int32_t bitsPerSample = 16;
  int32_t deviceId = 0;
  int32_t outputScale = 32768;
  int32_t outputRateOverride = -1;
  // The four byte flags: layer lock, (reserved), input seekable, bit rate changed.
  bool layerLock = true;
  bool reservedFlag = true;
  bool seekable = true;
  std::atomic<bool> bitRateChanged{false};
  uint8_t outputOption = 0;
  std::string inputFile;
  std::string outputFile;
  int32_t forceMono = 0;
  int32_t eightBit = 0;
  int32_t equalizerOn = 1;
  int32_t threadPriority = 0;
  int32_t inputMode = 0;   // 0 = file by path, 1 = a byte source supplied by the client
  int32_t outputMode = 0;  // 0 = the audio device

  // Requested seek position in ms on the way in, kSeekSucceeded or 0 on the way out.
  std::atomic<uint32_t> SeekTarget{0};
  // Copy of frameCounter published before each frame is decoded.
  std::atomic<uint32_t> CurrentFrameNumber{0};
};

}  // namespace tovira
