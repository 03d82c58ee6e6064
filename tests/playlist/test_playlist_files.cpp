// M3U files and the default playlist "tvra.dfl".
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "playlist/PlaylistFiles.h"
#include "playlist/PlaylistModel.h"
#include "playlist/PlaylistTestUtil.h"
#include "playlist/TextEncoding.h"

namespace tovira {
namespace {

using namespace test;
using M3u = ModelTest;

TEST_F(M3u, SavedFormatLineByLine) {
  ASSERT_TRUE(model->SavePlaylist((dir / "empty.m3u").string()));
  EXPECT_EQ(ReadBytes(dir / "empty.m3u"), "#EXTM3U");
  const auto a = MakeTrack(dir / "a.mp3", "Ärtist", "Tïtle\nwith a break");
  const auto b = CopyFixture(dir / "b.mp3");  // no tags: no artist, the file name as title
  Load(*model, {a.string(), (dir / "missing.mp3").string(), b.string()});
  model->Shuffle();  // display order does not matter: entries are written in arrival order
  ASSERT_TRUE(model->SavePlaylist((dir / "out.m3u").string()));
  EXPECT_EQ(ReadBytes(dir / "out.m3u"), "#EXTM3U\n#EXTINF:3,Ärtist - Tïtle with a break\n" + a.string() +
                                            "\n#EXTINF:0, - missing.mp3\n" + (dir / "missing.mp3").string() +
                                            "\n#EXTINF:3, - b\n" + b.string());
  EXPECT_FALSE(model->SavePlaylist((dir / "no/such/folder/x.m3u").string()));
}

TEST(M3uLines, ReadAgainstThePlaylistsFolderAndWrittenToReadBackUnchanged) {
  const fs::path base = "/music/lists";
  const std::pair<std::string, std::string> lines[] = {
      {"", ""},
      {"a.mp3", "/music/lists/a.mp3"},
      {"../x/a.mp3", "/music/x/a.mp3"},
      {"/abs/a.mp3", "/abs/a.mp3"},
      {"sub\\dir\\a.mp3", "/music/lists/sub/dir/a.mp3"},
      {"/odd\\name.mp3", "/odd\\name.mp3"},  // a slash: backslash is a character
      {"file:///a%20b/%C3%A9.mp3", "/a b/é.mp3"},
      {"FILE://localhost/x%2", "/x%2"},
      {"file://server/share/a.mp3", "file://server/share/a.mp3"},
      {std::string(kMaxEntryLineBytes + 1, 'a'), ""}};
  for (const auto& [line, entry] : lines) EXPECT_EQ(EntryFromLine(line, base), entry) << line.substr(0, 40);
  EXPECT_EQ(SplitLines("\xEF\xBB\xBF" "a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(SplitLines("a\rb\n"), (std::vector<std::string>{"a\rb"}));

  // Paths that a plain line would change are written so that they read back unchanged.
  // A name that is not UTF-8 (a file named in an 8-bit encoding) is escaped, so that the playlist
  // holding it stays UTF-8 and is not read back as another encoding as a whole.
  for (const std::string path : {"/a/#b.mp3", "/line\nbreak.mp3", "/cr\r.mp3", "/100% é.mp3", "/x\\y.mp3", "/caf\xE9.mp3"}) {
    EXPECT_EQ(EntryFromLine(LineForEntry(path), base), path) << path;
    EXPECT_TRUE(IsValidUtf8(LineForEntry(path))) << path;
  }
  EXPECT_EQ(LineForEntry("/plain/path.mp3"), "/plain/path.mp3");
  // Relative paths are relative to the current folder here, but would be read against the
  // playlist's folder: they are written in full.
  for (const std::string path : {"#hash.mp3", "a\\b.mp3"}) EXPECT_EQ(EntryFromLine(LineForEntry(path), base), fs::absolute(path).string());
  EXPECT_EQ(LineForEntry("sub/../rel.mp3"), fs::absolute("rel.mp3").string());
}

class DefaultPlaylist : public ::testing::Test {
 protected:
  std::unique_ptr<PlaylistModel> Model() { return MakeModel(data_, rec_); }
  fs::path File() const { return data_ / "tvra.dfl"; }
  void LoadIt(PlaylistModel& model, bool readable = true) {
    EXPECT_EQ(model.LoadDefaultPlaylist(), readable);
    model.WaitForLoad();
    model.DeliverBatches();
  }
  TempDir dir_;
  fs::path data_ = dir_ / "share/Tovira";
  Recorder rec_;
};

TEST_F(DefaultPlaylist, SavedWhenAskedAndAtExit) {
  const auto paths = MakeTracks(dir_ / "m", 3);
  {
    auto model = Model();
    EXPECT_EQ(model->DefaultPlaylistPath(), File());
    LoadIt(*model);  // none yet
    Load(*model, {paths[0], paths[1]});
    EXPECT_FALSE(fs::exists(File()));  // the model keeps no time of its own
    EXPECT_TRUE(model->HasUnsavedChanges());
    ASSERT_TRUE(model->SaveDefaultPlaylist());
    EXPECT_EQ(ReadBytes(File()), paths[0] + "\n" + paths[1] + "\n");
    EXPECT_FALSE(model->HasUnsavedChanges());
    EXPECT_EQ(std::distance(fs::directory_iterator(data_), {}), 1);  // no temporary file left
    Load(*model, {paths[2]});
    model->RemoveRows({0});
  }  // destroyed with the change unsaved: saved at exit
  EXPECT_EQ(ReadBytes(File()), paths[1] + "\n" + paths[2] + "\n");
  auto model = Model();
  LoadIt(*model);
  EXPECT_EQ(model->PlaylistPaths(), (std::vector<std::string>{paths[1], paths[2]}));  // removed stays removed
  EXPECT_FALSE(model->HasUnsavedChanges());
}

TEST_F(DefaultPlaylist, ExitDuringALoadKeepsThePathsNotYetRead) {
  const auto paths = MakeTracks(dir_ / "m", 20);
  std::vector<std::string> many;
  for (int i = 0; i < 30; ++i) many.insert(many.end(), paths.begin(), paths.end());
  {
    auto model = Model();
    model->LoadDefaultPlaylist();
    Load(*model, {paths[0]});
    model->AddPaths(many);
    WriteBytes(dir_ / "m/list.m3u", "001.mp3\n");
    model->AddPaths({(dir_ / "m/list.m3u").string()});
    model->DeliverBatches();  // some or none of the big load have arrived
  }
  const auto lines = SplitLines(ReadBytes(File()));
  ASSERT_EQ(lines.size(), 1u + many.size() + 1u);
  EXPECT_EQ(lines.front(), paths[0]);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end() - 1), many);
  // The playlist itself while it waits, or what it expanded to once read.
  EXPECT_TRUE(lines.back() == (dir_ / "m/list.m3u").string() || lines.back() == paths[0]) << lines.back();
}

TEST_F(DefaultPlaylist, UnreadableFileIsKeptAside) {
  fs::create_directories(data_);
  const std::string damaged = std::string("/music/a.mp3\n") + std::string(4, '\0') + "garbage";
  WriteBytes(File(), damaged);
  {
    auto model = Model();
    LoadIt(*model, false);
    EXPECT_EQ(model->RowCount(), 0);
  }
  EXPECT_EQ(ReadBytes(data_ / "tvra.dfl.bak"), damaged);
  EXPECT_FALSE(fs::exists(File()));  // nothing changed, so nothing was written in its place
  // A second damaged file does not replace the first one kept aside; a folder is unreadable too.
  fs::create_directory(File());
  {
    auto model = Model();
    LoadIt(*model, false);
    Load(*model, {MakeTracks(dir_ / "m", 1)[0]});
  }
  EXPECT_TRUE(fs::is_directory(data_ / "tvra.dfl.bak.2"));
  EXPECT_EQ(ReadBytes(data_ / "tvra.dfl.bak"), damaged);
  EXPECT_TRUE(fs::is_regular_file(File()));  // the new playlist
}

TEST_F(DefaultPlaylist, OddLinesInTheFile) {
  const auto paths = MakeTracks(dir_ / "m", 2);
  fs::create_directories(data_);
  WriteBytes(File(), paths[0] + "\r\n\r\nrelative.mp3\r\n" + LineForEntry("/new\nline.mp3") + "\r\n" +
                         std::string(100000, 'x') + "\n" + paths[1]);
  auto model = Model();
  LoadIt(*model);
  // The relative line and the broken one name files that are not there: kept. The overlong line
  // names no file at all.
  EXPECT_EQ(model->PlaylistPaths(),
            (std::vector<std::string>{paths[0], (data_ / "relative.mp3").string(), "/new\nline.mp3", paths[1]}));
}

// A playlist on a drive that is away: every row stays, by its file name and greyed, through
// loading and saving both kinds of file, and shows its tags again once read after the drive is back.
TEST_F(DefaultPlaylist, MissingFilesKeepTheirRowsUntilTheyAreBack) {
  const fs::path drive = dir_ / "drive", away = dir_ / "drive.away";
  const std::vector<std::string> paths = {MakeTrack(drive / "a.mp3", "Ann", "Song A").string(),
                                          MakeTrack(drive / "sub" / "b.mp3", "Bo", "Song B", "Bees").string(),
                                          MakeTrack(dir_ / "here.mp3", "Cy", "Here").string(),
                                          MakeTrack(drive / "c.mp3", "Cy", "Song C").string()};
  fs::create_directories(data_);
  WriteBytes(File(), paths[0] + "\n" + paths[1] + "\n" + paths[2] + "\n" + paths[3] + "\n");
  const std::string onDisk = ReadBytes(File());
  fs::rename(drive, away);
  const auto checkAway = [&](const PlaylistModel& model, const std::string& when) {
    ASSERT_EQ(model.PlaylistPaths(), paths) << when;
    ASSERT_EQ(model.RowCount(), 4) << when;
    for (int i = 0; i < 4; ++i) {
      const auto& row = model.Row(i);
      EXPECT_EQ(row.available, i == 2) << when << i;
      if (i == 2) continue;
      EXPECT_EQ(row.Text(kColumnNumber), std::to_string(i + 1)) << when;
      EXPECT_EQ(row.Text(kColumnTitle), fs::path(paths[static_cast<size_t>(i)]).filename().string()) << when;
      for (int c : {kColumnArtist, kColumnAlbum, kColumnYear, kColumnGenre, kColumnDuration})
        EXPECT_EQ(row.Text(c), "") << when << i << c;
      EXPECT_EQ(row.seconds, 0u) << when;
    }
  };
  {
    auto model = Model();
    LoadIt(*model);
    checkAway(*model, "default: ");
    EXPECT_FALSE(model->HasUnsavedChanges());
    ASSERT_TRUE(model->SaveDefaultPlaylist());
    EXPECT_EQ(ReadBytes(File()), onDisk);
    ASSERT_TRUE(model->SavePlaylist((dir_ / "list.m3u").string()));
  }
  EXPECT_EQ(ReadBytes(File()), onDisk);
  Recorder other;
  auto fromList = MakeModel(dir_ / "data2", other);
  Load(*fromList, {(dir_ / "list.m3u").string()});
  checkAway(*fromList, "m3u: ");

  // The drive is back.
  struct Rows : PlaylistObserver {
    void RowChanged(int row) override { changed.push_back(row); }
    std::vector<int> changed;
  } rows;
  auto model = Model();
  LoadIt(*model);
  model->SortColumn(kColumnTitle, false);  // display rows, not entries: Here, c, b, a
  model->SetObserver(&rows);
  fs::rename(away, drive);
  for (int i = 0; i < 4; ++i) model->RefreshRow(i);
  model->RefreshRow(4);
  EXPECT_EQ(rows.changed, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(Numbers(*model), (std::vector<int>{3, 4, 2, 1}));
  EXPECT_EQ(Column(*model, kColumnNumber), (std::vector<std::string>{"3", "4", "2", "1"}));
  EXPECT_EQ(Column(*model, kColumnTitle), (std::vector<std::string>{"Here", "Song C", "Song B", "Song A"}));
  EXPECT_EQ(Column(*model, kColumnArtist), (std::vector<std::string>{"Cy", "Cy", "Bo", "Ann"}));
  EXPECT_EQ(model->Row(2).Text(kColumnAlbum), "Bees");
  for (const auto& row : model->Rows()) {
    EXPECT_TRUE(row.available);
    EXPECT_EQ(row.Text(kColumnDuration), "00:03");
    EXPECT_EQ(row.seconds, 3u);
  }
  // And the other way: a file gone while listed is greyed again when read.
  fs::remove(paths[1]);
  model->RefreshRow(2);
  EXPECT_FALSE(model->Row(2).available);
  EXPECT_EQ(model->Row(2).Text(kColumnTitle), "b.mp3");
  EXPECT_EQ(model->Row(2).Text(kColumnArtist), "");
  EXPECT_FALSE(model->HasUnsavedChanges());  // reading a row again changes no entry
  model->SetObserver(nullptr);
}

// `changed` is the autosave's only cue: whenever what SaveDefaultPlaylist writes would differ it
// must have come (the oracle is the file written after each step). Changes to the view alone
// (order, current and playing rows, rows read again) change no entry and need no save.
TEST_F(DefaultPlaylist, EveryChangeToWhatIsSavedIsAnnounced) {
  const auto paths = MakeTracks(dir_ / "m", 4);
  const auto list = (dir_ / "m/list.m3u").string();
  WriteBytes(list, "003.mp3\n004.mp3\n");
  fs::create_directories(data_);
  WriteBytes(File(), paths[0] + "\n");
  auto model = Model();
  LoadIt(*model);
  EXPECT_EQ(rec_.changes, 0);  // the file's own content
  EXPECT_FALSE(model->HasUnsavedChanges());

  std::vector<std::string> many;
  for (int i = 0; i < 50; ++i) many.insert(many.end(), paths.begin(), paths.end());
  const struct {
    const char* name;
    std::function<void()> run;
    bool announced;
  } steps[] = {
      {"add", [&] { model->AddPaths({paths[1], list}); model->WaitForLoad(); }, true},
      {"deliver", [&] { model->DeliverBatches(); }, true},
      {"sort", [&] { model->SortColumn(kColumnNumber, false); }, false},
      {"click", [&] { model->ClickColumn(kColumnNumber); }, false},
      {"shuffle", [&] { model->Shuffle(); }, false},
      {"start", [&] { model->StartRow(1); }, false},
      {"mark playing", [&] { model->MarkPlaying(2); }, false},
      {"refresh", [&] { model->RefreshRow(0); }, false},
      {"remove nothing", [&] { model->RemoveRows({-1, 4}); }, false},
      {"remove", [&] { model->RemoveRows({1, 3}); }, true},
      {"add during a load", [&] { model->AddPaths(many); }, true},
      {"clear", [&] { model->Clear(); }, true},
  };
  std::string before = ReadBytes(File());
  for (const auto& step : steps) {
    const int changes = rec_.changes;
    step.run();
    EXPECT_EQ(rec_.changes > changes, step.announced) << step.name;
    EXPECT_EQ(model->HasUnsavedChanges(), step.announced) << step.name;
    ASSERT_TRUE(model->SaveDefaultPlaylist()) << step.name;
    const std::string after = ReadBytes(File());
    if (after != before) {
      EXPECT_TRUE(step.announced) << step.name << " changed the file unannounced";
    }
    before = after;
  }
  EXPECT_EQ(before, "");

  // A playlist line in the default file (saved while that list waited to be read) comes back as
  // its entries, which the file does not hold yet.
  model.reset();
  WriteBytes(File(), paths[0] + "\n" + list + "\n");
  rec_.changes = 0;
  model = Model();
  LoadIt(*model);
  EXPECT_GT(rec_.changes, 0);
  model.reset();
  EXPECT_EQ(ReadBytes(File()), paths[0] + "\n" + paths[2] + "\n" + paths[3] + "\n");
}

TEST_F(DefaultPlaylist, NothingIsWrittenWithoutLoadingItFirst) {
  {
    auto model = Model();  // e.g. the command-line tool
    Load(*model, MakeTracks(dir_ / "m", 1));
    EXPECT_FALSE(model->SaveDefaultPlaylist());
  }
  EXPECT_FALSE(fs::exists(data_));
}

TEST(DefaultDataFolderTest, FollowsXdgDataHome) {
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_DATA_HOME", "/some/where", 1);
  EXPECT_EQ(DefaultDataFolder(), fs::path("/some/where/Tovira"));
  ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
  EXPECT_EQ(DefaultDataFolder().filename(), "Tovira");
  EXPECT_EQ(DefaultDataFolder().parent_path().filename(), "share");
  if (old) ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
  else ::unsetenv("XDG_DATA_HOME");
}

// The common reader takes regular files, also through a link, and refuses a FIFO without waiting
// for a writer: a blocking open would hang this test. Even a FIFO with data waiting is not read.
TEST(ReadTextFileTest, ReadsRegularFilesAndRefusesAFifoAtOnce) {
  TempDir dir;
  WriteBytes(dir / "list.m3u", "a.mp3\n");
  std::filesystem::create_symlink(dir / "list.m3u", dir / "link.m3u");
  EXPECT_EQ(ReadTextFile((dir / "link.m3u").string()), "a.mp3\n");

  const auto fifo = dir / "fifo.m3u";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(fifo, dir / "to-fifo.m3u");
  EXPECT_EQ(ReadTextFile(fifo.string()), std::nullopt);
  EXPECT_EQ(ReadTextFile((dir / "to-fifo.m3u").string()), std::nullopt);
  EXPECT_TRUE(ReadPlaylist((dir / "to-fifo.m3u").string(), PlaylistFormat::kM3u).paths.empty());

  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::write(writer, "b.mp3\n", 6), 6);
  EXPECT_EQ(ReadTextFile(fifo.string()), std::nullopt);
  char left[8] = {};
  EXPECT_EQ(::read(reader, left, sizeof left), 6) << "the waiting bytes were not taken";
  ::close(writer);
  ::close(reader);
}

}  // namespace
}  // namespace tovira
