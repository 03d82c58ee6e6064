#include "playlist/PlaylistModel.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "playlist/PlaylistFiles.h"
#include "playlist/PlaylistSort.h"
#include "tags/TagInfo.h"
#include "util/AtomicFile.h"

namespace tovira {

namespace {

constexpr size_t kBatchSize = 20;
constexpr char kDefaultName[] = "tvra.dfl";

// An empty path names no file, and a NUL would make the default playlist unreadable.
bool NamesAFile(std::string_view path) { return !path.empty() && path.find('\0') == std::string_view::npos; }

// The record of a file that cannot be read: it keeps its path and shows its file name.
TrackRecord UnavailableRecord(const std::string& path) {
  TrackRecord r;
  r.path = path;
  r.title = std::filesystem::path(path).filename().string();
  if (r.title.empty()) r.title = path;  // a path ending in "/"
  return r;
}

// A file that cannot be read shows what its playlist told of it, where it told something.
void ApplyHint(TrackRecord& r, std::string_view packed) {
  const EntryHint hint = UnpackHint(packed);
  r.artist = hint.artist;
  if (!hint.title.empty()) r.title = hint.title;
  if (hint.seconds > 0) {
    r.seconds = hint.seconds;
    r.duration = FormatRowDuration(hint.seconds);
  }
}


size_t LengthBytes(size_t n) {
  size_t bytes = 1;
  for (; n >= 0x80; n >>= 7) ++bytes;
  return bytes;
}

void PutLength(char*& out, size_t n) {
  for (; n >= 0x80; n >>= 7) *out++ = static_cast<char>(0x80 | (n & 0x7F));
  *out++ = static_cast<char>(n);
}

size_t GetLength(const char*& in) {
  size_t n = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*in++);
    n |= static_cast<size_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return n;
  }
}

// A record's strings, the path first, as views.
struct RecordView {
  std::array<std::string_view, 7> strings;
  uint32_t seconds = 0;
  bool available = false;
};

RecordView ViewOf(const TrackRecord& r) {
  return {{r.path, r.artist, r.title, r.album, r.year, r.genre, r.duration}, r.seconds, r.available};
}

// Its seconds, its availability, the lengths of its strings, then their bytes.
void PackRecord(std::string& into, const TrackRecord& r) {
  const RecordView view = ViewOf(r);
  char head[10 + 1 + 7 * 10];
  char* out = head;
  PutLength(out, view.seconds);
  *out++ = view.available ? 1 : 0;
  for (const auto s : view.strings) PutLength(out, s.size());
  into.append(head, static_cast<size_t>(out - head));
  for (const auto s : view.strings) into.append(s);
}

// The record packed at `at`, which moves on to the next one.
RecordView UnpackRecord(const std::string& packed, size_t& at) {
  const char* in = packed.data() + at;
  RecordView r;
  r.seconds = static_cast<uint32_t>(GetLength(in));
  r.available = *in++ != 0;
  std::array<size_t, 7> lengths;
  for (auto& n : lengths) n = GetLength(in);
  for (size_t k = 0; k < lengths.size(); ++k) {
    r.strings[k] = {in, lengths[k]};
    in += lengths[k];
  }
  at = static_cast<size_t>(in - packed.data());
  return r;
}

// Rows are made on the owner's thread: a load thread that kept allocating them would leave its
// heap strewn with them, and every allocation of the tag reader after would be slower.
PlaylistRow RowOfRecord(const RecordView& r, int number) {
  const auto& s = r.strings;
  return PlaylistRow(number, {std::string_view(), s[1], s[2], s[3], s[4], s[5], s[6]}, s[0], r.seconds, r.available);
}

}  // namespace

// The block: one byte with a bit for each field that is not empty, the lengths of those fields,
// then their bytes. An empty field costs nothing.
PlaylistRow::PlaylistRow(int number_, const std::array<std::string_view, kColumnCount>& texts, std::string_view path,
                         uint32_t seconds_, bool available_)
    : seconds(seconds_), available(available_) {
  static_assert(kFields <= 8, "one bit a field in the first byte");
  SetNumber(number_);
  std::array<std::string_view, kFields> fields;
  std::copy(texts.begin() + 1, texts.end(), fields.begin());
  fields[kFields - 1] = path;
  unsigned present = 0;
  size_t size = 1;
  for (size_t f = 0; f < kFields; ++f) {
    if (fields[f].empty()) continue;
    present |= 1u << f;
    size += LengthBytes(fields[f].size()) + fields[f].size();
  }
  if (present == 0) return;
  data_ = std::make_unique_for_overwrite<char[]>(size);
  char* out = data_.get();
  *out++ = static_cast<char>(present);
  for (const auto& field : fields) {
    if (!field.empty()) PutLength(out, field.size());
  }
  for (const auto& field : fields) {
    if (field.empty()) continue;
    std::memcpy(out, field.data(), field.size());
    out += field.size();
  }
}

