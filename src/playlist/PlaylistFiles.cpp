#include "playlist/PlaylistFiles.h"

#include "playlist/TextEncoding.h"
#include "playlist/XmlReader.h"
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

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && StartsWithNoCase(s.substr(s.size() - suffix.size()), suffix);
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && StartsWithNoCase(a, b); }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// An empty path names no file, and a NUL would make the default playlist unreadable.
bool NamesAFile(std::string_view path) { return !path.empty() && path.find('\0') == std::string_view::npos; }

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
  // Characters past ASCII stay as they are in a UTF-8 path; in any other every such byte is
  // escaped, so that the file holding the URL is UTF-8 all through.
  const bool keepHigh = IsValidUtf8(path);
  std::string out;
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                       c == '-' || c == '_' || c == '.' || c == '~' || (c >= 0x80 && keepHigh);
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
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// Enough of a file's start to tell a playlist by its content.
constexpr size_t kSniffBytes = 4096;

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

PlaylistFormat PlaylistFormatOfName(std::string_view path) {
  if (EndsWithNoCase(path, ".m3u") || EndsWithNoCase(path, ".m3u8")) return PlaylistFormat::kM3u;
  if (EndsWithNoCase(path, ".pls")) return PlaylistFormat::kPls;
  if (EndsWithNoCase(path, ".xspf")) return PlaylistFormat::kXspf;
  return PlaylistFormat::kNone;
}

bool IsPlaylistName(std::string_view path) { return PlaylistFormatOfName(path) != PlaylistFormat::kNone; }

PlaylistFormat PlaylistFormatOfText(std::string_view head) {
  if (head.starts_with(kUtf8Bom)) head.remove_prefix(kUtf8Bom.size());
  while (!head.empty() && IsBlank(head.front())) head.remove_prefix(1);
  if (StartsWithNoCase(head, "#EXTM3U")) return PlaylistFormat::kM3u;
  if (StartsWithNoCase(head, "[playlist]")) return PlaylistFormat::kPls;
  if (head.starts_with("<")) {
    if (head.find("http://xspf.org/ns/0") != std::string_view::npos) return PlaylistFormat::kXspf;
    // Without its namespace: a document whose first element is <playlist>.
    XmlReader xml(head);
    for (auto token = xml.Next(); token != XmlReader::Token::kEndOfInput; token = xml.Next()) {
      if (token == XmlReader::Token::kStart) return xml.Name() == "playlist" ? PlaylistFormat::kXspf : PlaylistFormat::kNone;
    }
  }
  return PlaylistFormat::kNone;
}

PlaylistFormat PlaylistFormatOfFile(std::string_view path) {
  const PlaylistFormat byName = PlaylistFormatOfName(path);
  if (byName != PlaylistFormat::kNone || !NamesAFile(path)) return byName;
  for (const char* audio : {".mp3", ".mp2", ".mp1"}) {
    if (EndsWithNoCase(path, audio)) return PlaylistFormat::kNone;
  }
  const auto head = ReadRegularFileHead(std::string(path), kSniffBytes);
  return head ? PlaylistFormatOfText(*head) : PlaylistFormat::kNone;
}

PlaylistFormat SaveFormatOfName(std::string_view path) {
  const PlaylistFormat format = PlaylistFormatOfName(path);
  return format == PlaylistFormat::kNone ? PlaylistFormat::kM3u : format;
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
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
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
      path.rfind("file:", 0) != 0 && IsValidUtf8(path)) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    if (!ec) return absolute.lexically_normal().string();
  }
  const bool awkward = path.find_first_of("\r\n") != std::string::npos || (!path.empty() && path.front() == '#') ||
                       (path.find('\\') != std::string::npos && path.find('/') == std::string::npos) ||
                       StartsWithNoCase(path, "file:") || !IsValidUtf8(path);
  if (!awkward) return path;
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
  if (ec) absolute = path;
  return "file://" + PercentEncodePath(absolute);
}

