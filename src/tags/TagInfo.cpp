#include "tags/TagInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tiostream.h>
#include <taglib/unknownframe.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "decoder/ByteSource.h"
#include "decoder/StreamProbe.h"
#include "tags/GenreTable.h"
#include "tags/ReplayGainTags.h"

namespace tovira {

namespace {

// The TCON frame under an identifier TagLib does not know, so that it keeps the stored bytes:
// TagLib rewrites genre references such as "(17)" or "(255)" while reading, and the genre rules
// need the text as it stands in the file.
constexpr char kRawGenreId[] = "XCON";

// Frame::Header is a protected member type; a derived class may name it.
struct FrameHeaderAccess : TagLib::ID3v2::Frame {
  using Header = TagLib::ID3v2::Frame::Header;
};

class RawGenreFrameFactory final : public TagLib::ID3v2::FrameFactory {
 public:
  RawGenreFrameFactory() = default;
  ~RawGenreFrameFactory() override = default;

 protected:
  bool updateFrame(FrameHeaderAccess::Header* header) const override {
    // The base converts older identifiers (TCO of v2.2, TYER of v2.3, ...) first.
    const bool keep = TagLib::ID3v2::FrameFactory::updateFrame(header);
    if (keep && header->frameID() == "TCON") header->setFrameID(kRawGenreId);
    return keep;
  }
};

// One open file read through two cached blocks, its first and its last 64 KiB, where the frame
// headers and every tag live; other reads go straight to the file. The probe and TagLib both read
// through it, so a typical file costs one open and one or two reads.
class CachedFile {
 public:
  static constexpr uint64_t kBlock = 64 * 1024;

  CachedFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  uint64_t Size() const { return size_; }

  // Bytes copied (short at the end of the file), or -1 on a read failure.
  int64_t ReadAt(uint64_t offset, void* dst, size_t bytes) {
    if (offset >= size_) return 0;
    bytes = static_cast<size_t>(std::min<uint64_t>(bytes, size_ - offset));
    if (offset + bytes <= std::min(size_, kBlock)) return FromBlock(head_, headLoaded_, 0, offset, dst, bytes);
    const uint64_t tailStart = size_ > kBlock ? size_ - kBlock : 0;
    if (offset >= tailStart) return FromBlock(tail_, tailLoaded_, tailStart, offset, dst, bytes);
    return Pread(offset, dst, bytes);
  }

 private:
  int64_t FromBlock(std::vector<char>& block, bool& loaded, uint64_t start, uint64_t offset, void* dst, size_t bytes) {
    if (!loaded) {
      block.resize(static_cast<size_t>(std::min(kBlock, size_ - start)));
      const int64_t n = Pread(start, block.data(), block.size());
      if (n < 0) return -1;
      block.resize(static_cast<size_t>(n));  // the file may have shrunk since fstat
      loaded = true;
    }
    if (offset - start >= block.size()) return 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, block.size() - (offset - start)));
    std::memcpy(dst, block.data() + (offset - start), n);
    return static_cast<int64_t>(n);
  }

