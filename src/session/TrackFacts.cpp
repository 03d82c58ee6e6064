#include "session/TrackFacts.h"

#include "tags/TagInfo.h"

namespace tovira {

std::optional<TrackFacts> ReadTrackFacts(const std::string& path, TagEncoding encoding) {
  TagInfo tags(encoding);
  if (!tags.ReadFile(path)) return std::nullopt;
  TrackFacts f;
  f.path = path;
  f.tagged = tags.HasV1Tag() || tags.HasV2Tag() || tags.HasApeTag();
  f.artist = tags.Artist();
  if (!tags.TitleIsFileName()) f.title = tags.Title();
  f.album = tags.Album();
  f.year = tags.Year();
  f.genre = tags.Genre();
  f.vbr = tags.IsVbr();
  f.bitrate = tags.Bitrate();
  f.frequency = tags.Frequency();
  f.stereo = tags.IsStereo();
  f.durationMs = tags.DurationMs();
  f.albumArtist = tags.AlbumArtist();
  f.replayGain = tags.ReplayGain();
  return f;
}

}  // namespace tovira
