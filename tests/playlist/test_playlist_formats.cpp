// Playlists as collections have them: encodings, #EXTINF hints, PLS, XSPF, the kind told by name
// or content, nested playlists, saving every kind and reading it back, and long lists.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <tuple>

#include "playlist/PlaylistFiles.h"
#include "playlist/PlaylistModel.h"
#include "playlist/PlaylistTestUtil.h"
#include "playlist/TextEncoding.h"

namespace tovira {
namespace {

using namespace test;

// Sets an environment variable for one scope and puts back what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct Hint {
  uint32_t seconds = 0;
  std::string artist, title;
  bool operator==(const Hint&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Hint& h) {
  return out << "{" << h.seconds << ", \"" << h.artist << "\", \"" << h.title << "\"}";
}

std::vector<std::string> PathsOf(const PlaylistEntries& e) { return {e.paths.begin(), e.paths.end()}; }

std::vector<Hint> HintsOf(const PlaylistEntries& e) {
  std::vector<Hint> hints;
  for (size_t i = 0; i < e.paths.size(); ++i) {
    if (e.hints.empty()) {
      hints.emplace_back();
      continue;
    }
    const EntryHint h = UnpackHint(e.hints[i]);
    hints.push_back(Hint{h.seconds, std::string(h.artist), std::string(h.title)});
  }
  return hints;
}

PlaylistEntries Read(const fs::path& file) { return ReadPlaylist(file.string(), PlaylistFormatOfFile(file.string())); }

// ---------------------------------------------------------------------------------------------
// Encodings

TEST(PlaylistEncoding, Utf8WithOrWithoutMarkAndLegacyFilesEachTakenAsAWhole) {
  TempDir dir;
  const ScopedEnv locale("LC_ALL", "C.UTF-8");  // no 8-bit encoding of its own: ISO-8859-1
  const std::string utf8 = "#EXTM3U\n#EXTINF:245,Motörhead - Ace of Spades\nMotörhead.mp3\r\nCafé/été.mp3\n";
  const std::string latin1 = "#EXTM3U\n#EXTINF:245,Mot\xF6rhead - Ace of Spades\nMot\xF6rhead.mp3\r\nCaf\xE9/\xE9t\xE9.mp3\n";
  const std::vector<std::string> want = {(dir / "Motörhead.mp3").string(), (dir / "Café/été.mp3").string()};
  const std::vector<Hint> hints = {{245, "Motörhead", "Ace of Spades"}, {}};
  for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"plain.m3u", utf8},
                                    {"marked.m3u8", "\xEF\xBB\xBF" + utf8},
                                    {"legacy.M3U", latin1}}) {
    WriteBytes(dir / name, bytes);
    const auto entries = Read(dir / name);
    EXPECT_EQ(PathsOf(entries), want) << name;
    EXPECT_EQ(HintsOf(entries), hints) << name;
  }
  // One line that happens to be valid UTF-8 does not make the file UTF-8: its bytes are read
  // as ISO-8859-1 like the rest ("é" as two bytes becomes two characters).
  WriteBytes(dir / "mixed.m3u", "Caf\xC3\xA9.mp3\nMot\xF6rhead.mp3\n");
  EXPECT_EQ(PathsOf(Read(dir / "mixed.m3u")),
            (std::vector<std::string>{(dir / "Caf\xC3\x83\xC2\xA9.mp3").string(), (dir / "Motörhead.mp3").string()}));

  // PLS the same way; XSPF by its declaration or its byte-order mark.
  WriteBytes(dir / "legacy.pls", "[playlist]\nFile1=Caf\xE9.mp3\nTitle1=Caf\xE9 - Th\xE9\n");
  EXPECT_EQ(PathsOf(Read(dir / "legacy.pls")), std::vector<std::string>{(dir / "Café.mp3").string()});
  EXPECT_EQ(HintsOf(Read(dir / "legacy.pls")), (std::vector<Hint>{{0, "Café", "Thé"}}));
  const std::string xspf = "<playlist xmlns=\"http://xspf.org/ns/0/\"><trackList><track><location>Caf\xE9.mp3</location>"
                           "<title>Th\xE9</title></track></trackList></playlist>";
  WriteBytes(dir / "declared.xspf", "<?xml version='1.0' encoding='windows-1252'?>" + xspf);
  WriteBytes(dir / "undeclared.xspf", xspf);
  std::string utf16 = "\xFF\xFE";
  for (const char c : "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + xspf) {
    if (c == '\0') break;
    utf16 += c;
    utf16 += '\0';
  }
  WriteBytes(dir / "wide.xspf", utf16);
  for (const char* name : {"declared.xspf", "undeclared.xspf", "wide.xspf"}) {
    const auto entries = Read(dir / name);
    EXPECT_EQ(PathsOf(entries), std::vector<std::string>{(dir / "Café.mp3").string()}) << name;
    EXPECT_EQ(HintsOf(entries), (std::vector<Hint>{{0, "", "Thé"}})) << name;
  }
}

