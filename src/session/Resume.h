#pragma once
// Where the player was when it was closed, so that the next start comes back to it: the row, its
// file and the position heard. Kept in a small file beside the default playlist ("tvra.rsm"),
// replaced whole: while a track plays every couple of seconds (so a kill loses at most that
// much), at once when playback pauses, stops or changes track, and at close. "Main"/"Resume" (on
// unless 0) turns it off.
//
// At the next start the point read is held until its row has been read into the playlist; then it
// is armed: the session shows it while stopped, and the next start of that file plays from there.
// Anything else started first lets it go.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tovira {

class Clock;
class ClockTimer;
class PlaylistModel;
class Settings;

struct ResumePoint {
  std::string path;
  // In the file: the row's place among the entries of the default playlist as written (its row
  // at the next start); -1 for a file played outside the playlist. For the keeper's `where` and
  // from Arrived: a display row.
  int row = -1;
  uint32_t positionMs = 0;
  bool operator==(const ResumePoint&) const = default;
};

// The file's text and back; nullopt for any text the format does not allow.
std::string FormatResumePoint(const ResumePoint& point);
std::optional<ResumePoint> ParseResumePoint(std::string_view text);

// The place among the default playlist's written entries of display row `row`; -1 for none.
int SavedRowOf(const PlaylistModel& playlist, int row);

class ResumeKeeper {
 public:
  static constexpr char kFileName[] = "tvra.rsm";

  // `where` says what is current now: its path (empty: nothing), display row (-1: not from the
  // playlist) and position. The file lives in the playlist's data folder.
  ResumeKeeper(const PlaylistModel& playlist, Clock& clock, Settings* settings, std::function<ResumePoint()> where,
               std::chrono::milliseconds period = std::chrono::milliseconds(2000));
  ~ResumeKeeper();

  bool Enabled() const { return enabled_; }
  std::filesystem::path File() const { return file_; }

  // Reads what the last run left and holds it for its row.
  void Expect();
  // The held point with its display row, once, when that row has arrived; it is armed from then.
  // The row is the saved one while it holds the path; else, once the saved row has arrived or the
  // load has ended, the first row that holds it (the playlist changed since).
  std::optional<ResumePoint> Arrived();
  // The armed point (row: as saved), or null.
  const ResumePoint* Armed() const { return armed_ ? &*held_ : nullptr; }
  // Moves the armed point (a seek while stopped); false when none is armed.
  bool MoveArmed(uint32_t ms);
  // `path` starts: what is held is let go; its position when it was armed for this very file.
  std::optional<uint32_t> Take(const std::string& path);

  // Playback runs (ticks) or not; each call saves what changed.
  void Follow(bool playing);
  // Writes the current point when it differs from the one on disk. A failure is silent: the
  // next save tries again.
  void Save();
  // Saves, then writes nothing more until playback starts again.
  void Close();

 private:
  const PlaylistModel& playlist_;
  std::function<ResumePoint()> where_;
  std::chrono::milliseconds period_;
  std::unique_ptr<ClockTimer> timer_;
  std::filesystem::path file_;
  bool enabled_ = true;
  bool closed_ = false;
  std::optional<ResumePoint> held_;  // read at the start, until something else plays
  bool armed_ = false;
  int scanned_ = 0;  // rows already searched for the held path
  std::string written_;  // what the file holds, as far as this run knows
};

}  // namespace tovira
