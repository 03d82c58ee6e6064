// The time text, the information panel and the window title, from facts and from tagged files.

#include <gtest/gtest.h>

#include <QTextDocument>

#include "tags/TagFiles.h"
#include "ui/player/TrackText.h"

namespace tovira {
namespace {

struct TimeCase {
  uint32_t ms;
  const char* text;
};

class ElapsedText : public ::testing::TestWithParam<TimeCase> {};

TEST_P(ElapsedText, FormatsMinutesSecondsHundredths) { EXPECT_EQ(FormatElapsed(GetParam().ms), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Examples, ElapsedText,
                         ::testing::Values(TimeCase{0, "00:00.00"},
                                           TimeCase{3 * 60000 + 7250, "03:07.25"},
                                           TimeCase{3 * 60000 + 12500, "03:12.50"},
                                           // 9.996 s rounds up into the next ten seconds.
                                           TimeCase{3 * 60000 + 9996, "03:10.00"},
                                           TimeCase{3 * 60000 + 9994, "03:09.99"},
                                           TimeCase{59000, "00:59.00"},
                                           // A rounding that reaches a full minute carries.
                                           TimeCase{3 * 60000 + 59996, "04:00.00"},
                                           TimeCase{100 * 60000 + 1000, "100:01.00"}));

// The panel's visible text, as a reader sees it.
QString Plain(const QString& html) {
  QTextDocument doc;
  doc.setHtml(html);
  return doc.toPlainText();
}

TrackFacts Tagged() {
  TrackFacts f;
  f.path = "/music/x/track.mp3";
  f.tagged = true;
  f.bitrate = 128000;
  f.frequency = 44100;
  return f;
}

TEST(TrackPanel, FullTagGivesArtistTitleAlbumYearGenreAndFigures) {
  TrackFacts f = Tagged();
  f.artist = "The Band";
  f.title = "A Song";
  f.album = "Record";
  f.year = "1999";
  f.genre = "Jazz";
  const TrackText t = BuildTrackText(f);
  EXPECT_EQ(t.title, "The Band - A Song - Tovira");
  const QStringList lines = Plain(t.html).split('\n');
  ASSERT_EQ(lines.size(), 5) << Plain(t.html).toStdString();
  EXPECT_EQ(lines[0].trimmed(), "THE BAND");
  EXPECT_EQ(lines[1].trimmed(), "\"A Song\"");
  EXPECT_EQ(lines[2].trimmed(), "Record (1999)");
  EXPECT_EQ(lines[3].trimmed(), "Genre: Jazz");
  EXPECT_EQ(lines[4].trimmed(), "128 kbps 44 kHz Stereo");
  EXPECT_TRUE(t.html.contains("<i>Genre:</i>"));
}

TEST(TrackPanel, FiguresLine) {
  TrackFacts f = Tagged();
  f.title = "T";
  EXPECT_TRUE(Plain(BuildTrackText(f).html).endsWith("128 kbps 44 kHz Stereo"));
  f.frequency = 22050;
  f.stereo = false;
  f.bitrate = 64000;
  EXPECT_TRUE(Plain(BuildTrackText(f).html).endsWith("64 kbps 22 kHz Mono"));
  f.vbr = true;
  EXPECT_TRUE(Plain(BuildTrackText(f).html).endsWith("VBR 22 kHz Mono"));
}

struct AlbumCase {
  int length;
  bool yearShown;
};

class AlbumLength : public ::testing::TestWithParam<AlbumCase> {};

TEST_P(AlbumLength, LongAlbumLeavesNoRoomForTheYear) {
  TrackFacts f = Tagged();
  f.album = std::string(static_cast<size_t>(GetParam().length), 'a');
  f.year = "2001";
  EXPECT_EQ(Plain(BuildTrackText(f).html).contains("(2001)"), GetParam().yearShown);
}

INSTANTIATE_TEST_SUITE_P(Lengths, AlbumLength,
                         ::testing::Values(AlbumCase{0, true}, AlbumCase{28, true}, AlbumCase{29, false},
                                           AlbumCase{30, false}));

struct GenreCase {
  const char* tagText;  // what the tag reader gives
  const char* shown;    // nullptr: no genre line
};

class PanelGenre : public ::testing::TestWithParam<GenreCase> {};

TEST_P(PanelGenre, NamesFromThePanelTable) {
  TrackFacts f = Tagged();
  f.genre = GetParam().tagText;
  const QString text = Plain(BuildTrackText(f).html);
  if (GetParam().shown == nullptr) {
    EXPECT_FALSE(text.contains("Genre:")) << text.toStdString();
  } else {
    EXPECT_TRUE(text.contains(QString("Genre: ") + GetParam().shown)) << text.toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Genres, PanelGenre,
    ::testing::Values(GenreCase{"(148)", nullptr}, GenreCase{"(255)", nullptr}, GenreCase{"148", nullptr},
                      GenreCase{"Jazz", "Jazz"}, GenreCase{"(8)", "Jazz"},
                      // The panel spells some names its own way.
                      GenreCase{"Folk-Rock", "Folk/Rock"}, GenreCase{"Rhythmic Soul", "Rhytmic Soul"},
                      GenreCase{"Christian Rock ", "Christian Rock"}, GenreCase{"Chillwave", "Chillwave"}));

struct TitleCase {
  const char* artist;
  const char* title;
  const char* window;
};

class WindowTitle : public ::testing::TestWithParam<TitleCase> {};

TEST_P(WindowTitle, JoinsWhatTheTagHas) {
  TrackFacts f = Tagged();
  if (*GetParam().artist) f.artist = GetParam().artist;
  if (*GetParam().title) f.title = GetParam().title;
  EXPECT_EQ(BuildTrackText(f).title, GetParam().window);
}

INSTANTIATE_TEST_SUITE_P(Tags, WindowTitle,
                         ::testing::Values(TitleCase{"Artist", "Title", "Artist - Title - Tovira"},
                                           TitleCase{"", "Title", "Title - Tovira"},
                                           TitleCase{"Artist", "", "Artist - Tovira"},
                                           TitleCase{"", "", "Tovira"},
                                           TitleCase{"Artist   ", "Title  ", "Artist - Title - Tovira"}));

TEST(TrackPanel, UntaggedFileShowsItsName) {
  TrackFacts f;
  f.path = "/some/folder/Some Song.mp3";
  f.bitrate = 128000;
  f.frequency = 44100;
  const TrackText t = BuildTrackText(f);
  EXPECT_EQ(t.title, "Some Song - Tovira");
  EXPECT_TRUE(Plain(t.html).startsWith("Some Song")) << Plain(t.html).toStdString();
  EXPECT_FALSE(Plain(t.html).contains('"'));
}

TEST(TrackPanel, TagTextsAreNotMarkup) {
  TrackFacts f = Tagged();
  f.artist = "<b>A&B</b>";
  f.title = "x<br>y";
  f.album = "<i>";
  const TrackText t = BuildTrackText(f);
  const QString text = Plain(t.html);
  EXPECT_TRUE(text.contains("<B>A&B</B>")) << text.toStdString();
  EXPECT_TRUE(text.contains("\"x<br>y\"")) << text.toStdString();
  EXPECT_TRUE(text.contains("<i>"));
  // The window title is plain text and keeps them as they are.
  EXPECT_EQ(t.title, "<b>A&B</b> - x<br>y - Tovira");
}

// Read from real files: tags through the tag reader, both tag versions, UTF-8.
TEST(TrackFactsFromFiles, Id3v2TextsInUtf8) {
  test::TempDir dir;
  const auto file = test::CopyFixture(dir / "song.mp3");
  test::WriteV2(file, 4, TagLib::String::UTF8,
                {{"TPE1", TagLib::String("Björk", TagLib::String::UTF8)},
                 {"TIT2", TagLib::String("日本語", TagLib::String::UTF8)},
                 {"TALB", TagLib::String("Ålbum", TagLib::String::UTF8)},
                 {"TCON", "(8)"}});
  const auto facts = ReadTrackFacts(file.string());
  ASSERT_TRUE(facts.has_value());
  const TrackText t = BuildTrackText(*facts);
  EXPECT_EQ(t.title, QString::fromUtf8("Björk - 日本語 - Tovira"));
  const QString text = Plain(t.html);
  EXPECT_TRUE(text.contains(QString::fromUtf8("BJÖRK"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromUtf8("Ålbum")));
  EXPECT_TRUE(text.contains("Genre: Jazz"));
  EXPECT_TRUE(text.endsWith("128 kbps 44 kHz Stereo")) << text.toStdString();
  EXPECT_NEAR(facts->durationMs, 3000.0, 200.0);  // the encoder pads a few frames
}

TEST(TrackFactsFromFiles, Id3v1Only) {
  test::TempDir dir;
  const auto file = test::CopyFixture(dir / "old.mp3");
  test::WriteV1(file, {"Old Title", "Old Artist", std::string(30, 'z'), 1987, 148});
  const auto facts = ReadTrackFacts(file.string());
  ASSERT_TRUE(facts.has_value());
  const TrackText t = BuildTrackText(*facts);
  EXPECT_EQ(t.title, "Old Artist - Old Title - Tovira");
  const QString text = Plain(t.html);
  EXPECT_FALSE(text.contains("1987"));
  EXPECT_FALSE(text.contains("Genre:"));
}

TEST(TrackFactsFromFiles, UntaggedFileAndNonAudio) {
  test::TempDir dir;
  const auto file = test::CopyFixture(dir / "Some Song.mp3");
  const auto facts = ReadTrackFacts(file.string());
  ASSERT_TRUE(facts.has_value());
  EXPECT_FALSE(facts->tagged);
  EXPECT_EQ(BuildTrackText(*facts).title, "Some Song - Tovira");

  const auto text = dir / "notes.mp3";
  std::ofstream(text) << "not audio at all\n";
  EXPECT_FALSE(ReadTrackFacts(text.string()).has_value());
}

}  // namespace
}  // namespace tovira