// ---------------------------------------------------------------------------------------------
// Hints

namespace {

void PutNumber(std::string& out, uint64_t n) {
  for (; n >= 0x80; n >>= 7) out.push_back(static_cast<char>(0x80 | (n & 0x7F)));
  out.push_back(static_cast<char>(n));
}

bool GetNumber(std::string_view& in, uint64_t& n) {
  n = 0;
  for (int shift = 0; shift < 64 && !in.empty(); shift += 7) {
    const auto byte = static_cast<unsigned char>(in.front());
    in.remove_prefix(1);
    n |= static_cast<uint64_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return true;
  }
  return false;
}

// Whole seconds from a decimal number that may have a fraction; negative ones (-1 is "not
// known" in M3U and PLS), numbers past a 32-bit count and anything not a number give 0.
uint32_t ParseSeconds(std::string_view text, uint32_t divisor = 1) {
  text = Trim(text);
  uint64_t value = 0;
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    // Twelve digits are more than any duration: more are taken for a number that is not one.
    if (digits == 12) return 0;
    value = value * 10 + static_cast<uint64_t>(text[digits] - '0');
    ++digits;
  }
  if (digits == 0) return 0;
  value = (value + divisor / 2) / divisor;
  return value > UINT32_MAX ? 0 : static_cast<uint32_t>(value);
}

// "#EXTINF:" followed by `info`: "seconds[ attributes],Artist - Title".
EntryHint ParseExtinf(std::string_view info) {
  const size_t comma = info.find(',');
  const uint32_t seconds = ParseSeconds(info.substr(0, comma));
  if (comma == std::string_view::npos) return EntryHint{seconds, {}, {}};
  return SplitArtistTitle(info.substr(comma + 1), seconds);
}

}  // namespace

EntryHint SplitArtistTitle(std::string_view text, uint32_t seconds) {
  // The title after the dash is taken as written, spaces and all, since that is how it is saved;
  // a title alone may stand after a space, as in "#EXTINF:120, Title".
  const size_t dash = text.find(" - ");
  if (dash == std::string_view::npos) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return EntryHint{seconds, {}, text};
  }
  return EntryHint{seconds, Trim(text.substr(0, dash)), text.substr(dash + 3)};
}

std::string PackHint(const EntryHint& hint) {
  if (hint.seconds == 0 && hint.artist.empty() && hint.title.empty()) return {};
  std::string packed;
  packed.reserve(4 + hint.artist.size() + hint.title.size());
  PutNumber(packed, hint.seconds);
  PutNumber(packed, hint.artist.size());
  packed += hint.artist;
  packed += hint.title;
  return packed;
}

EntryHint UnpackHint(std::string_view packed) {
  uint64_t seconds = 0, artist = 0;
  if (!GetNumber(packed, seconds) || !GetNumber(packed, artist) || seconds > UINT32_MAX || artist > packed.size()) return {};
  return EntryHint{static_cast<uint32_t>(seconds), packed.substr(0, artist), packed.substr(artist)};
}

void PlaylistEntries::Add(std::string_view path, std::string_view packedHint) {
  // Hints are kept only once there is one, then for every path.
  const bool hinted = !hints.empty() || !packedHint.empty();
  if (hints.empty() && hinted) {
    hints.Reserve(paths.size() + 1);
    while (hints.size() < paths.size()) hints.Add({});
  }
  paths.Add(path);
  if (hinted) hints.Add(packedHint);
}

// ---------------------------------------------------------------------------------------------
// Reading

