#pragma once
// The texts the player window shows about a track: the elapsed time, the information panel (Qt
// rich text) and the window title. Pure functions of the facts, so they can be checked alone.

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

#include "session/TrackFacts.h"

namespace tovira {

// "mm:ss.hh" of a position in milliseconds: 03:07.25.
QString FormatElapsed(uint32_t ms);
// A time as it is read out, in whole seconds (truncated): "3:07", "0:05", "1:02:03".
QString FormatSpokenTime(uint64_t ms);


struct TrackText {
  QString html;   // the information panel
  QString title;  // the window title
};

inline constexpr const char* kProgramTitle = "Tovira";

TrackText BuildTrackText(const TrackFacts& facts);

// The name that stands for the file in the window: the file name without its extension.
QString DisplayName(const std::string& path);

}  // namespace tovira