TEST(PlaylistEncoding, TheLocalesOwnEightBitEncodingWhenItHasOne) {
  TempDir dir;
  fs::create_directories(dir / "locales");
  const std::string make = "localedef -i de_DE -f ISO-8859-15 '" + (dir / "locales/de_DE.ISO-8859-15").string() +
                           "' >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "localedef cannot make an ISO-8859-15 locale here";
  // 0xA4 is the euro sign in ISO-8859-15 and the currency sign in ISO-8859-1.
  WriteBytes(dir / "prices.m3u", "\xA4 5.mp3\n");
  const ScopedEnv path("LOCPATH", (dir / "locales").string());
  {
    const ScopedEnv locale("LC_ALL", "de_DE.ISO-8859-15");
    EXPECT_EQ(LocaleLegacyCodeset(), "ISO-8859-15");
    EXPECT_EQ(PathsOf(Read(dir / "prices.m3u")), std::vector<std::string>{(dir / "€ 5.mp3").string()});
  }
  for (const char* other : {"C", "C.UTF-8", "xx_NOWHERE"}) {
    const ScopedEnv locale("LC_ALL", other);
    EXPECT_EQ(LocaleLegacyCodeset(), "") << other;
    EXPECT_EQ(PathsOf(Read(dir / "prices.m3u")), std::vector<std::string>{(dir / "¤ 5.mp3").string()}) << other;
  }
}

TEST(PlaylistEncoding, ConversionAndValidity) {
  // A byte the codeset leaves undefined, and a codeset nobody knows, fall back to ISO-8859-1.
  EXPECT_EQ(ConvertToUtf8("\x80 \x81", "CP1252"), "€ \xC2\x81");
  EXPECT_EQ(ConvertToUtf8("Caf\xE9", "NO-SUCH-CODESET"), "Café");
  EXPECT_EQ(ConvertToUtf8("Caf\xE9", ""), "Café");
  EXPECT_EQ(ConvertToUtf8(std::string("\xFF\xFE" "A\0\xAC\x20", 6), "UTF-16"), "A€");
  EXPECT_EQ(ConvertToUtf8(std::string("\xFF\xFE" "A\0B", 5), "UTF-16"), "AB");  // cut in a character
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain ASCII that runs past eight bytes", true},
      {"é € 🎵", true},
      {"\xC0\xAF", false},          // overlong "/"
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"abcdefgh\xE2\x82", false},  // cut off
      {"\x80", false},
      {"Caf\xE9", false}};
  for (const auto& [text, valid] : cases) EXPECT_EQ(IsValidUtf8(text), valid) << text;
}

// ---------------------------------------------------------------------------------------------
// Hints

using Hints = ModelTest;