namespace {

// An XSPF document says what it is written in: UTF-16 by its byte-order mark, another encoding
// in its declaration. Text that is valid UTF-8 is taken as such whatever it declares.
void XspfTextToUtf8(std::string& text) {
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
    text = ConvertToUtf8(text, "UTF-16");
    return;
  }
  if (text.starts_with(kUtf8Bom) || IsValidUtf8(text)) return;
  const std::string_view head = std::string_view(text).substr(0, 256);
  if (head.starts_with("<?xml")) {
    const size_t end = head.find("?>");
    const std::string_view declaration = head.substr(0, end);
    const size_t at = declaration.find("encoding");
    if (at != std::string_view::npos) {
      std::string_view rest = declaration.substr(at + 8);
      const size_t open = rest.find_first_of("\"'");
      if (open != std::string_view::npos) {
        const size_t close = rest.find(rest[open], open + 1);
        const std::string_view name = rest.substr(open + 1, close == std::string_view::npos ? 0 : close - open - 1);
        const bool plain = !name.empty() && name.size() <= 40 && std::all_of(name.begin(), name.end(), [](char c) {
          return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                 c == '.' || c == ':';
        });
        if (plain) {
          text = ConvertToUtf8(text, std::string(name));
          return;
        }
      }
    }
  }
  PlaylistTextToUtf8(text);
}

// The PLS keys that make entries: FileN, TitleN, LengthN.
enum class PlsKey : uint8_t { kFile, kTitle, kLength };

struct PlsField {
  uint32_t number;
  PlsKey key;
  std::string_view value;
};

bool ParsePlsKey(std::string_view key, PlsField& field) {
  static constexpr std::pair<std::string_view, PlsKey> kKeys[] = {
      {"file", PlsKey::kFile}, {"title", PlsKey::kTitle}, {"length", PlsKey::kLength}};
  for (const auto& [name, kind] : kKeys) {
    if (!StartsWithNoCase(key, name)) continue;
    const std::string_view digits = key.substr(name.size());
    // Nine digits at most: numbers only order the entries, and so never overflow.
    if (digits.empty() || digits.size() > 9) return false;
    uint32_t number = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') return false;
      number = number * 10 + static_cast<uint32_t>(c - '0');
    }
    field.number = number;
    field.key = kind;
    return true;
  }
  return false;
}

// "scheme://..." for a scheme other than "file".
bool IsOtherUrl(std::string_view s) {
  const size_t colon = s.find("://");
  if (colon == std::string_view::npos || colon == 0 || StartsWithNoCase(s, "file://")) return false;
  const std::string_view scheme = s.substr(0, colon);
  return std::all_of(scheme.begin(), scheme.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
  });
}

// An XSPF location: a "file:" URL or a path, as in M3U; a URL of another kind is kept as it is,
// a row that will not be read, rather than taken for a relative path.
std::string EntryFromLocation(std::string_view location, const std::filesystem::path& folder) {
  if (IsOtherUrl(location) && location.size() <= kMaxEntryLineBytes) return std::string(location);
  return EntryFromLine(location, folder);
}

// Texts of a row are one line.
void FlattenLineBreaks(std::string& s) {
  for (auto& c : s) {
    if (c == '\n' || c == '\r') c = ' ';
  }
}

}  // namespace

PlaylistEntries ReadM3uText(std::string_view text, const std::filesystem::path& folder) {
  PlaylistEntries entries;
  // Lines are read where they lie in the file's text: a playlist of a million lines needs no
  // second copy of itself.
  size_t count = 0;
  ForEachLine(text, [&](std::string_view line) { count += !line.empty() && line.front() != '#'; });
  entries.paths.Reserve(count);
  std::string hint;  // from the last "#EXTINF" line, for the next entry
  ForEachLine(text, [&](std::string_view line) {
    if (line.empty()) return;  // names no file, and leaves the hint for the entry after it
    if (line.front() == '#') {
      if (StartsWithNoCase(line, "#EXTINF:")) {
        hint = line.size() <= kMaxEntryLineBytes ? PackHint(ParseExtinf(line.substr(8))) : std::string();
      }
      return;
    }
    const std::string path = EntryFromLine(line, folder);
    if (NamesAFile(path)) entries.Add(path, hint);
    hint.clear();
  });
  return entries;
}