  int64_t Pread(uint64_t offset, void* dst, size_t bytes) {
    size_t done = 0;
    auto* out = static_cast<char*>(dst);
    while (done < bytes) {
      const ssize_t n = ::pread(fd_, out + done, bytes - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
  }

  int fd_;
  uint64_t size_;
  std::vector<char> head_, tail_;
  bool headLoaded_ = false, tailLoaded_ = false;
};

// The decoder's view of the cached file.
class CachedSource final : public ByteSource {
 public:
  explicit CachedSource(CachedFile& file) : file_(file) {}
  bool Open() override {
    pos_ = 0;
    return true;
  }
  uint64_t Size() const override { return file_.Size(); }
  bool Seek(int64_t offset, SeekOrigin origin) override {
    int64_t base = 0;
    if (origin == SeekOrigin::Current) base = static_cast<int64_t>(pos_);
    if (origin == SeekOrigin::End) base = static_cast<int64_t>(file_.Size());
    if (offset < 0 && -offset > base) return false;
    pos_ = static_cast<uint64_t>(base + offset);
    return true;
  }
  uint64_t Tell() const override { return pos_; }
  int64_t Read(void* dst, size_t bytes) override {
    const int64_t n = file_.ReadAt(pos_, dst, bytes);
    if (n > 0) pos_ += static_cast<uint64_t>(n);
    return n;
  }
  void Close() override {}

 private:
  CachedFile& file_;
  uint64_t pos_ = 0;
};

// TagLib's view of the cached file: read-only, every write refused.
class CachedTagStream final : public TagLib::IOStream {
 public:
  explicit CachedTagStream(CachedFile& file) : file_(file) {}
  TagLib::FileName name() const override { return ""; }
  TagLib::ByteVector readBlock(unsigned long length) override {
    const uint64_t size = file_.Size();
    if (pos_ >= size) return TagLib::ByteVector();
    const auto n = static_cast<unsigned int>(std::min<uint64_t>({length, size - pos_, 0x7fffffffULL}));
    TagLib::ByteVector block(n, '\0');
    const int64_t got = file_.ReadAt(pos_, block.data(), n);
    if (got <= 0) return TagLib::ByteVector();
    pos_ += static_cast<uint64_t>(got);
    if (static_cast<unsigned int>(got) < n) block.resize(static_cast<unsigned int>(got));
    return block;
  }
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
  void removeBlock(unsigned long, unsigned long) override {}
  bool readOnly() const override { return true; }
  bool isOpen() const override { return true; }
  void seek(long offset, Position p) override {
    long base = 0;
    if (p == Current) base = static_cast<long>(pos_);
    if (p == End) base = static_cast<long>(file_.Size());
    if (offset < 0 && -offset > base) return;
    pos_ = static_cast<uint64_t>(base + offset);
  }
  long tell() const override { return static_cast<long>(pos_); }
  long length() override { return static_cast<long>(file_.Size()); }
  void truncate(long) override {}

 private:
  CachedFile& file_;
  uint64_t pos_ = 0;
};

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string ToUtf8(const TagLib::String& s) { return s.to8Bit(true); }

// A text as the file has it: UTF-8 already, or the bytes of a field stored as Latin-1, which are
// read in the file's 8-bit encoding once every such field has been seen.
struct StoredText {
  std::string text;
  bool eightBit = false;
};

// TagLib reads a Latin-1 field byte for byte into characters below 256: they give the bytes back.
StoredText EightBit(const TagLib::String& s) { return {s.to8Bit(false), true}; }
StoredText Unicode(const TagLib::String& s) { return {ToUtf8(s), false}; }
StoredText Stored(const TagLib::String& s, TagLib::String::Type encoding) {
  return encoding == TagLib::String::Latin1 ? EightBit(s) : Unicode(s);
}

// The first string of a text frame's stored bytes: encoding byte, then the text.
StoredText DecodeStoredText(const TagLib::ByteVector& data) {
  if (data.isEmpty()) return {};
  const unsigned char encoding = static_cast<unsigned char>(data[0]);
  TagLib::ByteVector text = data.mid(1);
  const bool wide = encoding == 1 || encoding == 2;
  // Cut at the first terminator: one zero byte, or an aligned zero pair for UTF-16.
  if (wide) {
    for (unsigned int i = 0; i + 1 < text.size(); i += 2) {
      if (text[i] == 0 && text[i + 1] == 0) {
        text = text.mid(0, i);
        break;
      }
    }
  } else {
    const int end = text.find(TagLib::ByteVector(1, '\0'));
    if (end >= 0) text = text.mid(0, static_cast<unsigned int>(end));
  }
  TagLib::String::Type type = TagLib::String::Latin1;
  switch (encoding) {
    case 1: type = TagLib::String::UTF16; break;
    case 2: type = TagLib::String::UTF16BE; break;
    case 3: type = TagLib::String::UTF8; break;
    default: return {std::string(text.data(), text.size()), true};
  }
  if (type == TagLib::String::UTF16 && text.size() < 2) return {};  // no room for a byte-order mark
  return Unicode(TagLib::String(text, type));
}

const TagLib::ID3v2::FrameList* FramesOf(const TagLib::ID3v2::Tag* tag, const char* id) {
  if (tag == nullptr) return nullptr;
  const auto& map = tag->frameListMap();
  const auto it = map.find(id);
  if (it == map.end() || it->second.isEmpty()) return nullptr;
  return &it->second;
}

std::optional<StoredText> FrameText(const TagLib::ID3v2::Tag* tag, const char* id) {
  const auto* frames = FramesOf(tag, id);
  if (frames == nullptr) return std::nullopt;
  const auto* frame = frames->front();
  if (const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
    const bool eightBit = text->textEncoding() == TagLib::String::Latin1;
    StoredText joined{{}, eightBit};
    const TagLib::StringList fields = text->fieldList();
    for (auto f = fields.begin(); f != fields.end(); ++f) {
      if (f != fields.begin()) joined.text += " / ";
      joined.text += eightBit ? f->to8Bit(false) : ToUtf8(*f);
    }
    return joined;
  }
  if (const auto* unknown = dynamic_cast<const TagLib::ID3v2::UnknownFrame*>(frame)) {
    return DecodeStoredText(unknown->data());
  }
  return std::nullopt;
}

// The comment meant for people: the first without a description. Players park their own data in
// described ones ("iTunNORM" and the like).
std::optional<StoredText> CommentText(const TagLib::ID3v2::Tag* tag) {
  const auto* frames = FramesOf(tag, "COMM");
  if (frames == nullptr) return std::nullopt;
  for (const auto* frame : *frames) {
    const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame);
    if (comment != nullptr && comment->description().isEmpty()) return Stored(comment->text(), comment->textEncoding());
  }
  return std::nullopt;
}

std::optional<StoredText> NonEmpty(const TagLib::String& s) {
  if (s.isEmpty()) return std::nullopt;
  return EightBit(s);
}

// An APEv2 text item by its key in any case; APEv2 texts are UTF-8.
std::optional<StoredText> ApeText(const TagLib::APE::Tag* tag, const char* key) {
  if (tag == nullptr) return std::nullopt;
  for (const auto& [name, item] : tag->itemListMap()) {
    if (item.type() != TagLib::APE::Item::Text || name.upper() != key) continue;
    const TagLib::StringList values = item.values();
    if (values.isEmpty() || values.toString().isEmpty()) return std::nullopt;
    return Unicode(values.toString(" / "));
  }
  return std::nullopt;
}

// The texts of one tag, before they are read.
struct TagFields {
  std::optional<StoredText> artist, title, album, year, genre, albumArtist, comment, track;
  template <typename F>
  void ForEach(F&& f) const {
    for (const auto* t : {&artist, &title, &album, &year, &genre, &albumArtist, &comment, &track}) f(*t);
  }
};

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// atoi without its overflow: the value saturates, which keeps every range check below correct.
long long ParseLeadingInt(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long value = 0;
  for (; i < s.size() && IsAsciiDigit(s[i]); ++i) {
    if (value < 1000000000000LL) value = value * 10 + (s[i] - '0');
  }
  return negative ? -value : value;
}

// The year of a recording time ("1999", "1999-05-01T12:00") is its first four digits.
std::string YearOf(const std::string& text) {
  if (text.size() > 4 && IsAsciiDigit(text[0]) && IsAsciiDigit(text[1]) && IsAsciiDigit(text[2]) &&
      IsAsciiDigit(text[3]) && (text[4] == '-' || text[4] == 'T')) {
    return text.substr(0, 4);
  }
  return text;
}

}  // namespace

