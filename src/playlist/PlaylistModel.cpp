#include "playlist/PlaylistModel.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "playlist/PlaylistFiles.h"
#include "playlist/PlaylistSort.h"
#include "tags/TagInfo.h"
#include "util/AtomicFile.h"

namespace tovira {

namespace {

constexpr size_t kBatchSize = 20;
constexpr char kDefaultName[] = "tvra.dfl";

// Tag texts may hold line breaks; an #EXTINF line must stay one line.
std::string OneLine(std::string s) {
  for (auto& c : s) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return s;
}

// An empty path names no file, and a NUL would make the default playlist unreadable.
bool NamesAFile(const std::string& path) { return !path.empty() && path.find('\0') == std::string::npos; }

// The record of a file that cannot be read: it keeps its path and shows its file name.
TrackRecord UnavailableRecord(const std::string& path) {
  TrackRecord r;
  r.path = path;
  r.title = std::filesystem::path(path).filename().string();
  if (r.title.empty()) r.title = path;  // a path ending in "/"
  return r;
}

}  // namespace

std::string FormatRowDuration(uint32_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2u:%.2u", seconds / 60, seconds % 60);
  return text;
}

TrackRecord ReadTrackRecord(const std::string& path, TagInfo& tags) {
  if (!tags.ReadFile(path)) return UnavailableRecord(path);
  TrackRecord r;
  r.path = path;
  r.available = true;
  r.artist = tags.Artist().value_or(std::string());
  r.title = tags.Title().value_or(std::string());
  r.album = tags.Album().value_or(std::string());
  r.year = tags.Year().value_or(std::string());
  r.genre = tags.Genre().value_or(std::string());
  r.seconds = tags.Duration();
  r.duration = FormatRowDuration(r.seconds);
  return r;
}

PlaylistModel::PlaylistModel(Options options, Callbacks callbacks)
    : options_(std::move(options)), callbacks_(std::move(callbacks)) {
  if (options_.dataFolder.empty()) options_.dataFolder = DefaultDataFolder();
  uint64_t seed = options_.shuffleSeed;
  if (seed == 0) {
    std::random_device device;
    seed = (static_cast<uint64_t>(device()) << 32) ^ device();
  }
  random_.seed(seed);
}

PlaylistModel::~PlaylistModel() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
  // The load state is frozen now; whatever was still waiting to be read is saved with the rest.
  if (dirty_) SaveDefaultPlaylist();
}

void PlaylistModel::MarkChanged() {
  dirty_ = true;
  if (callbacks_.changed) callbacks_.changed();
}

// ---------------------------------------------------------------------------------------------
// Loading

void PlaylistModel::AddPaths(std::vector<std::string> paths, uint64_t tag) {
  std::erase_if(paths, [](const std::string& p) { return !NamesAFile(p); });
  if (paths.empty()) return;
  Enqueue(std::move(paths), false, tag);
  MarkChanged();
}

void PlaylistModel::Enqueue(std::vector<std::string> paths, bool fromDefaultFile, uint64_t tag) {
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(Request{std::move(paths), generation_, fromDefaultFile, tag});
    if (!worker_.joinable()) worker_ = std::thread(&PlaylistModel::LoadThread, this);
  }
  wake_.notify_one();
}

void PlaylistModel::LoadThread() {
  for (;;) {
    Request request;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || !requests_.empty(); });
      if (stop_) return;
      // The request stays queued while its playlists are expanded, so a save meanwhile keeps it.
      request = requests_.front();
    }
    RunRequest(request);
  }
}

