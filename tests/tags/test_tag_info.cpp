#include "tags/TagInfo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tags/TagFiles.h"

namespace tovira {
namespace {

using test::CopyFixture;
using test::Fixture;
using test::TempDir;
using test::WriteV1;
using test::WriteV2;

void ExpectEmpty(const TagInfo& t) {
  EXPECT_FALSE(t.Artist());
  EXPECT_FALSE(t.Title());
  EXPECT_FALSE(t.Album());
  EXPECT_FALSE(t.Year());
  EXPECT_FALSE(t.Genre());
  EXPECT_EQ(t.Duration(), 0u);
  EXPECT_FALSE(t.IsValid());
}

TEST(TagInfo, UntaggedFileHasStreamFiguresAndFileNameTitle) {
  TempDir dir;
  const auto file = CopyFixture(dir / "Music/song.mp3");
  TagInfo t;
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_FALSE(t.HasV2Tag());
  EXPECT_FALSE(t.Artist());
  EXPECT_FALSE(t.Album());
  EXPECT_FALSE(t.Year());
  EXPECT_FALSE(t.Genre());
  EXPECT_EQ(t.Title(), "song");
  EXPECT_EQ(t.Duration(), 3u);  // three seconds of audio
  EXPECT_EQ(t.Bitrate(), 128000u);
  EXPECT_EQ(t.Frequency(), 44100);
  EXPECT_EQ(t.Mode(), 1);
  EXPECT_FALSE(t.IsVbr());
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
  TagInfo t;
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_EQ(t.Title(), "Пісня 日本 100%");
  EXPECT_EQ(t.Path(), file.string());
}

TEST(TagInfo, VbrDurationComesFromTheXingHeader) {
  TempDir dir;
  const auto file = CopyFixture(dir / "vbr.mp3", "l3_44k_vbr.mp3");
  TagInfo t;
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_TRUE(t.IsVbr());
  EXPECT_EQ(t.Duration(), 3u);
}

TEST(TagInfo, DurationCountsTheAudioNotTheCoverPicture) {
  // Ten seconds with a 160 KB picture in front: the picture's bytes are no frames, and the
  // information frame lies far past the file's first kilobytes.
  for (const char* name : {"l3_10s_cbr_pic.mp3", "l3_10s_vbr_pic.mp3"}) {
    SCOPED_TRACE(name);
    TagInfo t;
    ASSERT_TRUE(t.ReadFile(Fixture(name).string()));
    EXPECT_EQ(t.Duration(), 10u);
    EXPECT_EQ(t.Title(), "Ten seconds");
    EXPECT_EQ(t.IsVbr(), std::string(name).find("vbr") != std::string::npos);
  }
  // Variable bit rate without an information frame keeps the estimate from its first frame.
  TagInfo bare;
  ASSERT_TRUE(bare.ReadFile(Fixture("l3_10s_vbr_bare.mp3").string()));
  EXPECT_FALSE(bare.IsVbr());
  EXPECT_LT(bare.Duration(), 10u);
}

TEST(TagInfo, LayerTwoIsMpegAudioToo) {
  TempDir dir;
  const auto file = CopyFixture(dir / "x.mp2", "l2_44k_192.mp2");
  TagInfo t;
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_EQ(t.Bitrate(), 192000u);
  EXPECT_EQ(t.Title(), "x");
}

TEST(TagInfo, Id3v1OnlyTextsAndGenres) {
  TempDir dir;
  const auto file = CopyFixture(dir / "v1.mp3");
  WriteV1(file, {"Title One", "Artist One", "Album One", 1987, 8});
  TagInfo t;
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_FALSE(t.HasV2Tag());
  EXPECT_EQ(t.Title(), "Title One");
  EXPECT_EQ(t.Artist(), "Artist One");
  EXPECT_EQ(t.Album(), "Album One");
  EXPECT_EQ(t.Year(), "1987");
  EXPECT_EQ(t.Genre(), "Jazz");
  EXPECT_EQ(t.Duration(), 3u);

  WriteV1(file, {"", "A", "", 0, 200});
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_EQ(t.Genre(), "(200)");
  EXPECT_EQ(t.Title(), "v1");  // an empty title field counts as no title
  EXPECT_FALSE(t.Album());
  EXPECT_FALSE(t.Year());

  WriteV1(file, {"T", "A", "", 0, 255});  // 255: no genre
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_FALSE(t.Genre());
  WriteV1(file, {"T", "A", "", 0, 0});
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_EQ(t.Genre(), "Blues");
}

TEST(TagInfo, Id3v23Utf16TextsAreUtf8) {
  TempDir dir;
  const auto file = CopyFixture(dir / "v23.mp3");
  WriteV2(file, 3, TagLib::String::UTF16,
          {{"TPE1", TagLib::String("Мотörhead 東京", TagLib::String::UTF8)},
           {"TIT2", TagLib::String("Ñandú – ελληνικά", TagLib::String::UTF8)},
           {"TALB", TagLib::String("Ålbum", TagLib::String::UTF8)},
           {"TYER", "1999"},
           {"TCON", "(17)"}});
  TagInfo t;
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_TRUE(t.HasV2Tag());
  EXPECT_EQ(t.Artist(), "Мотörhead 東京");
  EXPECT_EQ(t.Title(), "Ñandú – ελληνικά");
  EXPECT_EQ(t.Album(), "Ålbum");
  EXPECT_EQ(t.Year(), "1999");
  EXPECT_EQ(t.Genre(), "Rock");
  EXPECT_EQ(t.Duration(), 3u);
}

TEST(TagInfo, Id3v24Utf8TextsAndRecordingTime) {
  TempDir dir;
  const auto file = CopyFixture(dir / "v24.mp3");
  WriteV2(file, 4, TagLib::String::UTF8,
          {{"TPE1", TagLib::String("Björk", TagLib::String::UTF8)},
           {"TIT2", TagLib::String("日本語のタイトル", TagLib::String::UTF8)},
           {"TDRC", "2004-05-01T12:00"},
           {"TCON", TagLib::String("Électro", TagLib::String::UTF8)}});
  TagInfo t;
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_EQ(t.Artist(), "Björk");
  EXPECT_EQ(t.Title(), "日本語のタイトル");
  EXPECT_FALSE(t.Album());
  EXPECT_EQ(t.Year(), "2004");
  EXPECT_EQ(t.Genre(), "Électro");
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
  TagInfo t;
  ASSERT_TRUE(t.ReadFile((dir / "v22.mp3").string()));
  EXPECT_TRUE(t.HasV2Tag());
  EXPECT_EQ(t.Title(), "Old Title");
  EXPECT_EQ(t.Artist(), "Old Artist");
  EXPECT_EQ(t.Year(), "1998");
  EXPECT_EQ(t.Genre(), "Rock");
}

TEST(TagInfo, MissingTitleFrameFallsBackToFileName) {
  TempDir dir;
  const auto file = CopyFixture(dir / "no title here.mp3");
  WriteV2(file, 4, TagLib::String::UTF8, {{"TPE1", "Someone"}});
  TagInfo t;
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_EQ(t.Artist(), "Someone");
  EXPECT_EQ(t.Title(), "no title here");
  EXPECT_FALSE(t.Genre());
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
  TagInfo t;
  ASSERT_TRUE(t.ReadFile(file.string()));
  EXPECT_TRUE(t.HasV2Tag());
  EXPECT_EQ(t.Artist(), "V2 Artist");
  EXPECT_EQ(t.Title(), "V1 Title");
  EXPECT_EQ(t.Album(), "V1 Album");
  EXPECT_EQ(t.Year(), "1970");
  EXPECT_EQ(t.Genre(), "Metal");
}

struct GenreCase {
  const char* stored;
  const char* shown;
};

class Id3v2Genre : public ::testing::TestWithParam<int> {};

TEST_P(Id3v2Genre, StoredFormsGiveTheListedNames) {
  const GenreCase cases[] = {{"(17)", "Rock"},   {"17", "Rock"},     {"(0)", "Blues"},
                             {"0", "Blues"},     {"Rock", "Rock"},   {"(255)", "(255)"},
                             {"(147)", "Synthpop"}, {"(148)", "(148)"}, {"((67))", "Psychadelic"}};
  TempDir dir;
  TagInfo t;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    const auto file = CopyFixture(dir / "g.mp3");
    WriteV2(file, GetParam(), GetParam() == 3 ? TagLib::String::UTF16 : TagLib::String::UTF8,
            {{"TIT2", "x"}, {"TCON", c.stored}});
    ASSERT_TRUE(t.ReadFile(file.string()));
    EXPECT_EQ(t.Genre(), c.shown);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, Id3v2Genre, ::testing::Values(3, 4));

TEST(TagInfo, GenreRulesOnTexts) {
  EXPECT_EQ(TagInfo::GenreFromV2(std::nullopt), std::nullopt);
  EXPECT_EQ(TagInfo::GenreFromV2(std::string("")), "");
  EXPECT_EQ(TagInfo::GenreFromV2(std::string("(141)")), "Christian Rock ");
  EXPECT_EQ(TagInfo::GenreFromV2(std::string("99999999999999999999")), "99999999999999999999");
  EXPECT_EQ(TagInfo::GenreFromV2(std::string("-5")), "-5");
  EXPECT_EQ(TagInfo::GenreFromV1(std::nullopt), std::nullopt);
  EXPECT_EQ(TagInfo::GenreFromV1(std::string("(8)")), "Jazz");
  EXPECT_EQ(TagInfo::GenreFromV1(std::string("(0)")), "Blues");
  EXPECT_EQ(TagInfo::GenreFromV1(std::string("(200)")), "(200)");
  EXPECT_EQ(TagInfo::GenreFromV1(std::string("(-1)")), "(-1)");
  EXPECT_EQ(TagInfo::GenreFromV1(std::string("8")), "8");
}

TEST(TagInfo, RejectedFilesLeaveNothingBehind) {
  TempDir dir;
  const auto good = CopyFixture(dir / "good.mp3");
  WriteV2(good, 4, TagLib::String::UTF8, {{"TPE1", "A"}, {"TCON", "(1)"}});
  test::WriteBytes(dir / "random.mp3", test::RandomBytes(50000, 7));
  test::WriteBytes(dir / "empty.mp3", "");
  std::filesystem::create_directory(dir / "folder.mp3");
  std::filesystem::create_symlink(dir / "nowhere.mp3", dir / "dangling.mp3");
  ASSERT_EQ(::mkfifo((dir / "fifo.mp3").c_str(), 0600), 0);  // must not block: nobody writes

  TagInfo t;
  for (const char* name : {"random.mp3", "empty.mp3", "folder.mp3", "dangling.mp3", "fifo.mp3", "absent.mp3"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(t.ReadFile(good.string()));
    EXPECT_EQ(t.Artist(), "A");
    EXPECT_FALSE(t.ReadFile((dir / name).string()));
    ExpectEmpty(t);
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

  // A tag header that claims far more than the file holds.
  std::string truncated = std::string("ID3\x04\x00\x00\x7f\x7f\x7f\x7f", 10) + "TIT2\x00\x00\x01";
  test::WriteBytes(dir / "trunc.mp3", truncated);
  EXPECT_FALSE(t.ReadFile((dir / "trunc.mp3").string()));

  // A short tag whose only frame claims to run past the tag's end, followed by the audio.
  std::string frame = std::string("TIT2\x7f\x7f\x7f\x7f\x00\x00\x03Hello", 15);
  std::string header = std::string("ID3\x04\x00\x00\x00\x00\x00", 9) + static_cast<char>(frame.size());
  test::WriteBytes(dir / "badframe.mp3", header + frame + audio);
  ASSERT_TRUE(t.ReadFile((dir / "badframe.mp3").string()));
  EXPECT_EQ(t.Duration(), 3u);
  EXPECT_EQ(t.Title(), "badframe");

  // The real file cut in the middle of its tag: some bytes of a big TALB frame, then nothing.
  const auto full = CopyFixture(dir / "full.mp3");
  WriteV2(full, 3, TagLib::String::Latin1, {{"TALB", TagLib::String(std::string(5000, 'x'))}, {"TCON", "(255)"}});
  const std::string bytes = test::ReadBytes(full);
  for (size_t cut : {size_t{5}, size_t{11}, size_t{300}, size_t{4000}}) {
    test::WriteBytes(dir / "cut.mp3", bytes.substr(0, cut));
    EXPECT_FALSE(t.ReadFile((dir / "cut.mp3").string())) << cut;
  }
  // Random bytes after a plausible tag header, then audio: the tag may be garbage, the audio is found.
  test::WriteBytes(dir / "noise.mp3", std::string("ID3\x03\x00\x00\x00\x00\x08\x00", 10) + test::RandomBytes(1024, 3) + audio);
  EXPECT_TRUE(t.ReadFile((dir / "noise.mp3").string()));
}

}  // namespace
}  // namespace tovira