std::string_view PlaylistRow::Field(size_t field) const {
  if (!data_ || field >= kFields) return {};
  const char* in = data_.get();
  const auto present = static_cast<unsigned char>(*in++);
  if ((present >> field & 1) == 0) return {};
  size_t offset = 0, length = 0;
  for (size_t f = 0; f < kFields; ++f) {
    if ((present >> f & 1) == 0) continue;
    const size_t n = GetLength(in);
    if (f < field) offset += n;
    if (f == field) length = n;
  }
  return {in + offset, length};
}

void PlaylistRow::SetNumber(int n) {
  number = n;
  const auto end = std::to_chars(numberText_.data(), numberText_.data() + numberText_.size(), n).ptr;
  numberLength_ = static_cast<uint8_t>(end - numberText_.data());
}

std::string_view PlaylistRow::Text(int column) const {
  if (column == kColumnNumber) return {numberText_.data(), numberLength_};
  return column > 0 && column < kColumnCount ? Field(static_cast<size_t>(column - 1)) : std::string_view();
}

std::string_view PlaylistRow::Path() const { return Field(kFields - 1); }

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
    : options_(std::move(options)),
      callbacks_(std::move(callbacks)),
      tagEncoding_(options_.tagEncoding),
      loadEncoding_(options_.tagEncoding) {
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
  Enqueue(PathList(paths), false, tag);
  MarkChanged();
}

