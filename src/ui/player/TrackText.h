#pragma once
// The texts the player window shows about a track: the elapsed time, the information panel (Qt
// rich text) and the window title. Pure functions of the facts, so they can be checked alone.

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace tovira {

// "mm:ss.hh" of a position in milliseconds: 03:07.25.
QString FormatElapsed(uint32_t ms);

// What the panel is built from; read from the file by ReadTrackFacts.
struct TrackFacts {
  std::string path;
  bool tagged = false;  // the file has an ID3v1 or ID3v2 tag
  std::optional<std::string> artist, title, album, year, genre;  // UTF-8, absent when not in the tag
  bool vbr = false;
  uint32_t bitrate = 0;     // bits per second of the first frame
  int32_t frequency = 0;    // Hz
  bool stereo = true;       // any channel mode but single channel
  double durationMs = 0.0;  // 0 when unknown
};

// Tags through the tag reader (ID3v2 and ID3v1) and the first frame's figures; nullopt when the
// file holds no MPEG audio.
std::optional<TrackFacts> ReadTrackFacts(const std::string& path);

struct TrackText {
  QString html;   // the information panel
  QString title;  // the window title
};

inline constexpr const char* kProgramTitle = "Tovira";

TrackText BuildTrackText(const TrackFacts& facts);

// The name that stands for the file in the window: the file name without its extension.
QString DisplayName(const std::string& path);

}  // namespace tovira
