#pragma once
// Reading and writing the playlist's text files: M3U, PLS and XSPF playlists and the default
// playlist.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
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

enum class PlaylistFormat : uint8_t { kNone, kM3u, kPls, kXspf };

// Playlists to look for in folders.
inline constexpr std::array<const char*, 4> kPlaylistPatterns = {"*.m3u", "*.m3u8", "*.pls", "*.xspf"};

// By the name alone: ".m3u" and ".m3u8", ".pls", ".xspf", in any case.
PlaylistFormat PlaylistFormatOfName(std::string_view path);
bool IsPlaylistName(std::string_view path);
// By the start of the text: an "#EXTM3U" header, a "[playlist]" section, an XSPF document.
// A list of paths without a header is not told from any other text.
PlaylistFormat PlaylistFormatOfText(std::string_view head);
// By the name, and where that says nothing (neither a playlist's nor an MPEG audio file's
// extension) by the first bytes of a regular file.
PlaylistFormat PlaylistFormatOfFile(std::string_view path);
// The format Save writes for a name: PLS for ".pls", XSPF for ".xspf", M3U for any other.
PlaylistFormat SaveFormatOfName(std::string_view path);

// Nested playlists are expanded to this many levels, the one asked for included.
inline constexpr int kMaxPlaylistDepth = 8;

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

// What a playlist tells of an entry besides its path ("#EXTINF", PLS "TitleN" and "LengthN",
// XSPF <creator>, <title> and <duration>), shown for its row until the file's tags are read.
struct EntryHint {
  uint32_t seconds = 0;  // 0: not known
  std::string_view artist, title;
};
// In one string, for PathList; empty when the hint says nothing.
std::string PackHint(const EntryHint& hint);
EntryHint UnpackHint(std::string_view packed);
// "Artist - Title" split at the first " - "; without one, all of it is the title.
EntryHint SplitArtistTitle(std::string_view text, uint32_t seconds);

struct PlaylistEntries {
  PathList paths;
  // Empty, or one packed hint for each path (empty where the playlist told nothing).
  PathList hints;
  void Add(std::string_view path, std::string_view packedHint);
};

// The entries of one playlist file in order, as paths: relative ones against the playlist's
// folder, "file://" URLs decoded. The text is taken as UTF-8 or, when it is not valid UTF-8, as
// the locale's 8-bit encoding (PlaylistTextToUtf8). Entries that name no file (blank lines, lines
// too long for a path, paths holding a NUL) are left out; a file that cannot be read gives none.
// Playlists among the entries are not expanded.
PlaylistEntries ReadPlaylist(const std::string& path, PlaylistFormat format);
// The same for a text already read (and made UTF-8), with `folder` for relative paths.
PlaylistEntries ReadM3uText(std::string_view text, const std::filesystem::path& folder);
PlaylistEntries ReadPlsText(std::string_view text, const std::filesystem::path& folder);
PlaylistEntries ReadXspfText(std::string_view text, const std::filesystem::path& folder);

// Appends the entries of the playlist at `path` to `into`, each playlist among them replaced by
// its own entries, to kMaxPlaylistDepth levels. A playlist met again inside itself (A names B
// names A) and one nested deeper than that give nothing. A set `stop` ends the expansion early.
void AppendPlaylist(const std::string& path, PlaylistFormat format, PlaylistEntries& into,
                    const std::atomic<bool>* stop = nullptr);

// One row as a playlist file keeps it.
struct PlaylistItem {
  std::string_view path, artist, title;
  uint32_t seconds = 0;  // 0: not known
  bool available = true;  // false: the file could not be read, and its title may be its file name
};
// The text of a playlist file of `format` (M3U for kNone) holding `items` in order. Every path
// is written absolute, so that the file reads back to the same paths wherever it is moved.
std::string PlaylistText(PlaylistFormat format, const std::vector<PlaylistItem>& items);

// $XDG_DATA_HOME/Tovira, by default ~/.local/share/Tovira; empty when no home is known.
std::filesystem::path DefaultDataFolder();

}  // namespace tovira