PlaylistEntries ReadPlsText(std::string_view text, const std::filesystem::path& folder) {
  // Keys come in any order: the fields are gathered, then put in the order of their numbers,
  // each entry from its fields (the last of a kind winning). Sizes are those of the lines read,
  // never a number from the file.
  std::vector<PlsField> fields;
  bool inOtherSection = false;
  ForEachLine(text, [&](std::string_view line) {
    // A value keeps its spaces at the end: a path may end in one.
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    if (line.empty() || line.front() == ';' || line.front() == '#') return;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      inOtherSection = !EqualsNoCase(Trim(line.substr(1, close == std::string_view::npos ? line.size() : close - 1)), "playlist");
      return;
    }
    if (inOtherSection || line.size() > kMaxEntryLineBytes) return;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    PlsField field{};
    if (!ParsePlsKey(Trim(line.substr(0, equals)), field)) return;  // NumberOfEntries, Version, others
    field.value = line.substr(equals + 1);
    // A title is split as written (SplitArtistTitle); a path or a length starts at its first
    // character.
    if (field.key != PlsKey::kTitle) {
      while (!field.value.empty() && IsBlank(field.value.front())) field.value.remove_prefix(1);
    }
    fields.push_back(field);
  });
  std::stable_sort(fields.begin(), fields.end(), [](const PlsField& a, const PlsField& b) { return a.number < b.number; });
  PlaylistEntries entries;
  for (size_t i = 0; i < fields.size();) {
    std::string_view file, title;
    uint32_t seconds = 0;
    bool hasFile = false;
    const uint32_t number = fields[i].number;
    for (; i < fields.size() && fields[i].number == number; ++i) {
      switch (fields[i].key) {
        case PlsKey::kFile: file = fields[i].value, hasFile = true; break;
        case PlsKey::kTitle: title = fields[i].value; break;
        case PlsKey::kLength: seconds = ParseSeconds(fields[i].value); break;
      }
    }
    if (!hasFile) continue;
    const std::string path = EntryFromLine(file, folder);
    if (NamesAFile(path)) entries.Add(path, PackHint(SplitArtistTitle(title, seconds)));
  }
  return entries;
}

PlaylistEntries ReadXspfText(std::string_view text, const std::filesystem::path& folder) {
  enum class Field { kNone, kLocation, kTitle, kCreator, kDuration };
  // Only the elements on the way to a track's field matter: the path is followed by its depth
  // and the names of the track list and the track, not kept whole.
  constexpr size_t kMaxDepth = 256;
  PlaylistEntries entries;
  XmlReader xml(text);
  size_t depth = 0;
  size_t trackListDepth = 0;  // 0: not inside one
  size_t trackDepth = 0;
  Field field = Field::kNone;
  bool fieldTooLong = false;
  std::string value, location, title, creator;
  bool hasLocation = false;
  uint32_t seconds = 0;
  auto finishTrack = [&] {
    if (hasLocation) {
      const std::string path = EntryFromLocation(location, folder);
      if (NamesAFile(path)) entries.Add(path, PackHint(EntryHint{seconds, creator, title}));
    }
    trackDepth = 0;
    hasLocation = false;
    location.clear(), title.clear(), creator.clear();
    seconds = 0;
  };
  for (auto token = xml.Next(); token != XmlReader::Token::kEndOfInput; token = xml.Next()) {
    if (token == XmlReader::Token::kStart) {
      if (++depth > kMaxDepth) break;  // no playlist nests so deep: the rest is not one
      const std::string_view name = xml.Name();
      if (trackListDepth == 0 && name == "trackList") {
        trackListDepth = depth;
      } else if (trackListDepth != 0 && trackDepth == 0 && depth == trackListDepth + 1 && name == "track") {
        trackDepth = depth;
      } else if (trackDepth != 0 && depth == trackDepth + 1) {
        field = name == "location" ? (hasLocation ? Field::kNone : Field::kLocation)  // the first of several
                : name == "title"    ? Field::kTitle
                : name == "creator"  ? Field::kCreator
                : name == "duration" ? Field::kDuration
                                     : Field::kNone;
        value.clear();
        fieldTooLong = false;
      }
    } else if (token == XmlReader::Token::kText) {
      if (field != Field::kNone && depth == trackDepth + 1 && !fieldTooLong) {
        fieldTooLong = !xml.AppendText(value, kMaxEntryLineBytes);
      }
    } else {  // kEnd
      if (depth == 0) continue;  // an end without its start
      if (field != Field::kNone && trackDepth != 0 && depth == trackDepth + 1) {
        const std::string_view v = Trim(value);
        switch (field) {
          case Field::kLocation:
            // An overlong location names no file; the track is dropped with it.
            hasLocation = !fieldTooLong;
            location = v;
            break;
          case Field::kTitle: title = v, FlattenLineBreaks(title); break;
          case Field::kCreator: creator = v, FlattenLineBreaks(creator); break;
          case Field::kDuration: seconds = fieldTooLong ? 0 : ParseSeconds(v, 1000); break;
          case Field::kNone: break;
        }
        field = Field::kNone;
      } else if (trackDepth != 0 && depth == trackDepth) {
        finishTrack();
      } else if (depth == trackListDepth) {
        trackListDepth = 0;
      }
      --depth;
    }
  }
  // A document cut off inside a track keeps the track when its location was complete.
  if (trackDepth != 0) finishTrack();
  return entries;
}

