#pragma once
// Reading and writing the playlist's text files: M3U playlists and the default playlist.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovira {

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
std::vector<std::string> ReadM3u(const std::string& path);

// $XDG_DATA_HOME/Tovira, by default ~/.local/share/Tovira; empty when no home is known.
std::filesystem::path DefaultDataFolder();

}  // namespace tovira
