#pragma once
// The playlist without its window: entries, rows with their seven texts, the current row,
// loading on a worker thread, sorting, shuffling, playlist files and the default playlist.
//
// Threads. Every member function is called from one thread, the owner's (the UI thread in the
// player), except IsLoading and WaitForLoad, which any thread may call. Tags are read by one load
// thread that the model owns. The load thread never touches rows: it queues finished batches of
// at most 20 records and calls Callbacks::batchReady, on the load thread, to say so; the owner
// then calls DeliverBatches on its own thread, which appends the rows in order. (The Qt window
// turns batchReady into a queued call.)
// Every change to Rows() and to the current row is reported to the PlaylistObserver, on the
// owner's thread, the way a Qt item model announces it: an About call before the change, with
// Rows() still as it was, and the matching call after it.
// Destroying the model while a load runs stops the load after the file being read; batchReady
// is not called after the destructor has returned.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "playlist/PlaylistFiles.h"
#include "tags/TagEncoding.h"

namespace tovira {

class TagInfo;

enum PlaylistColumn : int {
  kColumnNumber = 0,
  kColumnArtist,
  kColumnTitle,
  kColumnAlbum,
  kColumnYear,
  kColumnGenre,
  kColumnDuration,
  kColumnCount
};

inline constexpr std::array<const char*, kColumnCount> kColumnNames = {"No.",  "Artist", "Title",   "Album",
                                                                       "Year", "Genre",  "Duration"};

// What the load thread makes of one path. A file that is missing or cannot be read keeps its
// path, so that the row survives until the file is back: its title is the file name, every
// other text is empty and it is not available.
struct TrackRecord {
  std::string path, artist, title, album, year, genre, duration;
  uint32_t seconds = 0;
  bool available = false;
};

// One row. Its tag texts and its file's path share one allocation, lengths first, and the text
// of its number lives in the row itself: a row costs its texts and a few dozen bytes, not seven
// strings and a path of its own.
struct PlaylistRow {
  int number = 0;  // fixed when the row is added; entry number - 1 of PlaylistPaths
  uint32_t seconds = 0;
  bool available = true;  // false: the file could not be read when the row was last read

  PlaylistRow() = default;
  // The number's text is made from `number`; texts[kColumnNumber] is not used.
  PlaylistRow(int number, const std::array<std::string_view, kColumnCount>& texts, std::string_view path,
              uint32_t seconds, bool available);
  // Valid until the row is changed, moved or destroyed (the path and the tag texts stay valid
  // when it is moved).
  std::string_view Text(int column) const;
  std::string_view Path() const;

 private:
  // A byte with a bit for each field that is not empty, their lengths as base-128 numbers (one
  // byte below 128), then their bytes; no block at all when every field is empty.
  static constexpr size_t kFields = kColumnCount;  // the texts after the number, then the path
  std::string_view Field(size_t field) const;
  void SetNumber(int n);  // the number and its text
  uint8_t numberLength_ = 0;
  std::array<char, 11> numberText_{};  // "-2147483648" at most
  std::unique_ptr<char[]> data_;
};

// "mm:ss" of whole seconds.
std::string FormatRowDuration(uint32_t seconds);
// The record of one path, read with `tags`.
TrackRecord ReadTrackRecord(const std::string& path, TagInfo& tags);

struct PlaylistOptions {
  std::filesystem::path dataFolder;  // where "tvra.dfl" lives; empty: DefaultDataFolder()
  uint64_t shuffleSeed = 0;  // 0: seeded from std::random_device
  TagEncoding tagEncoding = TagEncoding::Auto;  // what tag texts stored as Latin-1 are read in
};

class PlaylistObserver {  // every call on the owner (UI) thread
 public:
  virtual ~PlaylistObserver() = default;
  // Rows are only ever inserted at the end, one call pair per delivered batch.
  virtual void RowsAboutToBeInserted(int first, int count) { (void)first, (void)count; }
  virtual void RowsInserted(int first, int count) { (void)first, (void)count; }
  // One contiguous run of display rows; a removal of scattered rows comes as several runs,
  // highest first, so that every index given is valid when it is given.
  virtual void RowsAboutToBeRemoved(int first, int count) { (void)first, (void)count; }
  virtual void RowsRemoved(int first, int count) { (void)first, (void)count; }
  virtual void ModelAboutToBeReset() {}  // Clear
  virtual void ModelReset() {}
  // Sort, shuffle: the same rows in another order. PlaylistRow::number identifies a row.
  virtual void LayoutAboutToBeChanged() {}
  virtual void LayoutChanged() {}
  // Display indexes, -1 for none.
  virtual void CurrentRowChanged(int previous, int current) { (void)previous, (void)current; }
  // The row whose file was started last moved to another row by a start (sorts, shuffles and
  // removals carry it along without a call of their own).
  virtual void PlayingRowChanged(int previous, int current) { (void)previous, (void)current; }
  // The texts of one row were read again (RefreshRow).
  virtual void RowChanged(int row) { (void)row; }
};

// None of the owner-thread callbacks may call DeliverBatches.
struct PlaylistCallbacks {
  std::function<void(const std::string& path)> startRow;  // owner thread: play this path
  std::function<void(size_t records)> batchReady;  // LOAD THREAD: call DeliverBatches soon
  std::function<void(int firstRow, int endRow)> rowsAdded;  // owner thread, after RowsInserted
  // Owner thread: what the default playlist would hold has changed (or may have); for autosave.
  std::function<void()> changed;
  // Owner thread: the rows were sorted or shuffled (the stored order, and so `changed`, stays).
  std::function<void()> reordered;
  // Owner thread, after rowsAdded: the display row of the first record of AddPaths(..., tag) for
  // a non-zero tag, once that row exists. Not called for a request that gave no rows or was
  // cleared first.
  std::function<void(uint64_t tag, int displayRow)> firstRowArrived;
};

class PlaylistModel {
 public:
  using Options = PlaylistOptions;
  using Callbacks = PlaylistCallbacks;