TEST_F(Hints, PlaylistTitlesShowUntilTheFilesTagsAreRead) {
  MakeTrack(dir / "real.mp3", "Tag Artist", "Tag Title");
  WriteBytes(dir / "list.m3u",
             "#EXTM3U\n#EXTINF:245,Motörhead - Ace of Spades\nmissing1.mp3\n"
             "#EXTINF:100,Wrong - Name\nreal.mp3\n"
             "#EXTINF:-1, Only A Title\nmissing2.mp3\n"
             "missing3.mp3\n"  // the hint before the last entry is not carried on
             "#EXTINF:61,\n#EXTGRP:a group\n\nmissing4.mp3\n");
  Load(*model, {(dir / "list.m3u").string()});
  using Row = std::tuple<std::string, std::string, std::string, uint32_t, bool>;
  auto rows = [this] {
    std::vector<Row> out;
    for (const auto& r : model->Rows())
      out.emplace_back(r.Text(kColumnArtist), r.Text(kColumnTitle), r.Text(kColumnDuration), r.seconds, r.available);
    return out;
  };
  EXPECT_EQ(rows(), (std::vector<Row>{{"Motörhead", "Ace of Spades", "04:05", 245, false},
                                      {"Tag Artist", "Tag Title", "00:03", 3, true},
                                      {"", "Only A Title", "", 0, false},
                                      {"", "missing3.mp3", "", 0, false},
                                      {"", "missing4.mp3", "01:01", 61, false}}));
  // The file is there now, with tags of its own: they win.
  MakeTrack(dir / "missing1.mp3", "Lemmy", "Ace");
  model->RefreshRow(0);
  EXPECT_EQ(rows()[0], (Row{"Lemmy", "Ace", "00:03", 3, true}));
}

// ---------------------------------------------------------------------------------------------
// PLS and XSPF

TEST(PlsText, KeysInAnyOrderAndCaseOrderedByTheirNumbers) {
  const fs::path base = "/music/lists";
  const std::string text =
      "; written by hand\n"
      "[other]\nFile1=/in/another/section.mp3\n"
      "[Playlist]\n"
      "NumberOfEntries=2\n"  // fewer than it holds: every entry counts
      "title3=Third - Song\n"
      "FILE3 = c.mp3\n"
      "Length3=200\n"
      "File1=file:///early/a%20b.mp3\n"
      "Length1=-1\n"
      "Title2=An entry without a file\n"
      "File10=sub\\d.mp3\n"
      "Length10=99999999999999999999\n"
      "File1=file:///later/wins.mp3\n"
      "File1234567890=/number/too/long.mp3\n"
      "Filex=/no/number.mp3\n"
      "a line without an equals sign\n"
      "=nothing before it\n"
      "File11=\n"
      "Version=2\n";
  const auto entries = ReadPlsText(text, base);
  EXPECT_EQ(PathsOf(entries), (std::vector<std::string>{"/later/wins.mp3", "/music/lists/c.mp3", "/music/lists/sub/d.mp3"}));
  EXPECT_EQ(HintsOf(entries), (std::vector<Hint>{{}, {200, "Third", "Song"}, {}}));
  EXPECT_TRUE(ReadPlsText("", base).paths.empty());
  EXPECT_TRUE(ReadPlsText("[playlist]\nNumberOfEntries=4000000000\n", base).paths.empty());
}