void PlaylistModel::Enqueue(PathList paths, bool fromDefaultFile, uint64_t tag) {
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(Request{std::make_shared<PathList>(std::move(paths)), generation_, fromDefaultFile, tag, nullptr});
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
  // A playlist line in the default file (a load cut short by the exit) expands to other entries
  // than the file holds: those rows are a change to be saved.
  bool sameAsDefaultFile = request.fromDefaultFile;
  // Without playlists to expand, the request's own list is read as it is, not copied: the copy
  // starts at the first path that is a playlist or names no file. Rows read again keep their paths.
  std::shared_ptr<PathList> pending = request.paths;
  std::shared_ptr<PathList> hints;  // one for each pending path, or none at all
  const PathList& input = *request.paths;
  PlaylistEntries expanded;
  bool copying = false;
  for (size_t i = 0; !request.reread && i < input.size(); ++i) {
    if (stop_) return;
    const std::string_view path = input[i];
    const bool names = NamesAFile(path);
    const PlaylistFormat format = names ? PlaylistFormatOfFile(path) : PlaylistFormat::kNone;
    if (!copying) {
      if (names && format == PlaylistFormat::kNone) continue;
      copying = true;
      expanded.paths.Reserve(i);
      for (size_t k = 0; k < i; ++k) expanded.Add(input[k], {});
    }
    if (format != PlaylistFormat::kNone) {
      sameAsDefaultFile = false;
      AppendPlaylist(std::string(path), format, expanded, &stop_);
    } else if (names) {
      expanded.Add(path, {});
    }
  }
  if (copying) {
    pending = std::make_shared<PathList>(std::move(expanded.paths));
    if (!expanded.hints.empty()) hints = std::make_shared<PathList>(std::move(expanded.hints));
  }
  {
    std::lock_guard lock(mutex_);
    if (stop_) return;
    if (request.generation != generation_ || requests_.empty()) return;  // cleared meanwhile
    requests_.pop_front();
    currentPaths_ = pending;
    currentHanded_ = 0;
    currentActive_ = true;
    currentReread_ = request.reread != nullptr;
  }

  TagInfo tags;
  TagEncoding encoding = TagEncoding::Auto;
  std::string staging;
  size_t staged = 0;
  const size_t n = pending->size();
  std::string path;
  for (size_t i = 0; i < n; ++i) {
    if (stop_ || liveGeneration_ != request.generation) return;
    path.assign((*pending)[i]);
    // One encoding a batch: a change while it is read is caught when it is delivered.
    if (staged == 0) tags.SetTagEncoding(encoding = loadEncoding_);
    TrackRecord record;
    try {
      record = ReadTrackRecord(path, tags);
    } catch (...) {
      record = UnavailableRecord(path);  // a file that defeats the reader cannot be read
    }
    if (!record.available && hints) ApplyHint(record, (*hints)[i]);
    PackRecord(staging, record);
    if (++staged == kBatchSize || i + 1 == n) {
      const size_t count = staged;
      {
        std::lock_guard lock(mutex_);
        if (stop_ || generation_ != request.generation) return;
        const bool firstBatch = currentHanded_ == 0;
        std::vector<int> rereadRows;
        if (request.reread) rereadRows.assign(request.reread->begin() + (i + 1 - count), request.reread->begin() + (i + 1));
        // A copy of its own size; `staging` keeps its room for the next batch.
        ready_.push_back(Batch{request.generation, sameAsDefaultFile, firstBatch ? request.tag : 0, count, encoding,
                               std::move(rereadRows), staging});
        currentHanded_ = i + 1;
        // The paths handed over live on in their rows: the blocks they filled can go.
        pending->DropBefore(currentHanded_);
        if (hints) hints->DropBefore(currentHanded_);
      }
      staging.clear();
      staged = 0;
      if (callbacks_.batchReady) callbacks_.batchReady(count);
    }
  }
  std::lock_guard lock(mutex_);
  if (request.generation == generation_) {
    // Only now, after the last batchReady: a waiter that wakes up sees every batch announced.
    currentActive_ = false;
    currentReread_ = false;
    currentPaths_.reset();
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
    if (!batch.rereadRows.empty()) {
      ApplyReread(batch);
      continue;
    }
    const int first = RowCount();
    const int count = static_cast<int>(batch.count);
    if (count == 0) continue;
    if (observer_) observer_->RowsAboutToBeInserted(first, count);
    for (size_t at = 0, k = 0; k < batch.count; ++k) {
      rows_.push_back(RowOfRecord(UnpackRecord(batch.records, at), static_cast<int>(++entries_)));
    }
    std::string().swap(batch.records);  // a long run of batches is not held twice
    // Read before the encoding changed: read again, after the rows that were there then.
    if (batch.encoding != tagEncoding_) EnqueueReread(first, first + count);
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
  return std::string(rows_[static_cast<size_t>(displayIndex)].Path());
}

std::vector<int> PlaylistModel::RowOfEntry() const {
  std::vector<int> rowOfEntry(entries_, -1);
  for (size_t r = 0; r < rows_.size(); ++r) {
    const int entry = rows_[r].number - 1;
    if (entry >= 0 && static_cast<size_t>(entry) < entries_) rowOfEntry[static_cast<size_t>(entry)] = static_cast<int>(r);
  }
  return rowOfEntry;
}

std::vector<std::string> PlaylistModel::PlaylistPaths() const {
  std::vector<std::string> paths;
  paths.reserve(entries_);
  for (const int row : RowOfEntry()) paths.emplace_back(row < 0 ? std::string_view() : rows_[static_cast<size_t>(row)].Path());
  return paths;
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
  if (callbacks_.reordered) callbacks_.reordered();
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
  TagInfo tags(tagEncoding_);
  TrackRecord record;
  try {
    record = ReadTrackRecord(path, tags);
  } catch (...) {
    record = UnavailableRecord(path);
  }
  auto& row = rows_[static_cast<size_t>(displayIndex)];
  row = RowOfRecord(ViewOf(record), row.number);
  if (observer_) observer_->RowChanged(displayIndex);
}

void PlaylistModel::SetTagEncoding(TagEncoding encoding) {
  if (encoding == tagEncoding_) return;
  tagEncoding_ = encoding;
  loadEncoding_ = encoding;
  EnqueueReread(0, RowCount());
}

void PlaylistModel::EnqueueReread(int first, int end) {
  if (first >= end) return;
  PathList paths;
  paths.Reserve(static_cast<size_t>(end - first));
  auto numbers = std::make_shared<std::vector<int>>();
  numbers->reserve(static_cast<size_t>(end - first));
  for (int r = first; r < end; ++r) {
    paths.Add(rows_[static_cast<size_t>(r)].Path());
    numbers->push_back(rows_[static_cast<size_t>(r)].number);
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(Request{std::make_shared<PathList>(std::move(paths)), generation_, false, 0, std::move(numbers)});
    if (!worker_.joinable()) worker_ = std::thread(&PlaylistModel::LoadThread, this);
  }
  wake_.notify_one();
}

int PlaylistModel::RowOfNumber(int number) {
  if (number < 1) return -1;
  const auto entry = static_cast<size_t>(number - 1);
  if (entry < rowOfNumber_.size()) {
    const int row = rowOfNumber_[entry];
    if (row < 0) return -1;  // removed before the index was made: numbers are not given twice
    if (row < RowCount() && rows_[static_cast<size_t>(row)].number == number) return row;
  }
  rowOfNumber_ = RowOfEntry();  // sorted, shuffled or removed since, or new
  return entry < rowOfNumber_.size() ? rowOfNumber_[entry] : -1;
}

void PlaylistModel::ApplyReread(const Batch& batch) {
  // Read in an encoding changed since: the change asked for every row again.
  if (batch.encoding != tagEncoding_) return;
  for (size_t at = 0, k = 0; k < batch.count && k < batch.rereadRows.size(); ++k) {
    const RecordView record = UnpackRecord(batch.records, at);
    const int row = RowOfNumber(batch.rereadRows[k]);
    if (row < 0) continue;  // removed meanwhile
    auto& r = rows_[static_cast<size_t>(row)];
    r = RowOfRecord(record, r.number);
    if (observer_) observer_->RowChanged(row);
  }
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
    // The entry stays, blank: its path went with its row.
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
    currentReread_ = false;
    currentPaths_.reset();
  }
  idle_.notify_all();
  if (observer_) observer_->ModelAboutToBeReset();
  std::vector<PlaylistRow>().swap(rows_);  // the memory of a long list too
  std::vector<int>().swap(rowOfNumber_);  // numbers start again from 1
  entries_ = 0;
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
  const int c = column;
  ReorderRows([this, c, ascending] {
    if (ascending) {
      SafeStableSort(rows_, [c](const PlaylistRow& x, const PlaylistRow& y) {
        return CompareColumnTexts(x.Text(c), y.Text(c)) < 0;
      });
    } else {
      SafeStableSort(rows_, [c](const PlaylistRow& x, const PlaylistRow& y) {
        return CompareColumnTexts(y.Text(c), x.Text(c)) < 0;
      });
    }
  });
}