struct TagInfo::Reader {
  RawGenreFrameFactory factory;
};

TagInfo::TagInfo(TagEncoding encoding) : reader_(std::make_unique<Reader>()), encodingSetting_(encoding) {}

TagInfo::~TagInfo() { Clear(); }

void TagInfo::Clear() {
  valid_ = false;
  path_.clear();
  hasV2_ = false;
  hasV1_ = false;
  hasApe_ = false;
  textEncoding_ = TagEncoding::Latin1;
  titleIsFileName_ = false;
  durationSeconds_ = 0;
  durationMs_ = 0.0;
  bitrate_ = 0;
  frequency_ = 0;
  mode_ = 0;
  vbr_ = false;
  artist_.reset();
  title_.reset();
  album_.reset();
  year_.reset();
  genre_.reset();
  albumArtist_.reset();
  comment_.reset();
  track_.reset();
  replayGain_ = {};
}

std::string TagInfo::NameWithoutExtension(const std::string& path) {
  // Drop four characters, not bytes, so a name never ends in half a UTF-8 sequence.
  size_t end = path.size();
  for (int dropped = 0; dropped < 4 && end > 0; ++dropped) {
    --end;
    while (end > 0 && (static_cast<unsigned char>(path[end]) & 0xC0) == 0x80) --end;
  }
  const std::string stem = path.substr(0, end);
  const size_t slash = stem.rfind('/');
  return slash == std::string::npos ? stem : stem.substr(slash + 1);
}

