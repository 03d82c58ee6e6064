#pragma once
// Reading and writing the playlist's text files: M3U playlists and the default playlist.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovira {

// Paths in a few large blocks instead of one allocation each: a list of a million paths costs
// their bytes and 16 more a path. A path's view stays valid while the list lives, moved or not,
// until DropBefore frees its block.
class PathList {
 public:
  PathList() = default;
  explicit PathList(const std::vector<std::string>& paths);
  PathList(PathList&&) noexcept = default;
  PathList& operator=(PathList&&) noexcept = default;

  void Reserve(size_t count) { index_.reserve(count); }
  void Add(std::string_view path);
  size_t size() const { return index_.size(); }
  bool empty() const { return index_.empty(); }
  std::string_view operator[](size_t i) const { return index_[i]; }
  auto begin() const { return index_.begin(); }
  auto end() const { return index_.end(); }
  // Leaves out the paths for which `drop` is true (their bytes stay until the list goes).
  void RemoveIf(const std::function<bool(std::string_view)>& drop);
  // Frees every block that holds only paths before `index`, for a list read from front to back;
  // those paths must not be looked at again. The index of views stays as it is.
  void DropBefore(size_t index);

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t firstPath = 0;  // the first path stored in it
  };
  std::vector<Block> blocks_;  // in the order their paths were added
  char* free_ = nullptr;  // unused bytes at the end of the last block
  size_t room_ = 0;
  size_t blockBytes_ = 0;  // the usual size of the last block
  size_t dropped_ = 0;  // blocks_[0, dropped_) are freed
  std::vector<std::string_view> index_;
};

// Larger files are not taken for playlists; longer lines are not taken for paths.
inline constexpr size_t kMaxPlaylistBytes = size_t{64} << 20;
inline constexpr size_t kMaxEntryLineBytes = size_t{64} << 10;

// True for a name ending in ".m3u", in any case.
bool IsPlaylistName(std::string_view path);

// The whole content of a regular file of at most `maxBytes`; nullopt when it is missing, is no
// regular file (a FIFO is never waited on), is too large or cannot be read.
std::optional<std::string> ReadTextFile(const std::string& path, size_t maxBytes = kMaxPlaylistBytes);

// Lines ended by LF or CR LF (a last line without an end counts; a byte-order mark at the very
// start is dropped).
std::vector<std::string> SplitLines(std::string_view text);
// The same lines, handed one by one to `line` as views into `text`.
void ForEachLine(std::string_view text, const std::function<void(std::string_view)>& line);

// The path an entry line stands for: "file://" URLs are decoded, a line with backslashes and no
// slash uses backslashes as separators, and a relative path is taken relative to `baseFolder`.
// An empty line stays empty; a line too long for a path gives an empty path.
std::string EntryFromLine(std::string_view line, const std::filesystem::path& baseFolder);

// The line that stands for `path` in a playlist file, always an absolute path (a relative one is
// taken from the current folder). Paths that would not read back as themselves (line breaks
// inside, a leading "#", backslashes without slashes) are written as "file://" URLs.
std::string LineForEntry(const std::string& path);

// The entries of an M3U playlist: every line not beginning with "#", in order, as paths.
// A playlist that cannot be read gives none.
PathList ReadM3u(const std::string& path);

// $XDG_DATA_HOME/Tovira, by default ~/.local/share/Tovira; empty when no home is known.
std::filesystem::path DefaultDataFolder();

}  // namespace tovira
