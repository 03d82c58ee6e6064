// Tag texts as collections have them: 8-bit code pages in fields declared Latin-1, Unicode frames
// beside them, APEv2 tags. The files are written here, bytes as the taggers of those systems wrote
// them; the expected texts are UTF-8 as a person reads them.

#include <gtest/gtest.h>
#include <taglib/apetag.h>
#include <taglib/commentsframe.h>

#include <string>
#include <vector>

#include "tags/TagFiles.h"
#include "tags/TagInfo.h"

namespace tovira {
namespace {

using test::CopyFixture;
using test::TempDir;
namespace fs = std::filesystem;

struct Frame {
  const char* id;
  TagLib::String::Type encoding;
  std::string text;  // bytes for a Latin-1 frame, UTF-8 for the others
};

struct Tags {
  int v2Version = 0;  // 0: no ID3v2 tag
  std::vector<Frame> v2;
  bool v1 = false;
  std::string v1Title, v1Artist, v1Album, v1Comment;  // bytes as stored
  unsigned v1Track = 0;
  std::vector<std::pair<const char*, std::string>> ape;  // UTF-8
};

// The fixture with exactly these tags, written in one go by TagLib.
fs::path Write(const fs::path& file, const Tags& tags) {
  CopyFixture(file);
  TagLib::MPEG::File f(file.c_str(), false);
  int which = 0;
  if (tags.v2Version != 0) {
    which |= TagLib::MPEG::File::ID3v2;
    auto* tag = f.ID3v2Tag(true);
    for (const Frame& fr : tags.v2) {
      const TagLib::String text(fr.text, fr.encoding == TagLib::String::Latin1 ? TagLib::String::Latin1 : TagLib::String::UTF8);
      if (std::string(fr.id) == "COMM") {
        auto* comment = new TagLib::ID3v2::CommentsFrame(fr.encoding);
        comment->setText(text);
        tag->addFrame(comment);
        continue;
      }
      auto* frame = new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(fr.id), fr.encoding);
      frame->setText(text);
      tag->addFrame(frame);
    }
  }
  if (tags.v1) {
    which |= TagLib::MPEG::File::ID3v1;
    auto* tag = f.ID3v1Tag(true);
    tag->setTitle(tags.v1Title);  // std::string goes in as Latin-1: byte for byte
    tag->setArtist(tags.v1Artist);
    tag->setAlbum(tags.v1Album);
    tag->setComment(tags.v1Comment);
    tag->setTrack(tags.v1Track);
  }
  if (!tags.ape.empty()) {
    which |= TagLib::MPEG::File::APE;
    auto* tag = f.APETag(true);
    for (const auto& [key, value] : tags.ape) tag->addValue(key, TagLib::String(value, TagLib::String::UTF8));
  }
  const bool saved = f.save(which, TagLib::File::StripOthers, tags.v2Version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4,
                            TagLib::File::DoNotDuplicate);
  EXPECT_TRUE(saved) << file;
  return file;
}

struct Read {
  explicit Read(const fs::path& file, TagEncoding encoding = TagEncoding::Auto) : tags(encoding) {
    EXPECT_TRUE(tags.ReadFile(file.string())) << file;
  }
  std::string artist() const { return tags.Artist().value_or("-"); }
  std::string title() const { return tags.Title().value_or("-"); }
  TagInfo tags;
};

// Bytes of the titles as Windows-1251, Windows-1250 and Latin-1 write them.
const std::string kKino = "\xCA\xE8\xED\xEE";                                      // Кино
const std::string kGruppaKrovi = "\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8";  // Группа крови
const std::string kZlutoucky = "\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2";                  // Žluťoučký kůň
const std::string kLodz = "\xA3\xF3" "d\x9F";                                      // Łódź
const std::string kMotorhead = "Mot\xF6rhead";
const std::string kCafe = "Caf\xE9";

TEST(TagTexts, CodePageTextsInId3v1AndLatin1Id3v2FramesReadRightWithTheSettingAndTheGuess) {
  struct Case {
    const char* name;
    std::string artistBytes, titleBytes;
    TagEncoding setting;
    const char* artist;
    const char* title;
  };
  const Case cases[] = {
      {"cyrillic", kKino, kGruppaKrovi, TagEncoding::Windows1251, "Кино", "Группа крови"},
      {"central", kZlutoucky, kLodz, TagEncoding::Windows1250, "Žluťoučký kůň", "Łódź"},
      {"western", kMotorhead, kCafe, TagEncoding::Latin1, "Motörhead", "Café"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    for (const bool inV1 : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (inV1 ? " in ID3v1" : " in ID3v2.3"));
      Tags tags;
      if (inV1) {
        tags.v1 = true;
        tags.v1Artist = c.artistBytes;
        tags.v1Title = c.titleBytes;
      } else {
        tags.v2Version = 3;
        tags.v2 = {{"TPE1", TagLib::String::Latin1, c.artistBytes}, {"TIT2", TagLib::String::Latin1, c.titleBytes}};
      }
      const fs::path file = Write(dir / (std::string(c.name) + (inV1 ? "1" : "2") + ".mp3"), tags);
      const Read guessed(file);
      EXPECT_EQ(guessed.artist(), c.artist);
      EXPECT_EQ(guessed.title(), c.title);
      const Read set(file, c.setting);
      EXPECT_EQ(set.artist(), c.artist);
      EXPECT_EQ(set.title(), c.title);
    }
  }
  // "latin1" reads the bytes as before, whatever they look like; another code page is obeyed too.
  Tags tags;
  tags.v1 = true;
  tags.v1Artist = kKino;
  const fs::path file = Write(dir / "kino.mp3", tags);
  EXPECT_EQ(Read(file, TagEncoding::Latin1).artist(), "Êèíî");
  EXPECT_EQ(Read(file, TagEncoding::Koi8R).artist(), "йХМН");
  EXPECT_EQ(Read(file).tags.TextEncoding(), TagEncoding::Windows1251);
}

TEST(TagTexts, UnicodeFramesAreNeverReinterpreted) {
  TempDir dir;
  for (const int version : {3, 4}) {
    SCOPED_TRACE(version);
    const auto unicode = version == 3 ? TagLib::String::UTF16 : TagLib::String::UTF8;
    // Unicode texts that look like misread Cyrillic, beside a Latin-1 frame that is Cyrillic.
    Tags tags;
    tags.v2Version = version;
    tags.v2 = {{"TPE1", unicode, "Êèíî"},
               {"TALB", unicode, "Ãðóïïà"},
               {"TIT2", TagLib::String::Latin1, kGruppaKrovi}};
    const fs::path file = Write(dir / ("u" + std::to_string(version) + ".mp3"), tags);
    for (const TagEncoding setting : {TagEncoding::Auto, TagEncoding::Windows1251}) {
      const Read r(file, setting);
      EXPECT_EQ(r.artist(), "Êèíî");
      EXPECT_EQ(r.tags.Album(), "Ãðóïïà");
      EXPECT_EQ(r.title(), "Группа крови");
    }
  }
}

TEST(TagTexts, AllEightBitFieldsOfAFileAreReadInOneEncoding) {
  TempDir dir;
  // Letters alone ("А и Я") prove nothing, and stay Latin-1 ...
  const std::string letters = "\xC0 \xE8 \xDF";
  Tags alone;
  alone.v1 = true;
  alone.v1Title = letters;
  EXPECT_EQ(Read(Write(dir / "alone.mp3", alone)).title(), "À è ß");
  // ... but beside an album of the ID3v2 tag and a comment they are Cyrillic too.
  Tags both;
  both.v2Version = 3;
  both.v2 = {{"TALB", TagLib::String::Latin1, kGruppaKrovi}, {"COMM", TagLib::String::Latin1, kKino}};
  both.v1 = true;
  both.v1Title = letters;
  both.v1Track = 5;
  const Read r(Write(dir / "both.mp3", both));
  EXPECT_EQ(r.title(), "А и Я");
  EXPECT_EQ(r.tags.Album(), "Группа крови");
  EXPECT_EQ(r.tags.Comment(), "Кино");
  EXPECT_EQ(r.tags.Track(), "5");
}

TEST(TagTexts, ApeTextsFillFieldsNoId3TagHas) {
  TempDir dir;
  Tags apeOnly;
  apeOnly.ape = {{"Title", "Čaj o páté"}, {"Artist", "Кино"},  {"Album", "Album"}, {"Year", "2001-06-01"},
                 {"Genre", "(17)"},       {"Comment", "Nice"}, {"Track", "7/12"}};
  const Read ape(Write(dir / "ape.mp3", apeOnly));
  EXPECT_TRUE(ape.tags.HasApeTag());
  EXPECT_FALSE(ape.tags.TitleIsFileName());
  EXPECT_EQ(ape.title(), "Čaj o páté");  // UTF-8 as APEv2 stores it, never a code page
  EXPECT_EQ(ape.artist(), "Кино");
  EXPECT_EQ(ape.tags.Album(), "Album");
  EXPECT_EQ(ape.tags.Year(), "2001");
  EXPECT_EQ(ape.tags.Genre(), "Rock");
  EXPECT_EQ(ape.tags.Comment(), "Nice");
  EXPECT_EQ(ape.tags.Track(), "7/12");

  // ID3v2 wins, then ID3v1, and APEv2 fills only what both lack.
  Tags all;
  all.v2Version = 4;
  all.v2 = {{"TIT2", TagLib::String::UTF8, "ID3v2 title"}};
  all.v1 = true;
  all.v1Artist = "ID3v1 artist";
  all.ape = {{"Title", "APE title"}, {"Artist", "APE artist"}, {"Album", "APE album"}};
  const Read mixed(Write(dir / "mixed.mp3", all));
  EXPECT_TRUE(mixed.tags.HasV2Tag() && mixed.tags.HasV1Tag() && mixed.tags.HasApeTag());
  EXPECT_EQ(mixed.title(), "ID3v2 title");
  EXPECT_EQ(mixed.artist(), "ID3v1 artist");
  EXPECT_EQ(mixed.tags.Album(), "APE album");
  EXPECT_EQ(mixed.tags.Comment(), std::nullopt);
}

}  // namespace
}  // namespace tovira