void PlaylistModel::ClickColumn(int column) {
  SortColumn(column, column == sortColumn_ ? !sortAscending_ : true);
}

// ---------------------------------------------------------------------------------------------
// Files

std::string PlaylistModel::PlaylistFileText(PlaylistFormat format) const {
  // The texts are the ones the rows already show: saving never waits on the files again.
  std::vector<PlaylistItem> items;
  items.reserve(rows_.size());
  for (const int r : RowOfEntry()) {
    if (r < 0) continue;  // a removed row
    const auto& row = rows_[static_cast<size_t>(r)];
    items.push_back(PlaylistItem{row.Path(), row.Text(kColumnArtist), row.Text(kColumnTitle), row.seconds, row.available});
  }
  return PlaylistText(format, items);
}

bool PlaylistModel::SavePlaylist(const std::string& file, std::string* reason) const {
  return WriteFileAtomically(file, PlaylistFileText(SaveFormatOfName(file)), reason);
}

std::filesystem::path PlaylistModel::DefaultPlaylistPath() const {
  if (options_.dataFolder.empty()) return {};
  return options_.dataFolder / kDefaultName;
}

void PlaylistModel::ForEachDefaultPath(const std::function<void(std::string_view)>& path) const {
  for (const int r : RowOfEntry()) {
    if (r >= 0) path(rows_[static_cast<size_t>(r)].Path());
  }
  auto nonEmpty = [&path](std::string_view p) {
    if (!p.empty()) path(p);
  };
  std::lock_guard lock(mutex_);
  // Rows read again are rows already there, whether their batch waits to be delivered or is
  // still being read.
  for (const auto& batch : ready_) {
    if (!batch.rereadRows.empty()) continue;
    for (size_t at = 0, k = 0; k < batch.count; ++k) nonEmpty(UnpackRecord(batch.records, at).strings[0]);
  }
  if (currentActive_ && currentPaths_ && !currentReread_) {
    for (size_t i = currentHanded_; i < currentPaths_->size(); ++i) nonEmpty((*currentPaths_)[i]);
  }
  for (const auto& request : requests_) {
    if (request.reread) continue;
    for (const std::string_view p : *request.paths) nonEmpty(p);
  }
}

bool PlaylistModel::SaveDefaultPlaylist(std::string* reason) {
  if (reason) reason->clear();
  const auto file = DefaultPlaylistPath();
  if (file.empty() || !defaultActive_ || defaultBlocked_) return false;
  // Sized first: a list of a million paths is written without the copies a growing text makes.
  size_t bytes = 0;
  ForEachDefaultPath([&bytes](std::string_view p) { bytes += p.size() + 1; });
  std::string text;
  text.reserve(bytes + bytes / 16);
  ForEachDefaultPath([&text](std::string_view p) {
    text += LineForEntry(std::string(p));
    text += '\n';
  });
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
  size_t lines = 0;
  ForEachLine(*text, [&lines](std::string_view line) { lines += !line.empty(); });
  PathList entries;
  entries.Reserve(lines);
  ForEachLine(*text, [this, &entries](std::string_view line) {
    if (!line.empty()) entries.Add(EntryFromLine(line, options_.dataFolder));
  });
  // The file's own content: loading it is no change that needs writing back.
  if (!entries.empty()) Enqueue(std::move(entries), true, 0);
  return true;
}

}  // namespace tovira