void PlaylistModel::RunRequest(const Request& request) {
  std::vector<std::string> pending;
  // A playlist line in the default file (a load cut short by the exit) expands to other entries
  // than the file holds: those rows are a change to be saved.
  bool sameAsDefaultFile = request.fromDefaultFile;
  for (const auto& path : request.paths) {
    if (stop_) return;
    if (IsPlaylistName(path)) {
      sameAsDefaultFile = false;
      for (auto& entry : ReadM3u(path)) {
        if (NamesAFile(entry)) pending.push_back(std::move(entry));
      }
    } else if (NamesAFile(path)) {
      pending.push_back(path);
    }
  }
  {
    std::lock_guard lock(mutex_);
    if (stop_) return;
    if (request.generation != generation_ || requests_.empty()) return;  // cleared meanwhile
    requests_.pop_front();
    currentPaths_ = pending;
    currentHanded_ = 0;
    currentActive_ = true;
  }

  TagInfo tags;
  std::vector<TrackRecord> staging;
  staging.reserve(kBatchSize);
  const size_t n = pending.size();
  for (size_t i = 0; i < n; ++i) {
    if (stop_ || liveGeneration_ != request.generation) return;
    TrackRecord record;
    try {
      record = ReadTrackRecord(pending[i], tags);
    } catch (...) {
      record = UnavailableRecord(pending[i]);  // a file that defeats the reader cannot be read
    }
    staging.push_back(std::move(record));
    if (staging.size() == kBatchSize || i + 1 == n) {
      const size_t count = staging.size();
      {
        std::lock_guard lock(mutex_);
        if (stop_ || generation_ != request.generation) return;
        const bool firstBatch = currentHanded_ == 0;
        ready_.push_back(Batch{request.generation, sameAsDefaultFile, firstBatch ? request.tag : 0, std::move(staging)});
        currentHanded_ = i + 1;
      }
      staging = {};
      staging.reserve(kBatchSize);
      if (callbacks_.batchReady) callbacks_.batchReady(count);
    }
  }
  std::lock_guard lock(mutex_);
  if (request.generation == generation_) {
    // Only now, after the last batchReady: a waiter that wakes up sees every batch announced.
    currentActive_ = false;
    currentPaths_.clear();
  }
  idle_.notify_all();
}

int PlaylistModel::DeliverBatches() {
  std::deque<Batch> batches;
  {
    std::lock_guard lock(mutex_);
    batches.swap(ready_);
  }
  int added = 0;
  for (auto& batch : batches) {
    // A callback may have cleared the playlist: the rest of these batches went with it.
    if (batch.generation != generation_) continue;
    const int first = RowCount();
    const int count = static_cast<int>(batch.records.size());
    if (count == 0) continue;
    if (observer_) observer_->RowsAboutToBeInserted(first, count);
    for (auto& record : batch.records) {
      PlaylistRow row;
      row.number = static_cast<int>(paths_.size()) + 1;
      row.texts = {std::to_string(row.number), std::move(record.artist), std::move(record.title),
                   std::move(record.album),    std::move(record.year),   std::move(record.genre),
                   std::move(record.duration)};
      row.seconds = record.seconds;
      row.available = record.available;
      rows_.push_back(std::move(row));
      paths_.push_back(std::move(record.path));
    }
    added += count;
    if (!batch.fromDefaultFile) MarkChanged();
    if (observer_) observer_->RowsInserted(first, count);
    if (callbacks_.rowsAdded) callbacks_.rowsAdded(first, RowCount());
    if (batch.firstOfTag != 0 && callbacks_.firstRowArrived && batch.generation == generation_) {
      callbacks_.firstRowArrived(batch.firstOfTag, first);
    }
  }
  return added;
}

bool PlaylistModel::IsLoading() const {
  std::lock_guard lock(mutex_);
  return !requests_.empty() || currentActive_;
}

void PlaylistModel::WaitForLoad() const {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return (requests_.empty() && !currentActive_) || stop_; });
}

bool PlaylistModel::WaitForLoad(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, timeout, [this] { return (requests_.empty() && !currentActive_) || stop_; });
}

// ---------------------------------------------------------------------------------------------
// Rows

std::string PlaylistModel::PathOfRow(int displayIndex) const {
  if (displayIndex < 0 || displayIndex >= RowCount()) return {};
  const int entry = rows_[static_cast<size_t>(displayIndex)].number - 1;
  if (entry < 0 || entry >= static_cast<int>(paths_.size())) return {};
  return paths_[static_cast<size_t>(entry)];
}

void PlaylistModel::SetCurrentRow(int row) {
  const int previous = currentRow_;
  currentRow_ = row;
  if (observer_ && previous != row) observer_->CurrentRowChanged(previous, row);
}

void PlaylistModel::SetPlayingRow(int displayIndex) {
  const int previous = playingRow_;
  playingRow_ = displayIndex;
  if (observer_ && previous != displayIndex) observer_->PlayingRowChanged(previous, displayIndex);
}

void PlaylistModel::StartRowAt(int displayIndex) {
  SetPlayingRow(displayIndex);
  if (callbacks_.startRow) callbacks_.startRow(PathOfRow(displayIndex));
}

void PlaylistModel::ReorderRows(const std::function<void()>& reorder) {
  const int playing = playingRow_ >= 0 && playingRow_ < RowCount() ? rows_[static_cast<size_t>(playingRow_)].number : 0;
  if (observer_) observer_->LayoutAboutToBeChanged();
  reorder();
  if (playing != 0) {
    const auto it = std::find_if(rows_.begin(), rows_.end(), [playing](const PlaylistRow& r) { return r.number == playing; });
    playingRow_ = it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
  }
  if (observer_) observer_->LayoutChanged();
}

