#include "session/Resume.h"

#include <charconv>
#include <system_error>

#include "playlist/PlaylistModel.h"
#include "session/Clock.h"
#include "util/AtomicFile.h"
#include "util/RegularFile.h"
#include "util/Settings.h"

namespace tovira {

namespace {

constexpr size_t kMaxFileBytes = 64 * 1024;  // a path and two numbers

// The text after `key` up to the end of its line; the rest of `text` follows in `rest`.
std::optional<std::string> Field(std::string_view text, std::string_view key, std::string_view* rest) {
  if (text.substr(0, key.size()) != key) return std::nullopt;
  const size_t end = text.find('\n');
  if (end == std::string_view::npos) return std::nullopt;
  *rest = text.substr(end + 1);
  return std::string(text.substr(key.size(), end - key.size()));
}

// All of `text` is one number in T's range.
template <typename T>
bool WholeNumber(const std::string& text, T& value) {
  const char* end = text.data() + text.size();
  const auto [at, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && at == end && !text.empty();
}

}  // namespace

std::string FormatResumePoint(const ResumePoint& point) {
  return "row=" + std::to_string(point.row) + "\nposition=" + std::to_string(point.positionMs) + "\npath=" +
         point.path + "\n";
}

std::optional<ResumePoint> ParseResumePoint(std::string_view text) {
  std::string_view rest;
  const auto row = Field(text, "row=", &rest);
  if (!row) return std::nullopt;
  const auto position = Field(rest, "position=", &rest);
  if (!position || rest.substr(0, 5) != "path=") return std::nullopt;
  // The path runs to the end of the file, so any name (one with a line break too) comes back.
  std::string_view path = rest.substr(5);
  if (path.empty() || path.back() != '\n') return std::nullopt;
  path.remove_suffix(1);
  int r = 0;
  uint32_t ms = 0;
  if (!WholeNumber(*row, r) || r < -1 || !WholeNumber(*position, ms)) return std::nullopt;
  if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
  return ResumePoint{std::string(path), r, ms};
}

int SavedRowOf(const PlaylistModel& playlist, int row) {
  if (row < 0 || row >= playlist.RowCount()) return -1;
  // The default playlist is written in entry order, removed entries left out: the rows numbered
  // below this one come before it.
  const int number = playlist.Row(row).number;
  int place = 0;
  for (const auto& r : playlist.Rows()) place += r.number < number ? 1 : 0;
  return place;
}

ResumeKeeper::ResumeKeeper(const PlaylistModel& playlist, Clock& clock, Settings* settings,
                           std::function<ResumePoint()> where, std::chrono::milliseconds period)
    : playlist_(playlist), where_(std::move(where)), period_(period), timer_(clock.MakeTimer()) {
  const auto folder = playlist_.DefaultPlaylistPath().parent_path();
  if (!folder.empty()) file_ = folder / kFileName;
  enabled_ = !file_.empty() && (!settings || settings->ReadInt("Main", "Resume", 1) != 0);
  timer_->onTimeout = [this] { Save(); };
}

ResumeKeeper::~ResumeKeeper() = default;

void ResumeKeeper::Expect() {
  if (!enabled_) return;
  const auto text = ReadRegularFile(file_.string(), kMaxFileBytes);
  if (!text) return;
  held_ = ParseResumePoint(*text);
  armed_ = false;
  scanned_ = 0;
  if (held_) written_ = FormatResumePoint(*held_);
}

std::optional<ResumePoint> ResumeKeeper::Arrived() {
  if (!held_ || armed_) return std::nullopt;
  const int count = playlist_.RowCount();
  int row = -1;
  if (held_->row >= 0 && held_->row < count && playlist_.PathOfRow(held_->row) == held_->path) {
    row = held_->row;
  } else if (held_->row < count || !playlist_.IsLoading()) {
    for (; scanned_ < count && row < 0; ++scanned_) {
      if (playlist_.PathOfRow(scanned_) == held_->path) row = scanned_;
    }
  }
  if (row < 0) return std::nullopt;
  armed_ = true;
  held_->row = SavedRowOf(playlist_, row);
  ResumePoint found = *held_;
  found.row = row;
  return found;
}

bool ResumeKeeper::MoveArmed(uint32_t ms) {
  if (!armed_) return false;
  held_->positionMs = ms;
  return true;
}

std::optional<uint32_t> ResumeKeeper::Take(const std::string& path) {
  std::optional<uint32_t> at;
  if (armed_ && held_->path == path) at = held_->positionMs;
  held_.reset();
  armed_ = false;
  return at;
}

void ResumeKeeper::Follow(bool playing) {
  if (!enabled_) return;
  if (playing) {
    closed_ = false;
    if (!timer_->IsActive()) timer_->Start(period_, true);
  } else {
    timer_->Stop();
  }
  Save();
}

void ResumeKeeper::Save() {
  if (!enabled_ || closed_) return;
  ResumePoint point;
  if (held_) {
    point = *held_;  // not played yet: kept as read
  } else {
    point = where_();
    if (point.path.empty()) return;
    point.row = SavedRowOf(playlist_, point.row);
  }
  const std::string text = FormatResumePoint(point);
  if (text == written_) return;
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  if (WriteFileAtomically(file_, text, &ec)) written_ = text;
}

void ResumeKeeper::Close() {
  Save();
  closed_ = true;
  timer_->Stop();
}

}  // namespace tovira