const char kXspf[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE playlist [ <!ENTITY boom "&boom;&boom;"> <!ELEMENT x (#PCDATA)> ]>
<!-- a comment with <track><location>/in/a/comment.mp3</location></track> inside -->
<x:playlist version="1" xmlns:x="http://xspf.org/ns/0/">
  <x:title>The list's own title</x:title>
  <x:trackList>
    <x:track>
      <x:location>file:///music/Caf%C3%A9%20%26%20Bar.mp3</x:location>
      <x:location>file:///second/location/ignored.mp3</x:location>
      <x:creator>Tom &amp; Jerry</x:creator>
      <x:title><![CDATA[<Cat> & Mouse]]></x:title>
      <x:duration>61500</x:duration>
      <x:extension application="x"><x:track><x:location>/not/a/track.mp3</x:location></x:track></x:extension>
    </x:track>
    <x:track><x:title>no location</x:title></x:track>
    <x:track a='>' b=">"><x:location>  relative/&#233;t&#xE9;.mp3
    </x:location><x:duration>99999999999999999999999</x:duration><x:title>&boom; &#0; &bogus</x:title></x:track>
    <x:track><x:location>http://radio.invalid/stream</x:location></x:track>
    <x:track/>
  </x:trackList>
</x:playlist>
)";

TEST(XspfText, TracksAndTheirFields) {
  const fs::path base = "/music/lists";
  const auto entries = ReadXspfText(kXspf, base);
  EXPECT_EQ(PathsOf(entries), (std::vector<std::string>{"/music/Café & Bar.mp3", "/music/lists/relative/été.mp3",
                                                        "http://radio.invalid/stream"}));
  // Entities a document type declares are never expanded; bad references stay as written.
  EXPECT_EQ(HintsOf(entries), (std::vector<Hint>{{62, "Tom & Jerry", "<Cat> & Mouse"}, {0, "", "&boom; &#0; &bogus"}, {}}));
}

// Cut anywhere, a document gives the tracks complete before the cut, in order, and no others;
// bytes changed at random give no more tracks than the document names, and never a crash.
TEST(XspfText, CutOrDamagedDocuments) {
  const fs::path base = "/b";
  const std::string doc = kXspf;
  const auto full = PathsOf(ReadXspfText(doc, base));
  for (size_t cut = 0; cut <= doc.size(); ++cut) {
    const auto some = PathsOf(ReadXspfText(doc.substr(0, cut), base));
    ASSERT_LE(some.size(), full.size()) << cut;
    EXPECT_TRUE(std::equal(some.begin(), some.end(), full.begin())) << cut;
  }
  EXPECT_EQ(PathsOf(ReadXspfText(doc.substr(0, doc.find("<x:location>  relative")), base)),
            std::vector<std::string>{full[0]});

  std::mt19937 rng(7);
  const std::string special = "<>/&;\"'![]-?x";
  for (int round = 0; round < 3000; ++round) {
    std::string damaged = doc;
    for (int n = 1 + static_cast<int>(rng() % 8); n > 0; --n) {
      const size_t at = rng() % damaged.size();
      switch (rng() % 3) {
        case 0: damaged[at] = special[rng() % special.size()]; break;
        case 1: damaged[at] = static_cast<char>(rng()); break;
        default: damaged.erase(at, 1 + rng() % 40); break;
      }
    }
    size_t named = 0;
    for (size_t at = damaged.find("track"); at != std::string::npos; at = damaged.find("track", at + 1)) ++named;
    const auto entries = ReadXspfText(damaged, base);
    ASSERT_LE(entries.paths.size(), named) << damaged;
    for (const auto p : entries.paths) EXPECT_FALSE(p.empty());
  }

  // Nesting past any playlist's, a location past any path's, an endless attribute, numbers
  // past any duration: each ends, and gives what can be trusted.
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  EXPECT_TRUE(ReadXspfText(deep + "<trackList><track><location>/x.mp3</location></track></trackList>", base).paths.empty());
  const std::string one = "<playlist><trackList><track><location>/x.mp3</location><duration>18446744073709551616000"
                          "</duration></track>";
  EXPECT_EQ(HintsOf(ReadXspfText(one + deep, base)), std::vector<Hint>{Hint{}});
  EXPECT_TRUE(ReadXspfText("<playlist><trackList><track><location>/" + std::string(kMaxEntryLineBytes, 'a') +
                               "</location></track></trackList></playlist>", base)
                  .paths.empty());
  EXPECT_TRUE(ReadXspfText("<playlist a=\"" + deep, base).paths.empty());
  EXPECT_TRUE(ReadXspfText(RandomBytes(200000, 3), base).paths.empty());
}

// ---------------------------------------------------------------------------------------------
// The kind of a file

TEST(PlaylistKind, ByNameInAnyCaseAndByContentWhenTheNameSaysNothing) {
  using F = PlaylistFormat;
  const std::pair<const char*, F> names[] = {{"a.m3u", F::kM3u},   {"a.M3U8", F::kM3u},   {"b.Pls", F::kPls},
                                             {"c.XSPF", F::kXspf}, {"a.m3u.mp3", F::kNone}, {"m3u", F::kNone},
                                             {"d.xspf.bak", F::kNone}, {"e.txt", F::kNone}};
  for (const auto& [name, format] : names) {
    EXPECT_EQ(PlaylistFormatOfName(name), format) << name;
    EXPECT_EQ(IsPlaylistName(name), format != F::kNone) << name;
  }
  for (const auto& [name, format] : {std::pair{"x.PLS", F::kPls}, {"x.xspf", F::kXspf}, {"x.m3u8", F::kM3u},
                                     {"x", F::kM3u}, {"x.txt", F::kM3u}})
    EXPECT_EQ(SaveFormatOfName(name), format) << name;

  TempDir dir;
  const std::pair<const char*, std::string> files[] = {
      {"list.txt", "\xEF\xBB\xBF \r\n#extm3u\nx.mp3\n"},
      {"list", "\n  [PlayList]\nFile1=a.mp3\n"},
      {"bare.xml", "<?xml version='1.0'?>\n<!-- made by hand -->\n<playlist version='1'><trackList/></playlist>"},
      {"named.dat", "<?xml version='1.0'?><root xmlns:p=\"http://xspf.org/ns/0/\">"},
      {"page.html", "<html><playlist></playlist></html>"},
      {"plain.txt", "a.mp3\nb.mp3\n"},
      {"track.mp3", "#EXTM3U\na.mp3\n"},  // an audio file's name is never read as a list
  };
  const F want[] = {F::kM3u, F::kPls, F::kXspf, F::kXspf, F::kNone, F::kNone, F::kNone};
  for (size_t i = 0; i < std::size(files); ++i) {
    WriteBytes(dir / files[i].first, files[i].second);
    EXPECT_EQ(PlaylistFormatOfFile((dir / files[i].first).string()), want[i]) << files[i].first;
  }
  // Not files at all: nothing is opened, and a FIFO is not waited on.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir / "folder.txt");
  for (const char* name : {"fifo", "folder.txt", "missing"}) EXPECT_EQ(PlaylistFormatOfFile((dir / name).string()), F::kNone);
}

// ---------------------------------------------------------------------------------------------
// Nested playlists

using Nested = ModelTest;

TEST_F(Nested, ExpandedInPlaceToEightLevelsAndCyclesEndAtTheFirstVisit) {
  const auto t = MakeTracks(dir / "m", 12);
  // A cycle through all three kinds, a list named by a link and by a path with "..", and a list
  // told only by its content.
  WriteBytes(dir / "a.m3u", "m/001.mp3\nb.pls\nm/002.mp3\n");
  WriteBytes(dir / "b.pls", "[playlist]\nFile1=m/003.mp3\nFile2=c.xspf\nFile3=./a.m3u\nFile4=link.m3u\nFile5=sniffed.txt\n");
  fs::create_symlink(dir / "a.m3u", dir / "link.m3u");
  WriteBytes(dir / "c.xspf", "<playlist><trackList><track><location>m/004.mp3</location></track><track><location>"
                             "../" + dir.path().filename().string() + "/b.pls</location></track></trackList></playlist>");
  WriteBytes(dir / "sniffed.txt", "#EXTM3U\nm/005.mp3\n");
  WriteBytes(dir / "self.m3u", "m/006.mp3\nself.m3u\nm/007.mp3\n");
  // Not a cycle: the same list twice in another is read twice.
  WriteBytes(dir / "twice.m3u", "inner.m3u\ninner.m3u\n");
  WriteBytes(dir / "inner.m3u", "m/008.mp3\n");
  // A chain of ten lists, each naming one track and the next list.
  for (int level = 1; level <= 10; ++level) {
    char track[32];
    std::snprintf(track, sizeof track, "m/%03d.mp3", level);
    WriteBytes(dir / ("level" + std::to_string(level) + ".m3u"),
               std::string(track) + "\nlevel" + std::to_string(level + 1) + ".m3u\n");
  }

  auto paths = [&](const char* list) {
    model->Clear();
    Load(*model, {(dir / list).string()});
    return model->PlaylistPaths();
  };
  EXPECT_EQ(paths("a.m3u"), (std::vector<std::string>{t[0], t[2], t[3], t[4], t[1]}));
  EXPECT_EQ(paths("self.m3u"), (std::vector<std::string>{t[5], t[6]}));
  EXPECT_EQ(paths("twice.m3u"), (std::vector<std::string>{t[7], t[7]}));
  EXPECT_EQ(paths("level1.m3u"), std::vector<std::string>(t.begin(), t.begin() + kMaxPlaylistDepth));
  EXPECT_EQ(paths("sniffed.txt"), std::vector<std::string>{t[4]});
  // A list named beside files keeps its place among them.
  model->Clear();
  Load(*model, {t[11], (dir / "inner.m3u").string(), t[10]});
  EXPECT_EQ(model->PlaylistPaths(), (std::vector<std::string>{t[11], t[7], t[10]}));
}

// ---------------------------------------------------------------------------------------------
// Saving and reading back

using SaveAndRead = ModelTest;

// Every kind of file reads back to the rows it was saved from: the same paths, odd ones too, the
// same texts, lengths and availability, whether the texts came from tags or from a playlist.
TEST_F(SaveAndRead, EveryKindGivesBackTheRowsItWasSavedFrom) {
  const auto realA = MakeTrack(dir / "Motörhead" / "Ace.mp3", "Motörhead", "Ace of Spades").string();
  const auto realB = MakeTrack(dir / "x&y" / "cat.mp3", "Tom & Jerry", "<Cat> - \"Mouse\"").string();
  const auto realC = MakeTrack(dir / "caf\xE9.mp3", "Art", "A file named in ISO-8859-1").string();
  // A URL an XSPF named is kept as it was in XSPF (M3U and PLS take it for a relative path).
  WriteBytes(dir / "url.xspf", "<playlist><trackList><track><location>http://radio.invalid/a%20b</location></track>"
                               "</trackList></playlist>");
  const std::vector<std::string> fromXspf = {"http://radio.invalid/a%20b"};
  EXPECT_EQ(PathsOf(Read(dir / "url.xspf")), fromXspf);
  Load(*model, {(dir / "url.xspf").string()});
  ASSERT_TRUE(model->SavePlaylist((dir / "url-out.xspf").string()));
  EXPECT_EQ(PathsOf(Read(dir / "url-out.xspf")), fromXspf);
  model->Clear();

  std::vector<std::string> missing;
  for (const char* name : {"#hash.mp3", "line\nbreak.mp3", "100% é.mp3", "caf\xE9 gone.mp3", "a\\b.mp3",
                           "01 - Band - Song.mp3", " lead.mp3", "trail.mp3 ", "gone.mp3", "gone2.mp3"})
    missing.push_back((dir / "away" / name).string());
  // Hints for two missing files, through a playlist (its paths written so that they read back).
  WriteBytes(dir / "hints.m3u", "#EXTINF:245,Hinted Artist - Hinted - Title\n" + LineForEntry(missing[8]) +
                                    "\n#EXTINF:7, - Title Alone\n" + LineForEntry(missing[9]) + "\n");
  std::vector<std::string> input = {realA, realB, (dir / "away" / "removed.mp3").string()};
  input.insert(input.end(), missing.begin(), missing.end() - 2);
  input.push_back((dir / "hints.m3u").string());
  input.push_back(realC);
  input.push_back(realA);
  Load(*model, input);
  model->RemoveRows({2});  // a removed row is not saved
  model->SortColumn(kColumnTitle, true);  // nor does the order shown matter: entries are saved in order
  struct Row {
    int number;
    std::string path;
    std::array<std::string, kColumnCount> texts;
    uint32_t seconds;
    bool available;
    bool operator==(const Row&) const = default;
  };
  auto rowsInEntryOrder = [](const PlaylistModel& m) {
    std::vector<Row> rows;
    for (int r = 0; r < m.RowCount(); ++r) {
      const auto& row = m.Row(r);
      Row out{row.number, std::string(row.Path()), {}, row.seconds, row.available};
      for (int c = kColumnArtist; c < kColumnCount; ++c) out.texts[static_cast<size_t>(c)] = row.Text(c);
      rows.push_back(out);
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.number < b.number; });
    for (auto& row : rows) row.number = 0;  // numbers start again in the list read back
    return rows;
  };
  const auto saved = rowsInEntryOrder(*model);
  ASSERT_EQ(saved.size(), input.size() - 1 - 1 + 2);  // one removed, the list giving two
  EXPECT_EQ(saved[10].texts[kColumnArtist], "Hinted Artist");  // the hints are there to be saved
  EXPECT_EQ(saved[10].texts[kColumnTitle], "Hinted - Title");
  EXPECT_EQ(saved[11].texts[kColumnTitle], "Title Alone");
  EXPECT_EQ(saved[11].seconds, 7u);

  for (const char* name : {"out.m3u", "out.M3U8", "out.pls", "out.XSPF"}) {
    const fs::path file = dir / name;
    ASSERT_TRUE(model->SavePlaylist(file.string())) << name;
    const std::string bytes = ReadBytes(file);
    // The content says the kind the name asked for, and is UTF-8 all through.
    EXPECT_EQ(PlaylistFormatOfText(bytes), SaveFormatOfName(name)) << name;
    EXPECT_TRUE(IsValidUtf8(bytes)) << name;
    Recorder other;
    auto back = MakeModel(dir / "data2", other);
    Load(*back, {file.string()});
    const auto read = rowsInEntryOrder(*back);
    ASSERT_EQ(read.size(), saved.size()) << name;
    for (size_t i = 0; i < saved.size(); ++i) EXPECT_TRUE(read[i] == saved[i]) << name << " row " << i << ": " << read[i].path;
  }
  // Written in one piece: a folder that is not there leaves no file and no temporary one.
  EXPECT_FALSE(model->SavePlaylist((dir / "no/such/folder/x.xspf").string()));
  EXPECT_FALSE(fs::exists(dir / "no"));
}

// ---------------------------------------------------------------------------------------------
// Long lists

// 100,000 entries in each kind, every one with a title and a length (PLS in reverse order):
// every entry comes back, in order, with its own hint. A correctness check, not a timing.
TEST(LongPlaylists, HundredThousandEntriesOfEveryKind) {
  constexpr int kEntries = 100000;
  TempDir dir;
  std::vector<std::string> want;
  std::vector<Hint> hints;
  std::string m3u = "#EXTM3U\n", xspf = "<?xml version=\"1.0\"?>\n<playlist xmlns=\"http://xspf.org/ns/0/\"><trackList>\n";
  std::vector<std::string> pls(kEntries);
  for (int i = 0; i < kEntries; ++i) {
    const std::string rel = "music/" + std::to_string(i % 97) + "/track " + std::to_string(i) + ".mp3";
    want.push_back((dir / rel).string());
    hints.push_back(Hint{static_cast<uint32_t>(i % 600 + 1), "Artist " + std::to_string(i % 50), "Title " + std::to_string(i)});
    const std::string n = std::to_string(i + 1);
    m3u += "#EXTINF:" + std::to_string(hints.back().seconds) + "," + hints.back().artist + " - " + hints.back().title + "\n" + rel + "\n";
    pls[static_cast<size_t>(kEntries - 1 - i)] = "Length" + n + "=" + std::to_string(hints.back().seconds) + "\nFile" + n +
                                                 "=" + rel + "\nTitle" + n + "=" + hints.back().artist + " - " + hints.back().title + "\n";
    std::string url = "file://" + want.back();
    for (size_t at = url.find(' '); at != std::string::npos; at = url.find(' ', at)) url.replace(at, 1, "%20");
    xspf += "<track><location>" + url + "</location><creator>" + hints.back().artist + "</creator><title>" + hints.back().title +
            "</title><duration>" + std::to_string(hints.back().seconds * 1000) + "</duration></track>\n";
  }
  xspf += "</trackList></playlist>\n";
  std::string plsText = "[playlist]\nNumberOfEntries=" + std::to_string(kEntries) + "\n";
  for (const auto& entry : pls) plsText += entry;
  WriteBytes(dir / "long.m3u", m3u);
  WriteBytes(dir / "long.pls", plsText);
  WriteBytes(dir / "long.xspf", xspf);
  for (const char* name : {"long.m3u", "long.pls", "long.xspf"}) {
    const auto entries = Read(dir / name);
    ASSERT_EQ(entries.paths.size(), static_cast<size_t>(kEntries)) << name;
    EXPECT_TRUE(PathsOf(entries) == want) << name;
    EXPECT_TRUE(HintsOf(entries) == hints) << name;
  }
  // And as rows, every file missing: each row shows its own hint.
  Recorder rec;
  auto model = MakeModel(dir / "data", rec);
  Load(*model, {(dir / "long.m3u").string()});
  ASSERT_EQ(model->RowCount(), kEntries);
  EXPECT_TRUE(model->PlaylistPaths() == want);
  int matching = 0;
  for (int i = 0; i < kEntries; ++i) {
    const auto& row = model->Row(i);
    const auto& h = hints[static_cast<size_t>(i)];
    matching += row.Text(kColumnTitle) == h.title && row.Text(kColumnArtist) == h.artist && row.seconds == h.seconds;
  }
  EXPECT_EQ(matching, kEntries);
}

}  // namespace
}  // namespace tovira
