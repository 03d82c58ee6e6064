#pragma once
// --replaygain for play and decode: the option, the gain of each file played, and a decode that
// applies a gain to the samples before they become 16-bit.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "Commands.h"
#include "decoder/PcmSink.h"
#include "tags/ReplayGain.h"

namespace tovira::cli {

inline constexpr char kReplayGainUsage[] = "[--replaygain off|track|album|auto]";

// Reads "--replaygain MODE" or "--replaygain=MODE" at args[i] (moving i past its value). 1: read,
// 0: another argument, -1: the option with a missing or unknown mode.
int TakeReplayGainOption(const Args& args, size_t& i, ReplayGainMode& mode);

// The gains of the files of one run, in the order they are played; in auto mode a file that
// follows the file just before it in the list and shares its album plays with album gain.
class ReplayGainRun {
 public:
  explicit ReplayGainRun(ReplayGainMode mode) { config_.mode = mode; }
  ReplayGainMode Mode() const { return config_.mode; }
  // The linear factor for files[index], which is about to play. Asked again for the same file
  // (handed to the engine ahead, then started afresh) it answers as before.
  double FactorFor(const std::string& path, size_t index);

 private:
  ReplayGainConfig config_;
  std::optional<size_t> previousIndex_;
  AlbumKey previousAlbum_;
  double previousFactor_ = 1.0;
};

// MpegDecoder::DecodeFile with the synthesis scaled by `gain`: the product is rounded and clipped
// to 16 bits once, so a gain loses nothing to an earlier truncation.
bool DecodeFileWithGain(const std::string& path, PcmSink& sink, double gain, std::string* error,
                        uint64_t* damagedFrames);

}  // namespace tovira::cli
