// The time text, the information panel and the window title, from facts and from tagged files.
#include <gtest/gtest.h>

#include <QTextDocument>

#include "tags/TagFiles.h"
#include "ui/player/TrackText.h"

using namespace tovira;

namespace {

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

}  // namespace

TEST(ElapsedText, MinutesSecondsAndRoundedHundredths) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0, "00:00.00"}, {3 * 60000 + 7250, "03:07.25"}, {3 * 60000 + 12500, "03:12.50"},
      {3 * 60000 + 9996, "03:10.00"},  // 9.996 s rounds up into the next ten seconds
      {3 * 60000 + 9994, "03:09.99"}, {59000, "00:59.00"},
      {3 * 60000 + 59996, "04:00.00"},  // a rounding that reaches a full minute carries
      {100 * 60000 + 1000, "100:01.00"}};
  for (const auto& [ms, text] : cases) EXPECT_EQ(FormatElapsed(ms), text) << ms;
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
  QStringList lines = Plain(t.html).split('\n');
  for (QString& line : lines) line = line.trimmed();
  EXPECT_EQ(lines, (QStringList{"THE BAND", "\"A Song\"", "Record (1999)", "Genre: Jazz", "128 kbps 44 kHz Stereo"}));
  EXPECT_TRUE(t.html.contains("<i>Genre:</i>"));
  // The figures line for other streams.
  f.frequency = 22050;
  f.stereo = false;
  f.bitrate = 64000;
  EXPECT_TRUE(Plain(BuildTrackText(f).html).endsWith("64 kbps 22 kHz Mono"));
  f.vbr = true;
  EXPECT_TRUE(Plain(BuildTrackText(f).html).endsWith("VBR 22 kHz Mono"));
}

// An album of 29 characters or more leaves no room for the year.
TEST(TrackPanel, LongAlbumHidesTheYear) {
  const std::pair<int, bool> cases[] = {{0, true}, {28, true}, {29, false}, {30, false}};
  for (const auto& [length, yearShown] : cases) {
    TrackFacts f = Tagged();
    f.album = std::string(static_cast<size_t>(length), 'a');
    f.year = "2001";
    EXPECT_EQ(Plain(BuildTrackText(f).html).contains("(2001)"), yearShown) << length;
  }
}

// Genre names from the panel's own table (nullptr: no genre line), which spells some its own way.
TEST(TrackPanel, GenreNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"(148)", nullptr}, {"(255)", nullptr}, {"148", nullptr}, {"Jazz", "Jazz"}, {"(8)", "Jazz"},
      {"Folk-Rock", "Folk/Rock"}, {"Rhythmic Soul", "Rhytmic Soul"}, {"Christian Rock ", "Christian Rock"},
      {"Chillwave", "Chillwave"}};
  for (const auto& [tagText, shown] : cases) {
    TrackFacts f = Tagged();
    f.genre = tagText;
    const QString text = Plain(BuildTrackText(f).html);
    if (shown == nullptr) {
      EXPECT_FALSE(text.contains("Genre:")) << text.toStdString();
    } else {
      EXPECT_TRUE(text.contains(QString("Genre: ") + shown)) << text.toStdString();
    }
  }
}

TEST(TrackPanel, WindowTitleJoinsWhatTheTagHas) {
  const char* cases[][3] = {{"Artist", "Title", "Artist - Title - Tovira"},
                            {"", "Title", "Title - Tovira"},
                            {"Artist", "", "Artist - Tovira"},
                            {"", "", "Tovira"},
                            {"Artist   ", "Title  ", "Artist - Title - Tovira"}};
  for (const auto& [artist, title, window] : cases) {
    TrackFacts f = Tagged();
    if (*artist) f.artist = artist;
    if (*title) f.title = title;
    EXPECT_EQ(BuildTrackText(f).title, window);
  }
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

TEST(TrackFactsFromFiles, Id3v1WithA30CharacterAlbumAndGenre148) {
  test::TempDir dir;
  const auto file = test::CopyFixture(dir / "old.mp3");
  test::WriteV1(file, {"Old Title", "Old Artist", std::string(30, 'z'), 1987, 148});
  const auto facts = ReadTrackFacts(file.string());
  ASSERT_TRUE(facts.has_value());
  const TrackText t = BuildTrackText(*facts);
  EXPECT_EQ(t.title, "Old Artist - Old Title - Tovira");
  EXPECT_FALSE(Plain(t.html).contains("1987"));
  EXPECT_FALSE(Plain(t.html).contains("Genre:"));
}

TEST(TrackFactsFromFiles, UntaggedFileShowsItsNameAndNonAudioHasNoFacts) {
  test::TempDir dir;
  const auto facts = ReadTrackFacts(test::CopyFixture(dir / "Some Song.mp3").string());
  ASSERT_TRUE(facts.has_value());
  EXPECT_FALSE(facts->tagged);
  const TrackText t = BuildTrackText(*facts);
  EXPECT_EQ(t.title, "Some Song - Tovira");
  EXPECT_TRUE(Plain(t.html).startsWith("Some Song")) << Plain(t.html).toStdString();
  EXPECT_FALSE(Plain(t.html).contains('"'));

  test::WriteBytes(dir / "notes.mp3", "not audio at all\n");
  EXPECT_FALSE(ReadTrackFacts((dir / "notes.mp3").string()).has_value());
}