PlaylistEntries ReadPlaylist(const std::string& path, PlaylistFormat format) {
  auto text = ReadTextFile(path);
  if (!text) return {};
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::absolute(path, ec).parent_path();
  switch (format) {
    case PlaylistFormat::kXspf:
      XspfTextToUtf8(*text);
      return ReadXspfText(*text, folder);
    case PlaylistFormat::kPls:
      PlaylistTextToUtf8(*text);
      return ReadPlsText(*text, folder);
    case PlaylistFormat::kM3u:
      PlaylistTextToUtf8(*text);
      return ReadM3uText(*text, folder);
    case PlaylistFormat::kNone:
      break;
  }
  return {};
}

namespace {

// The same playlist under any name: a link or a path with ".." is found again.
std::string PlaylistIdentity(const std::string& path) {
  std::error_code ec;
  const auto canonical = std::filesystem::canonical(path, ec);
  if (!ec) return canonical.string();
  return std::filesystem::absolute(path, ec).lexically_normal().string();
}

// `open`: the playlists being expanded, outermost first.
void Expand(const std::string& path, PlaylistFormat format, PlaylistEntries& into, std::vector<std::string>& open,
            const std::atomic<bool>* stop) {
  std::string identity = PlaylistIdentity(path);
  if (std::find(open.begin(), open.end(), identity) != open.end()) return;  // a cycle
  PlaylistEntries entries = ReadPlaylist(path, format);
  // Most playlists name no other: then the entries are taken as they are, not copied.
  std::vector<PlaylistFormat> formats(entries.paths.size());
  bool nested = false;
  for (size_t i = 0; i < entries.paths.size(); ++i) {
    if (stop != nullptr && *stop) return;
    formats[i] = PlaylistFormatOfFile(entries.paths[i]);
    nested = nested || formats[i] != PlaylistFormat::kNone;
  }
  if (!nested && into.paths.empty()) {
    into = std::move(entries);
    return;
  }
  open.push_back(std::move(identity));
  const bool deeper = open.size() < static_cast<size_t>(kMaxPlaylistDepth);
  const bool hinted = !entries.hints.empty();
  for (size_t i = 0; i < entries.paths.size(); ++i) {
    if (stop != nullptr && *stop) break;
    if (formats[i] == PlaylistFormat::kNone) {
      into.Add(entries.paths[i], hinted ? entries.hints[i] : std::string_view());
    } else if (deeper) {
      Expand(std::string(entries.paths[i]), formats[i], into, open, stop);
    }
  }
  open.pop_back();
}

}  // namespace