bool PlaylistModel::PlayNext() {
  const int next = currentRow_ + 1;
  if (next >= RowCount()) {
    // An empty playlist keeps no current row, so the first row added is the next one to play.
    SetCurrentRow(RowCount() - 1);
    return false;
  }
  SetCurrentRow(next);
  StartRowAt(next);
  return true;
}

void PlaylistModel::PlayPrevious() {
  const int previous = currentRow_ - 1;
  SetCurrentRow(std::max(previous, 0));
  if (previous >= 0 && previous < RowCount()) StartRowAt(previous);
}

bool PlaylistModel::StartRow(int displayIndex) {
  // Bounded by the rows shown, not the entries: after removals there are fewer rows.
  if (displayIndex < 0 || displayIndex >= RowCount()) return false;
  SetCurrentRow(displayIndex);
  StartRowAt(displayIndex);
  return true;
}

void PlaylistModel::MarkPlaying(int displayIndex) {
  if (displayIndex < 0 || displayIndex >= RowCount()) return;
  SetCurrentRow(displayIndex);
  SetPlayingRow(displayIndex);
}

void PlaylistModel::RefreshRow(int displayIndex) {
  const std::string path = PathOfRow(displayIndex);
  if (path.empty()) return;
  TagInfo tags;
  TrackRecord record;
  try {
    record = ReadTrackRecord(path, tags);
  } catch (...) {
    record = UnavailableRecord(path);
  }
  auto& row = rows_[static_cast<size_t>(displayIndex)];
  row.texts[kColumnArtist] = std::move(record.artist);
  row.texts[kColumnTitle] = std::move(record.title);
  row.texts[kColumnAlbum] = std::move(record.album);
  row.texts[kColumnYear] = std::move(record.year);
  row.texts[kColumnGenre] = std::move(record.genre);
  row.texts[kColumnDuration] = std::move(record.duration);
  row.seconds = record.seconds;
  row.available = record.available;
  if (observer_) observer_->RowChanged(displayIndex);
}

void PlaylistModel::RemoveRows(std::vector<int> displayIndexes) {
  std::sort(displayIndexes.begin(), displayIndexes.end());
  displayIndexes.erase(std::unique(displayIndexes.begin(), displayIndexes.end()), displayIndexes.end());
  std::erase_if(displayIndexes, [this](int i) { return i < 0 || i >= RowCount(); });
  // Contiguous runs, highest first: the indexes of each run still hold when it is announced.
  for (size_t end = displayIndexes.size(); end > 0;) {
    size_t begin = end - 1;
    while (begin > 0 && displayIndexes[begin - 1] == displayIndexes[begin] - 1) --begin;
    const int first = displayIndexes[begin];
    const int count = static_cast<int>(end - begin);
    if (observer_) observer_->RowsAboutToBeRemoved(first, count);
    for (int i = first; i < first + count; ++i) {
      const int entry = rows_[static_cast<size_t>(i)].number - 1;
      if (entry >= 0 && entry < static_cast<int>(paths_.size())) paths_[static_cast<size_t>(entry)].clear();
    }
    rows_.erase(rows_.begin() + first, rows_.begin() + first + count);
    if (playingRow_ >= first + count) {
      playingRow_ -= count;
    } else if (playingRow_ >= first) {
      playingRow_ = -1;
    }
    if (observer_) observer_->RowsRemoved(first, count);
    end = begin;
  }
  if (!displayIndexes.empty()) MarkChanged();
}

void PlaylistModel::Clear() {
  {
    std::lock_guard lock(mutex_);
    ++generation_;
    liveGeneration_ = generation_;
    requests_.clear();
    ready_.clear();
    currentActive_ = false;
    currentPaths_.clear();
  }
  idle_.notify_all();
  if (observer_) observer_->ModelAboutToBeReset();
  rows_.clear();
  paths_.clear();
  playingRow_ = -1;
  if (observer_) observer_->ModelReset();
  // The rows it pointed at are gone: the next Play starts from the first of the new rows.
  SetCurrentRow(-1);
  MarkChanged();
}

void PlaylistModel::Shuffle() {
  ReorderRows([this] { std::shuffle(rows_.begin(), rows_.end(), random_); });
}

void PlaylistModel::SortColumn(int column, bool ascending) {
  if (column < 0 || column >= kColumnCount) return;
  sortColumn_ = column;
  sortAscending_ = ascending;
  const auto c = static_cast<size_t>(column);
  ReorderRows([this, c, ascending] {
    if (ascending) {
      SafeStableSort(rows_, [c](const PlaylistRow& x, const PlaylistRow& y) {
        return CompareColumnTexts(x.texts[c], y.texts[c]) < 0;
      });
    } else {
      SafeStableSort(rows_, [c](const PlaylistRow& x, const PlaylistRow& y) {
        return CompareColumnTexts(y.texts[c], x.texts[c]) < 0;
      });
    }
  });
}

