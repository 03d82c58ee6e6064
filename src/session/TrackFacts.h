#pragma once
// What the player knows of a track before it plays: its tags and its first frame's figures, read
// once when the track starts, for the window's panel, the media keys' metadata and the playlist.

#include <cstdint>
#include <optional>
#include <string>

#include "tags/ReplayGain.h"
#include "tags/TagEncoding.h"

namespace tovira {

// Read from the file by ReadTrackFacts.
struct TrackFacts {
  std::string path;
  bool tagged = false;  // the file has an ID3v1, ID3v2 or APEv2 tag
  std::optional<std::string> artist, title, album, year, genre;  // UTF-8, absent when not in the tag
  bool vbr = false;
  uint32_t bitrate = 0;     // bits per second of the first frame
  int32_t frequency = 0;    // Hz
  bool stereo = true;       // any channel mode but single channel
  double durationMs = 0.0;  // 0 when unknown
  std::optional<std::string> albumArtist;
  ReplayGainInfo replayGain;
};

// Tags through the tag reader (ID3v2, ID3v1, APEv2; 8-bit texts in `encoding`) and the first
// frame's figures; nullopt when the file holds no MPEG audio.
std::optional<TrackFacts> ReadTrackFacts(const std::string& path, TagEncoding encoding = TagEncoding::Auto);

}  // namespace tovira