void AppendPlaylist(const std::string& path, PlaylistFormat format, PlaylistEntries& into,
                    const std::atomic<bool>* stop) {
  std::vector<std::string> open;
  Expand(path, format, into, open, stop);
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

// A text of a row as one line of valid UTF-8: a file holding anything else would be read back
// as another encoding as a whole.
std::string CleanText(std::string_view text) {
  std::string s = IsValidUtf8(text) ? std::string(text) : ConvertToUtf8(text, std::string());
  FlattenLineBreaks(s);
  return s;
}

std::string LocationOf(std::string_view path) {
  if (IsOtherUrl(path)) return std::string(path);  // as it was read
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
  if (ec) absolute = path;
  return "file://" + PercentEncodePath(absolute);
}

void AppendXmlText(std::string& out, std::string_view text) {
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      // Control characters cannot stand in an XML 1.0 document at all.
      default: out.push_back(c < 0x20 ? ' ' : ch); break;
    }
  }
}

}  // namespace

std::string PlaylistText(PlaylistFormat format, const std::vector<PlaylistItem>& items) {
  // A file that could not be read shows its file name for a title: PLS and XSPF leave that out,
  // and the file name shows again when the file is read back.
  auto ownTitle = [](const PlaylistItem& item) {
    return item.available || !item.artist.empty() ||
           item.title != std::filesystem::path(item.path).filename().string();
  };
  std::string text;
  switch (format) {
    case PlaylistFormat::kPls: {
      text = "[playlist]\n";
      size_t n = 0;
      for (const auto& item : items) {
        const std::string number = std::to_string(++n);
        const std::string artist = CleanText(item.artist), title = CleanText(item.title);
        text += "File" + number + "=" + LineForEntry(std::string(item.path)) + "\n";
        // One field for both, as M3U has it. A title alone is written alone, but for one that
        // would not read back as itself (a dash inside, a space first): that one gets the dash
        // of an empty artist before it.
        std::string both = title;
        if (!artist.empty()) {
          both = artist + " - " + title;
        } else if (title.find(" - ") != std::string::npos || (!title.empty() && IsBlank(title.front()))) {
          both = " - " + title;
        }
        if (!both.empty() && ownTitle(item)) text += "Title" + number + "=" + both + "\n";
        text += "Length" + number + "=" + (item.seconds > 0 ? std::to_string(item.seconds) : std::string("-1")) + "\n";
      }
      text += "NumberOfEntries=" + std::to_string(n) + "\nVersion=2\n";
      break;
    }
    case PlaylistFormat::kXspf: {
      text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">\n"
             "  <trackList>\n";
      for (const auto& item : items) {
        text += "    <track>\n      <location>";
        AppendXmlText(text, LocationOf(item.path));
        text += "</location>\n";
        if (const std::string artist = CleanText(item.artist); !artist.empty()) {
          text += "      <creator>";
          AppendXmlText(text, artist);
          text += "</creator>\n";
        }
        if (const std::string title = CleanText(item.title); !title.empty() && ownTitle(item)) {
          text += "      <title>";
          AppendXmlText(text, title);
          text += "</title>\n";
        }
        if (item.seconds > 0) text += "      <duration>" + std::to_string(uint64_t{item.seconds} * 1000) + "</duration>\n";
        text += "    </track>\n";
      }
      text += "  </trackList>\n</playlist>\n";
      break;
    }
    case PlaylistFormat::kM3u:
    case PlaylistFormat::kNone:
      text = "#EXTM3U";
      for (const auto& item : items) {
        // A file name shown for a title that one line of UTF-8 cannot hold is left out: the
        // name itself shows again when the file is read back.
        std::string title = CleanText(item.title);
        if (!ownTitle(item) && title != item.title) title.clear();
        text += "\n#EXTINF:" + std::to_string(item.seconds) + "," + CleanText(item.artist) + " - " + title + "\n" +
                LineForEntry(std::string(item.path));
      }
      break;
  }
  return text;
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
