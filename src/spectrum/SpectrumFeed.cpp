#include "spectrum/SpectrumFeed.h"

#include <algorithm>
#include <cstring>

namespace tovira {

void SpectrumFeed::OnBlockQueued(uint64_t sequence, const uint8_t* data, size_t bytes, const PcmFormat& format) {
  // Only 16-bit stereo is analysed; anything else shows as silence.
  size_t frames = 0;
  if (format.bitsPerSample == 16 && format.channels == 2) {
    frames = std::min<size_t>(bytes / 4, SpectrumAnalyzer::kFftSize);
  }
  std::lock_guard lock(mutex_);
  newestQueued_ = sequence;
  Slot& s = slots_[sequence % kSlots];
  s.sequence = sequence;
  s.frames = frames;
  std::memcpy(s.samples.data(), data, frames * 4);
}

void SpectrumFeed::OnBlockHeard(uint64_t sequence) {
  std::lock_guard lock(mutex_);
  // Told by the decode thread and by the display, each with what it last saw: the newest wins.
  if (clearedUpTo_ != UINT64_MAX && sequence <= clearedUpTo_) return;
  if (heard_ == UINT64_MAX || sequence > heard_) heard_ = sequence;
}

void SpectrumFeed::OnReset() {
  std::lock_guard lock(mutex_);
  // Sequence numbers start again after the output reopens: forget the old blocks.
  for (Slot& s : slots_) s.sequence = UINT64_MAX;
  heard_ = UINT64_MAX;
  newestQueued_ = UINT64_MAX;
  clearedUpTo_ = UINT64_MAX;
}

SpectrumLevels SpectrumFeed::Levels() {
  Slot copy;
  {
    std::lock_guard lock(mutex_);
    if (heard_ == UINT64_MAX || heard_ == analysed_) return levels_;
    const Slot& s = slots_[heard_ % kSlots];
    analysed_ = heard_;
    if (s.sequence != heard_) {
      levels_ = {};
      return levels_;
    }
    copy.frames = s.frames;
    std::memcpy(copy.samples.data(), s.samples.data(), s.frames * 4);
  }
  const SpectrumLevels fresh = analyzer_.Analyze(copy.samples.data(), copy.frames);
  analyses_.fetch_add(1);
  std::lock_guard lock(mutex_);
  // A newer block may have been heard meanwhile; these levels are still the newest computed.
  levels_ = fresh;
  return levels_;
}

void SpectrumFeed::Clear() {
  std::lock_guard lock(mutex_);
  levels_ = {};
  analysed_ = heard_;
  // Blocks queued before now are not shown even if they are still heard.
  clearedUpTo_ = newestQueued_;
}

}  // namespace tovira