  explicit PlaylistModel(Options options = {}, Callbacks callbacks = {});
  ~PlaylistModel();
  // Owner thread; nullptr to detach. The observer must outlive its attachment.
  void SetObserver(PlaylistObserver* observer) { observer_ = observer; }
  PlaylistModel(const PlaylistModel&) = delete;
  PlaylistModel& operator=(const PlaylistModel&) = delete;

  // Files and playlists (M3U, PLS, XSPF: PlaylistFormatOfFile), expanded, nested ones too, and
  // read on the load thread. A file that cannot be read shows the title, artist and length its
  // playlist gave it, if any; a file that can shows its own tags. Returns
  // at once; a request made while a load runs waits for it, so loads never overlap. Empty paths
  // and paths holding a NUL name no file and are left out. A non-zero tag asks for
  // Callbacks::firstRowArrived.
  void AddPaths(std::vector<std::string> paths, uint64_t tag = 0);
  // Appends every batch the load thread has finished; returns the number of rows added.
  int DeliverBatches();
  bool IsLoading() const;
  void WaitForLoad() const;
  bool WaitForLoad(std::chrono::milliseconds timeout) const;

  int RowCount() const { return static_cast<int>(rows_.size()); }
  const PlaylistRow& Row(int displayIndex) const { return rows_.at(static_cast<size_t>(displayIndex)); }
  const std::vector<PlaylistRow>& Rows() const { return rows_; }
  // Entries in arrival order; an empty entry is a removed row. Made on each call.
  std::vector<std::string> PlaylistPaths() const;
  std::string PathOfRow(int displayIndex) const;
  int CurrentRow() const { return currentRow_; }
  // The row whose file was started last, wherever sorting and shuffling have put it; -1 once it
  // is removed or cleared. Unlike the current row, which is a position, this names the track.
  int PlayingRow() const { return playingRow_; }

  bool PlayNext();
  void PlayPrevious();
  // Double-click: makes the row current and starts it; false for an index outside the rows.
  bool StartRow(int displayIndex);
  // Makes the row current and the playing row without asking for it to be started: its file is
  // already playing. Nothing for an index outside the rows.
  void MarkPlaying(int displayIndex);
  // Reads the row's file again, here on the owner thread, and replaces its texts (but the
  // number), seconds and availability: a file that was missing may be back, or gone.
  void RefreshRow(int displayIndex);
  // The 8-bit encoding of the tags read from now on. Every row is read again on the load thread,
  // in its place: RowChanged for each as its new texts arrive (through DeliverBatches). Rows still
  // being loaded are read again once they arrive, if they were read in the old encoding.
  void SetTagEncoding(TagEncoding encoding);
  TagEncoding GetTagEncoding() const { return tagEncoding_; }
  // Removed rows leave blank entries, so they are never saved again; numbers do not change.
  void RemoveRows(std::vector<int> displayIndexes);
  // Empties the playlist and drops any load still running or waiting; no row is current after.
  void Clear();
  // A uniformly random display order.
  void Shuffle();
  void SortColumn(int column, bool ascending);
  // A column header click: the same column again reverses the direction.
  void ClickColumn(int column);
  int SortColumnIndex() const { return sortColumn_; }
  bool SortAscending() const { return sortAscending_; }

