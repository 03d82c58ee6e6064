#include "playlist/PlaylistFiles.h"

#include "util/RegularFile.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tovira {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(s[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

std::string PercentEncodePath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                       c == '-' || c == '_' || c == '.' || c == '~' || c >= 0x80;
    if (plain) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

// Blocks grow to a size the allocator maps on its own and gives back to the system when it is
// freed: a long list read from front to back (DropBefore) then shrinks as it is read, instead of
// staying with the thread that read it.
constexpr size_t kFirstPathBlockBytes = size_t{16} << 10;
constexpr size_t kPathBlockBytes = size_t{1} << 20;

}  // namespace

PathList::PathList(const std::vector<std::string>& paths) {
  Reserve(paths.size());
  for (const auto& p : paths) Add(p);
}

void PathList::Add(std::string_view path) {
  if (path.empty()) {
    index_.emplace_back();
    return;
  }
  if (path.size() > room_) {
    // A path longer than a block gets one of its own; the next path starts a new block, so that
    // every block holds one run of paths.
    blockBytes_ = blocks_.empty() ? kFirstPathBlockBytes : std::min(2 * blockBytes_, kPathBlockBytes);
    const size_t size = std::max(path.size(), blockBytes_);
    blocks_.push_back(Block{std::make_unique_for_overwrite<char[]>(size), index_.size()});
    free_ = blocks_.back().bytes.get();
    room_ = size;
  }
  std::memcpy(free_, path.data(), path.size());
  index_.emplace_back(free_, path.size());
  free_ += path.size();
  room_ -= path.size();
}

void PathList::RemoveIf(const std::function<bool(std::string_view)>& drop) {
  size_t kept = 0;
  size_t block = 0;
  for (size_t i = 0; i < index_.size(); ++i) {
    while (block < blocks_.size() && blocks_[block].firstPath == i) blocks_[block++].firstPath = kept;
    if (!drop(index_[i])) index_[kept++] = index_[i];
  }
  for (; block < blocks_.size(); ++block) blocks_[block].firstPath = kept;
  index_.resize(kept);
}

void PathList::DropBefore(size_t index) {
  // The last block may still take paths: it stays.
  while (dropped_ + 1 < blocks_.size() && blocks_[dropped_ + 1].firstPath <= index) {
    blocks_[dropped_++].bytes.reset();
  }
}

bool IsPlaylistName(std::string_view path) {
  if (path.size() < 4) return false;
  return StartsWithNoCase(path.substr(path.size() - 4), ".m3u");
}

std::optional<std::string> ReadTextFile(const std::string& path, size_t maxBytes) {
  return ReadRegularFile(path, maxBytes);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  ForEachLine(text, [&lines](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

void ForEachLine(std::string_view text, const std::function<void(std::string_view)>& line) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    line(text.substr(start, stop - start));
    start = next;
  }
}

std::string EntryFromLine(std::string_view line, const std::filesystem::path& baseFolder) {
  if (line.empty() || line.size() > kMaxEntryLineBytes) return {};
  std::string path;
  if (StartsWithNoCase(line, "file://")) {
    std::string_view rest = line.substr(7);
    const size_t slash = rest.find('/');
    const std::string_view host = rest.substr(0, slash == std::string_view::npos ? rest.size() : slash);
    if (slash == std::string_view::npos || !(host.empty() || (host.size() == 9 && StartsWithNoCase(host, "localhost")))) {
      return std::string(line);  // a file on another host: kept as it is, and will not be read
    }
    return PercentDecode(rest.substr(slash));
  }
  path.assign(line);
  if (path.find('\\') != std::string::npos && path.find('/') == std::string::npos) {
    for (auto& c : path) {
      if (c == '\\') c = '/';
    }
  }
  if (path.front() != '/' && !baseFolder.empty()) path = (baseFolder / path).lexically_normal().string();
  return path;
}

std::string LineForEntry(const std::string& path) {
  // A relative path would be read back against the playlist's own folder, not the folder it was
  // relative to here: write it out in full.
  if (!path.empty() && path.front() != '/' && path.find_first_of("\r\n#\\") == std::string::npos &&
      path.rfind("file:", 0) != 0) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    if (!ec) return absolute.lexically_normal().string();
  }
  const bool awkward = path.find_first_of("\r\n") != std::string::npos || (!path.empty() && path.front() == '#') ||
                       (path.find('\\') != std::string::npos && path.find('/') == std::string::npos) ||
                       StartsWithNoCase(path, "file:");
  if (!awkward) return path;
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
  if (ec) absolute = path;
  return "file://" + PercentEncodePath(absolute);
}

PathList ReadM3u(const std::string& path) {
  PathList entries;
  const auto text = ReadTextFile(path);
  if (!text) return entries;
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::absolute(path, ec).parent_path();
  // Lines are read where they lie in the file's text: a playlist of a million lines needs no
  // second copy of itself.
  auto isEntry = [](std::string_view line) { return line.empty() || line.front() != '#'; };
  size_t count = 0;
  ForEachLine(*text, [&](std::string_view line) { count += isEntry(line); });
  entries.Reserve(count);
  ForEachLine(*text, [&](std::string_view line) {
    if (isEntry(line)) entries.Add(EntryFromLine(line, folder));
  });
  return entries;
}

std::filesystem::path DefaultDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::filesystem::path(xdg) / "Tovira";
  std::string home;
  if (const char* h = std::getenv("HOME"); h != nullptr && h[0] == '/') {
    home = h;
  } else {
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found != nullptr && pw.pw_dir != nullptr) {
      home = pw.pw_dir;
    }
  }
  if (home.empty()) return {};
  return std::filesystem::path(home) / ".local" / "share" / "Tovira";
}

}  // namespace tovira
