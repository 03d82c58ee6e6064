#pragma once
// Follows the audio output: keeps the start of every queued block and, when the output reports
// that a block is being heard, makes its levels the current ones. The analysis runs on the
// thread that asks for the levels (the display's timer), never in the device callback and
// never on the decode thread; a block is analysed at most once.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "output/BlockObserver.h"
#include "spectrum/SpectrumAnalyzer.h"

namespace tovira {

class SpectrumFeed final : public BlockObserver {
 public:
  // Blocks remembered; more than the output queue can hold, so a heard block is still there.
  static constexpr int kSlots = 16;

  void OnBlockQueued(uint64_t sequence, const uint8_t* data, size_t bytes, const PcmFormat& format) override;
  void OnBlockHeard(uint64_t sequence) override;
  void OnReset() override;

  // The levels of the block heard most recently (all zero before the first one).
  SpectrumLevels Levels();
  // Zeros until a block queued after this is heard (stop, end of track).
  void Clear();
  // Blocks analysed so far.
  uint64_t Analyses() const { return analyses_.load(); }

 private:
  struct Slot {
    uint64_t sequence = UINT64_MAX;
    size_t frames = 0;
    std::array<int16_t, 2 * SpectrumAnalyzer::kFftSize> samples{};
  };

  SpectrumAnalyzer analyzer_;
  std::mutex mutex_;
  std::array<Slot, kSlots> slots_;
  uint64_t heard_ = UINT64_MAX;     // sequence of the block heard last, or none
  uint64_t analysed_ = UINT64_MAX;  // sequence whose levels are in levels_
  uint64_t newestQueued_ = UINT64_MAX;
  uint64_t clearedUpTo_ = UINT64_MAX;  // blocks up to this one are not shown (Clear)
  SpectrumLevels levels_{};
  std::atomic<uint64_t> analyses_{0};
};

}  // namespace tovira