std::optional<std::string> TagInfo::GenreFromV2(const std::optional<std::string>& tcon) {
  const std::string t = tcon.value_or(std::string());
  size_t first = 0;
  size_t last = t.size();
  while (first < last && t[first] == '(') ++first;
  while (last > first && t[last - 1] == ')') --last;
  const std::string stripped = t.substr(first, last - first);
  if (stripped == "0") return std::string(GenreTable[0]);
  const long long n = ParseLeadingInt(stripped);
  if (n >= 1 && n <= 147) return std::string(GenreTable[static_cast<size_t>(n)]);
  return tcon;
}

std::optional<std::string> TagInfo::GenreFromV1(const std::optional<std::string>& tcon) {
  if (!tcon) return std::nullopt;
  const std::string& t = *tcon;
  // "(%i)": an opening parenthesis, a number, then whatever follows.
  if (t.size() >= 2 && t[0] == '(') {
    size_t i = 1;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (i < t.size() && IsAsciiDigit(t[i])) {
      const long long n = ParseLeadingInt(t.substr(1));
      if (n >= 0 && n <= 147) return std::string(GenreTable[static_cast<size_t>(n)]);
    }
  }
  return tcon;
}

bool TagInfo::ReadFile(const std::string& path) {
  Clear();
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  // Non-blocking, so that opening a FIFO never waits for a writer; anything but a regular file
  // is then refused before a byte is read.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

  CachedFile cached(fd.get(), static_cast<uint64_t>(st.st_size));
  StreamSummary summary;
  if (ProbeStream(std::make_unique<CachedSource>(cached), summary) != ProbeStatus::Ok) return false;
  valid_ = true;
  path_ = path;
  const double seconds = std::floor(summary.DurationMs() / 1000.0);
  durationSeconds_ = seconds > 0.0 && seconds < 4294967295.0 ? static_cast<uint32_t>(seconds) : 0;
  durationMs_ = durationSeconds_ > 0 ? summary.DurationMs() : 0.0;
  bitrate_ = summary.header.GetBitrate();
  frequency_ = summary.header.GetFrequency();
  mode_ = summary.header.mode;
  // An "Info" header marks a constant bit rate; "Xing" and VBRI a variable one.
  vbr_ = (summary.hasXing && !summary.xing.info) || summary.hasVbri;

  TagFields v2Fields, v1Fields, apeFields;
  {
    CachedTagStream stream(cached);
    TagLib::MPEG::File file(&stream, &reader_->factory, false);
    if (file.isValid()) {
      const TagLib::ID3v2::Tag* v2 = file.hasID3v2Tag() ? file.ID3v2Tag() : nullptr;
      const TagLib::ID3v1::Tag* v1 = file.hasID3v1Tag() ? file.ID3v1Tag() : nullptr;
      const TagLib::APE::Tag* ape = file.hasAPETag() ? file.APETag(false) : nullptr;
      hasV2_ = v2 != nullptr;
      hasV1_ = v1 != nullptr;
      hasApe_ = ape != nullptr;
      if (v2 != nullptr) {
        v2Fields.album = FrameText(v2, "TALB");
        v2Fields.artist = FrameText(v2, "TPE1");
        v2Fields.title = FrameText(v2, "TIT2");
        v2Fields.year = FrameText(v2, "TDRC");
        v2Fields.genre = FrameText(v2, kRawGenreId);
        v2Fields.albumArtist = FrameText(v2, "TPE2");
        v2Fields.comment = CommentText(v2);
        v2Fields.track = FrameText(v2, "TRCK");
      }
      if (v1 != nullptr) {
        v1Fields.album = NonEmpty(v1->album());
        v1Fields.artist = NonEmpty(v1->artist());
        v1Fields.title = NonEmpty(v1->title());
        v1Fields.comment = NonEmpty(v1->comment());
        if (v1->year() != 0) v1Fields.year = StoredText{std::to_string(v1->year()), false};
        if (v1->track() != 0) v1Fields.track = StoredText{std::to_string(v1->track()), false};
        // 255 marks "no genre" in an ID3v1 tag.
        if (v1->genreNumber() != 255) v1Fields.genre = StoredText{"(" + std::to_string(v1->genreNumber()) + ")", false};
      }
      if (ape != nullptr) {
        apeFields.album = ApeText(ape, "ALBUM");
        apeFields.artist = ApeText(ape, "ARTIST");
        apeFields.title = ApeText(ape, "TITLE");
        apeFields.year = ApeText(ape, "YEAR");
        apeFields.genre = ApeText(ape, "GENRE");
        apeFields.albumArtist = ApeText(ape, "ALBUM ARTIST");
        apeFields.comment = ApeText(ape, "COMMENT");
        apeFields.track = ApeText(ape, "TRACK");
      }
      replayGain_ = CombineReplayGain(v2, ape, summary.hasXing ? &summary.xing : nullptr);
    }
  }
  // Every 8-bit text of the file, shown or not, tells which encoding they share.
  std::vector<std::string_view> eightBit;
  for (const TagFields* fields : {&v2Fields, &v1Fields}) {
    fields->ForEach([&](const std::optional<StoredText>& t) {
      if (t && t->eightBit) eightBit.push_back(t->text);
    });
  }
  textEncoding_ = ResolveTagEncoding(encodingSetting_, eightBit);
  auto read = [this](const std::optional<StoredText>& t) -> std::optional<std::string> {
    if (!t) return std::nullopt;
    return t->eightBit ? DecodeEightBit(t->text, textEncoding_) : t->text;
  };
  // An ID3v2 frame wins (even an empty one); an ID3v1 field fills in where the ID3v2 tag has no
  // such frame, and an APEv2 item where neither has the field.
  auto pick = [&](std::optional<StoredText> TagFields::*field) {
    if (v2Fields.*field) return read(v2Fields.*field);
    if (v1Fields.*field) return read(v1Fields.*field);
    return read(apeFields.*field);
  };
  album_ = pick(&TagFields::album);
  artist_ = pick(&TagFields::artist);
  title_ = pick(&TagFields::title);
  year_ = pick(&TagFields::year);
  if (year_) year_ = YearOf(*year_);
  albumArtist_ = pick(&TagFields::albumArtist);
  comment_ = pick(&TagFields::comment);
  track_ = pick(&TagFields::track);
  // Without tags TagLib could read, the encoder's header may still state a gain.
  if (replayGain_.Empty() && summary.hasXing) replayGain_ = ReplayGainFromLameHeader(summary.xing);
  if (!title_) {
    title_ = NameWithoutExtension(path);
    titleIsFileName_ = true;
  }
  const std::optional<std::string> tcon = read(v2Fields.genre);
  const std::optional<std::string> v1Genre = read(v1Fields.genre);
  if (hasV2_) {
    genre_ = GenreFromV2(tcon ? tcon : v1Genre);
  } else {
    genre_ = GenreFromV1(v1Genre);
  }
  // APEv2 genres are free texts, or numbers as ID3v2 writes them.
  if (!genre_ && apeFields.genre) genre_ = GenreFromV2(read(apeFields.genre));
  return true;
}

}  // namespace tovira