  // Every row in entry order as a playlist file of `format` holds it (M3U for kNone).
  std::string PlaylistFileText(PlaylistFormat format) const;
  std::string M3uText() const { return PlaylistFileText(PlaylistFormat::kM3u); }
  // PLS for a name ending in ".pls", XSPF for ".xspf" (in any case), M3U for any other name.
  // False when the file cannot be written; `reason` (when given) then says why in words.
  bool SavePlaylist(const std::string& file, std::string* reason = nullptr) const;

  std::filesystem::path DefaultPlaylistPath() const;
  // Loads "tvra.dfl"; from then on SaveDefaultPlaylist may write it, and the destructor saves any
  // change not saved yet (when to save in between is Callbacks::changed's owner's business). A
  // file that exists but cannot be read is renamed to "tvra.dfl.bak" (or .bak.2, ...) and is
  // never overwritten. False when the file was set aside.
  bool LoadDefaultPlaylist();
  // Every entry, in entry order, with those still waiting to be read. False, writing nothing,
  // before LoadDefaultPlaylist, when the file was set aside, or when it cannot be written; only in
  // the last case is `reason` (when given) set, to why in words.
  bool SaveDefaultPlaylist(std::string* reason = nullptr);
  bool HasUnsavedChanges() const { return dirty_; }

 private:
  struct Request {
    // Shared with the load thread, which may free what it has read of it (DropBefore) once the
    // request has left the queue.
    std::shared_ptr<PathList> paths;
    uint64_t generation = 0;
    bool fromDefaultFile = false;  // its rows are what the default file already holds
    uint64_t tag = 0;
    // Set: the texts of these rows (by number, one for each path) are read again; no rows are added.
    std::shared_ptr<const std::vector<int>> reread;
  };
  struct Batch {
    uint64_t generation = 0;
    bool fromDefaultFile = false;
    uint64_t firstOfTag = 0;  // the request's tag on its first batch only
    size_t count = 0;
    TagEncoding encoding = TagEncoding::Auto;  // what its tags were read in
    std::vector<int> rereadRows;  // the row numbers of a batch read again, one for each record
    // The records packed in one string (PackRecord): a batch waiting to be delivered costs little
    // more than its texts, and the load thread keeps nothing allocated after it.
    std::string records;
  };

  void Enqueue(PathList paths, bool fromDefaultFile, uint64_t tag);
  // Asks the load thread to read these display rows again.
  void EnqueueReread(int first, int end);
  void ApplyReread(const Batch& batch);
  int RowOfNumber(int number);
  void LoadThread();
  void RunRequest(const Request& request);
  void StartRowAt(int displayIndex);
  void SetPlayingRow(int displayIndex);
  // Sorts or shuffles through `reorder`, announced as a layout change; the playing row goes along.
  void ReorderRows(const std::function<void()>& reorder);
  void SetCurrentRow(int row);
  void MarkChanged();
  // Every path the default playlist should hold now, in order: delivered, queued and not yet read.
  void ForEachDefaultPath(const std::function<void(std::string_view)>& path) const;
  // Display index of every entry's row, -1 for removed entries.
  std::vector<int> RowOfEntry() const;

  Options options_;
  Callbacks callbacks_;
  PlaylistObserver* observer_ = nullptr;

  size_t entries_ = 0;  // entries delivered, removed ones included: the next row's number - 1
  std::vector<PlaylistRow> rows_;
  int currentRow_ = -1;
  int playingRow_ = -1;
  int sortColumn_ = -1;
  bool sortAscending_ = true;
  std::mt19937_64 random_;
  TagEncoding tagEncoding_ = TagEncoding::Auto;  // the owner's; the load thread has its own copy
  std::vector<int> rowOfNumber_;  // display index of each number - 1, refreshed when found stale

  bool defaultActive_ = false;
  bool defaultBlocked_ = false;
  bool dirty_ = false;

  // Shared with the load thread, under mutex_.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  mutable std::condition_variable idle_;
  std::deque<Request> requests_;
  std::deque<Batch> ready_;
  std::shared_ptr<PathList> currentPaths_;  // the running request's paths, expanded
  size_t currentHanded_ = 0;
  bool currentActive_ = false;
  bool currentReread_ = false;  // the running request reads rows again: it adds no entries
  uint64_t generation_ = 0;
  std::atomic<TagEncoding> loadEncoding_{TagEncoding::Auto};
  std::atomic<uint64_t> liveGeneration_{0};
  std::atomic<bool> stop_{false};
  std::thread worker_;
};

}  // namespace tovira