void PlaylistModel::ClickColumn(int column) {
  SortColumn(column, column == sortColumn_ ? !sortAscending_ : true);
}

// ---------------------------------------------------------------------------------------------
// Files

std::string PlaylistModel::M3uText() const {
  // The #EXTINF texts are the ones the rows already show: saving never waits on the files again.
  std::vector<int> rowOfEntry(paths_.size(), -1);
  for (size_t r = 0; r < rows_.size(); ++r) {
    const int entry = rows_[r].number - 1;
    if (entry >= 0 && entry < static_cast<int>(paths_.size())) rowOfEntry[static_cast<size_t>(entry)] = static_cast<int>(r);
  }
  std::string text = "#EXTM3U";
  for (size_t i = 0; i < paths_.size(); ++i) {
    if (paths_[i].empty()) continue;
    uint32_t seconds = 0;
    std::string artist, title;
    if (rowOfEntry[i] >= 0) {
      const auto& row = rows_[static_cast<size_t>(rowOfEntry[i])];
      seconds = row.seconds;
      artist = OneLine(row.texts[kColumnArtist]);
      title = OneLine(row.texts[kColumnTitle]);
    }
    text += "\n#EXTINF:" + std::to_string(seconds) + "," + artist + " - " + title + "\n" + LineForEntry(paths_[i]);
  }
  return text;
}

bool PlaylistModel::SavePlaylist(const std::string& file, std::string* reason) const {
  return WriteFileAtomically(file, M3uText(), reason);
}

std::filesystem::path PlaylistModel::DefaultPlaylistPath() const {
  if (options_.dataFolder.empty()) return {};
  return options_.dataFolder / kDefaultName;
}

std::vector<std::string> PlaylistModel::SnapshotForDefault() const {
  std::vector<std::string> all;
  for (const auto& p : paths_) {
    if (!p.empty()) all.push_back(p);
  }
  std::lock_guard lock(mutex_);
  for (const auto& batch : ready_) {
    for (const auto& r : batch.records) {
      if (!r.path.empty()) all.push_back(r.path);
    }
  }
  if (currentActive_) {
    for (size_t i = currentHanded_; i < currentPaths_.size(); ++i) {
      if (!currentPaths_[i].empty()) all.push_back(currentPaths_[i]);
    }
  }
  for (const auto& request : requests_) {
    for (const auto& p : request.paths) {
      if (!p.empty()) all.push_back(p);
    }
  }
  return all;
}

bool PlaylistModel::SaveDefaultPlaylist(std::string* reason) {
  if (reason) reason->clear();
  const auto file = DefaultPlaylistPath();
  if (file.empty() || !defaultActive_ || defaultBlocked_) return false;
  std::string text;
  for (const auto& p : SnapshotForDefault()) text += LineForEntry(p) + "\n";
  std::error_code ec;
  std::filesystem::create_directories(options_.dataFolder, ec);
  // The folder's own failure says more than the missing folder the write would then find.
  if (ec) {
    if (reason) *reason = WriteFailureReason(ec);
    return false;
  }
  if (!WriteFileAtomically(file, text, reason)) return false;
  dirty_ = false;
  return true;
}

bool PlaylistModel::LoadDefaultPlaylist() {
  defaultActive_ = true;
  const auto file = DefaultPlaylistPath();
  if (file.empty()) return true;
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(file, ec);
  if (status.type() == std::filesystem::file_type::not_found) return true;  // first start
  const auto text = ReadTextFile(file.string());
  if (!text || text->find('\0') != std::string::npos) {
    // Unreadable or not text: keep it for the user and never write over it.
    for (int i = 1; i <= 100; ++i) {
      auto aside = file;
      aside += i == 1 ? std::string(".bak") : ".bak." + std::to_string(i);
      if (std::filesystem::exists(std::filesystem::symlink_status(aside, ec))) continue;
      std::filesystem::rename(file, aside, ec);
      if (!ec) return false;
      break;
    }
    defaultBlocked_ = true;
    return false;
  }
  std::vector<std::string> entries;
  for (const auto& line : SplitLines(*text)) {
    if (!line.empty()) entries.push_back(EntryFromLine(line, options_.dataFolder));
  }
  // The file's own content: loading it is no change that needs writing back.
  if (!entries.empty()) Enqueue(std::move(entries), true, 0);
  return true;
}

}  // namespace tovira
