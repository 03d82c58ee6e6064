#include "tags/TagInfo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "tags/TagFiles.h"

namespace tovira {
namespace {

using test::CopyFixture;
using test::Fixture;
using test::TempDir;
using test::WriteV1;
using test::WriteV2;
namespace fs = std::filesystem;

// Artist, title, album, year and genre, each followed by '|', "-" for an absent text: one
// comparison shows every field.
std::string Texts(const TagInfo& t) {
  std::string s;
  for (const auto* v : {&t.Artist(), &t.Title(), &t.Album(), &t.Year(), &t.Genre()}) s += v->value_or("-") + "|";
  return s;
}

// Reads a file that must hold audio.
std::unique_ptr<TagInfo> Read(const fs::path& file) {
  auto t = std::make_unique<TagInfo>();
  EXPECT_TRUE(t->ReadFile(file.string())) << file;
  return t;
}

TEST(TagInfo, UntaggedFilesHaveStreamFiguresAndTheFileNameAsTitle) {
  TempDir dir;
  const auto t = Read(CopyFixture(dir / "Music/song.mp3"));
  EXPECT_FALSE(t->HasV2Tag());
  EXPECT_EQ(Texts(*t), "-|song|-|-|-|");
  EXPECT_EQ(t->Duration(), 3u);  // three seconds of audio
  EXPECT_EQ(t->Bitrate(), 128000u);
  EXPECT_EQ(t->Frequency(), 44100);
  EXPECT_EQ(t->Mode(), 1);
  EXPECT_FALSE(t->IsVbr());
  const auto two = Read(CopyFixture(dir / "x.mp2", "l2_44k_192.mp2"));  // Layer II is MPEG audio too
  EXPECT_EQ(two->Bitrate(), 192000u);
  EXPECT_EQ(Texts(*two), "-|x|-|-|-|");
}

TEST(TagInfo, FileNameTitleKeepsWholeCharactersAndOddNames) {
  EXPECT_EQ(TagInfo::NameWithoutExtension("/a/b/Some Song.mp3"), "Some Song");
  EXPECT_EQ(TagInfo::NameWithoutExtension("/a/100%s%n.mp3"), "100%s%n");
  EXPECT_EQ(TagInfo::NameWithoutExtension("/a/track.flac"), "track.");  // four characters, whatever they are
  EXPECT_EQ(TagInfo::NameWithoutExtension("mp3"), "");
  // Four characters, not bytes: no half UTF-8 sequence is left behind.
  EXPECT_EQ(TagInfo::NameWithoutExtension("/x/Žluť.ÿÿÿ"), "Žluť");

  TempDir dir;
  const auto file = CopyFixture(dir / "Пісня 日本 100%.mp3");
  const auto t = Read(file);
  EXPECT_EQ(t->Title(), "Пісня 日本 100%");
  EXPECT_EQ(t->Path(), file.string());
}

TEST(TagInfo, DurationCountsTheAudioNotTheCoverPicture) {
  // Ten seconds with a 160 KB picture in front: the picture's bytes are no frames, and the
  // information frame lies far past the file's first kilobytes.
  for (const char* name : {"l3_10s_cbr_pic.mp3", "l3_10s_vbr_pic.mp3"}) {
    SCOPED_TRACE(name);
    const auto t = Read(Fixture(name));
    EXPECT_EQ(t->Duration(), 10u);
    EXPECT_EQ(t->Title(), "Ten seconds");
    EXPECT_EQ(t->IsVbr(), std::string(name).find("vbr") != std::string::npos);
  }
  // Variable bit rate without an information frame keeps the estimate from its first frame.
  const auto bare = Read(Fixture("l3_10s_vbr_bare.mp3"));
  EXPECT_FALSE(bare->IsVbr());
  EXPECT_LT(bare->Duration(), 10u);
}

TEST(TagInfo, Id3v1OnlyTextsAndGenres) {
  TempDir dir;
  const auto file = CopyFixture(dir / "v1.mp3");
  const std::pair<test::V1Fields, std::string> cases[] = {
      {{"Title One", "Artist One", "Album One", 1987, 8}, "Artist One|Title One|Album One|1987|Jazz|"},
      {{"", "A", "", 0, 200}, "A|v1|-|-|(200)|"},  // an empty title field counts as no title
      {{"T", "A", "", 0, 255}, "A|T|-|-|-|"},      // 255: no genre
      {{"T", "A", "", 0, 0}, "A|T|-|-|Blues|"},
  };
  for (const auto& [fields, texts] : cases) {
    WriteV1(file, fields);
    const auto t = Read(file);
    EXPECT_FALSE(t->HasV2Tag());
    EXPECT_EQ(Texts(*t), texts);
    EXPECT_EQ(t->Duration(), 3u);
  }
}

TEST(TagInfo, Id3v2TextsAreUtf8WhateverTheirEncoding) {
  TempDir dir;
  const auto v23 = CopyFixture(dir / "v23.mp3");
  WriteV2(v23, 3, TagLib::String::UTF16,
          {{"TPE1", TagLib::String("Мотörhead 東京", TagLib::String::UTF8)},
           {"TIT2", TagLib::String("Ñandú – ελληνικά", TagLib::String::UTF8)},
           {"TALB", TagLib::String("Ålbum", TagLib::String::UTF8)},
           {"TYER", "1999"},
           {"TCON", "(17)"}});
  const auto t = Read(v23);
  EXPECT_TRUE(t->HasV2Tag());
  EXPECT_EQ(Texts(*t), "Мотörhead 東京|Ñandú – ελληνικά|Ålbum|1999|Rock|");
  EXPECT_EQ(t->Duration(), 3u);

  const auto v24 = CopyFixture(dir / "v24.mp3");
  WriteV2(v24, 4, TagLib::String::UTF8,
          {{"TPE1", TagLib::String("Björk", TagLib::String::UTF8)},
           {"TIT2", TagLib::String("日本語のタイトル", TagLib::String::UTF8)},
           {"TDRC", "2004-05-01T12:00"},
           {"TCON", TagLib::String("Électro", TagLib::String::UTF8)}});
  EXPECT_EQ(Texts(*Read(v24)), "Björk|日本語のタイトル|-|2004|Électro|");

  // A missing title frame leaves the file name.
  const auto untitled = CopyFixture(dir / "no title here.mp3");
  WriteV2(untitled, 4, TagLib::String::UTF8, {{"TPE1", "Someone"}});
  EXPECT_EQ(Texts(*Read(untitled)), "Someone|no title here|-|-|-|");
}

TEST(TagInfo, Id3v22FramesAreRead) {
  // Three-character frame names and sizes; written by hand since TagLib writes only 2.3 and 2.4.
  auto frame = [](const std::string& id, const std::string& text) {
    const std::string body = std::string(1, '\0') + text;
    return id + std::string(1, '\0') + std::string(1, '\0') + std::string(1, static_cast<char>(body.size())) + body;
  };
  const std::string frames = frame("TT2", "Old Title") + frame("TP1", "Old Artist") + frame("TYE", "1998") +
                             frame("TCO", "(17)");
  const std::string header = std::string("ID3\x02\x00\x00\x00\x00\x00", 9) + static_cast<char>(frames.size());
  TempDir dir;
  test::WriteBytes(dir / "v22.mp3", header + frames + test::ReadBytes(test::Fixture("l3_44k_128_js.mp3")));
  const auto t = Read(dir / "v22.mp3");
  EXPECT_TRUE(t->HasV2Tag());
  EXPECT_EQ(Texts(*t), "Old Artist|Old Title|-|1998|Rock|");
}

TEST(TagInfo, Id3v1FillsFramesTheId3v2TagLacks) {
  TempDir dir;
  const auto file = CopyFixture(dir / "both.mp3");
  WriteV1(file, {"V1 Title", "V1 Artist", "V1 Album", 1970, 9});
  {
    TagLib::MPEG::File f(file.c_str(), false);
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TPE1", TagLib::String::Latin1);
    frame->setText("V2 Artist");
    f.ID3v2Tag(true)->addFrame(frame);
    ASSERT_TRUE(f.save(TagLib::MPEG::File::AllTags, TagLib::File::StripNone, TagLib::ID3v2::v4));
  }
  const auto t = Read(file);
  EXPECT_TRUE(t->HasV2Tag());
  EXPECT_EQ(Texts(*t), "V2 Artist|V1 Title|V1 Album|1970|Metal|");
}

class Id3v2Genre : public ::testing::TestWithParam<int> {};

TEST_P(Id3v2Genre, StoredFormsGiveTheListedNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"(17)", "Rock"},   {"17", "Rock"},        {"(0)", "Blues"},   {"0", "Blues"},         {"Rock", "Rock"},
      {"(255)", "(255)"}, {"(147)", "Synthpop"}, {"(148)", "(148)"}, {"((67))", "Psychadelic"}};
  TempDir dir;
  for (const auto& [stored, shown] : cases) {
    SCOPED_TRACE(stored);
    const auto file = CopyFixture(dir / "g.mp3");
    WriteV2(file, GetParam(), GetParam() == 3 ? TagLib::String::UTF16 : TagLib::String::UTF8,
            {{"TIT2", "x"}, {"TCON", stored}});
    EXPECT_EQ(Read(file)->Genre(), shown);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, Id3v2Genre, ::testing::Values(3, 4));

TEST(TagInfo, GenreRulesOnTexts) {
  EXPECT_EQ(TagInfo::GenreFromV2(std::nullopt), std::nullopt);
  EXPECT_EQ(TagInfo::GenreFromV1(std::nullopt), std::nullopt);
  const std::pair<const char*, const char*> v2[] = {
      {"", ""}, {"(141)", "Christian Rock "}, {"99999999999999999999", "99999999999999999999"}, {"-5", "-5"}};
  for (const auto& [stored, shown] : v2) EXPECT_EQ(TagInfo::GenreFromV2(std::string(stored)), shown);
  const std::pair<const char*, const char*> v1[] = {{"(8)", "Jazz"}, {"(0)", "Blues"}, {"(200)", "(200)"}, {"(-1)", "(-1)"}, {"8", "8"}};
  for (const auto& [stored, shown] : v1) EXPECT_EQ(TagInfo::GenreFromV1(std::string(stored)), shown);
}

TEST(TagInfo, RejectedFilesLeaveNothingBehind) {
  TempDir dir;
  const auto good = CopyFixture(dir / "good.mp3");
  WriteV2(good, 4, TagLib::String::UTF8, {{"TPE1", "A"}, {"TCON", "(1)"}});
  test::WriteBytes(dir / "random.mp3", test::RandomBytes(50000, 7));
  test::WriteBytes(dir / "empty.mp3", "");
  fs::create_directory(dir / "folder.mp3");
  fs::create_symlink(dir / "nowhere.mp3", dir / "dangling.mp3");
  ASSERT_EQ(::mkfifo((dir / "fifo.mp3").c_str(), 0600), 0);  // must not block: nobody writes

  TagInfo t;
  for (const char* name : {"random.mp3", "empty.mp3", "folder.mp3", "dangling.mp3", "fifo.mp3", "absent.mp3"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(t.ReadFile(good.string()));
    EXPECT_EQ(t.Artist(), "A");
    EXPECT_FALSE(t.ReadFile((dir / name).string()));
    EXPECT_EQ(Texts(t), "-|-|-|-|-|");
    EXPECT_EQ(t.Duration(), 0u);
    EXPECT_FALSE(t.IsValid());
  }
  // A path with a NUL inside must not be cut short into another file's name.
  std::string sneaky = good.string();
  sneaky.push_back('\0');
  sneaky += "junk";
  EXPECT_FALSE(t.ReadFile(sneaky));
  EXPECT_FALSE(t.ReadFile(""));
}

TEST(TagInfo, DamagedId3v2TagsDoNotStopTheAudio) {
  TempDir dir;
  const std::string audio = test::ReadBytes(test::Fixture("l3_44k_128_js.mp3"));
  TagInfo t;
  auto readBytes = [&](const std::string& bytes) {
    test::WriteBytes(dir / "damaged.mp3", bytes);
    return t.ReadFile((dir / "damaged.mp3").string());
  };
  // A tag header that claims far more than the file holds.
  EXPECT_FALSE(readBytes(std::string("ID3\x04\x00\x00\x7f\x7f\x7f\x7f", 10) + "TIT2\x00\x00\x01"));

  // A short tag whose only frame claims to run past the tag's end, followed by the audio.
  const std::string frame = std::string("TIT2\x7f\x7f\x7f\x7f\x00\x00\x03Hello", 15);
  const std::string header = std::string("ID3\x04\x00\x00\x00\x00\x00", 9) + static_cast<char>(frame.size());
  ASSERT_TRUE(readBytes(header + frame + audio));
  EXPECT_EQ(t.Duration(), 3u);
  EXPECT_EQ(t.Title(), "damaged");

  // The real file cut in the middle of its tag: some bytes of a big TALB frame, then nothing.
  const auto full = CopyFixture(dir / "full.mp3");
  WriteV2(full, 3, TagLib::String::Latin1, {{"TALB", TagLib::String(std::string(5000, 'x'))}, {"TCON", "(255)"}});
  const std::string bytes = test::ReadBytes(full);
  for (size_t cut : {size_t{5}, size_t{11}, size_t{300}, size_t{4000}}) EXPECT_FALSE(readBytes(bytes.substr(0, cut))) << cut;
  // Random bytes after a plausible tag header, then audio: the tag may be garbage, the audio is found.
  EXPECT_TRUE(readBytes(std::string("ID3\x03\x00\x00\x00\x00\x08\x00", 10) + test::RandomBytes(1024, 3) + audio));
}

}  // namespace
}  // namespace tovira
