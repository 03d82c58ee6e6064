// M3U files and the default playlist "tvra.dfl".
#include <gtest/gtest.h>

#include "playlist/PlaylistFiles.h"
#include "playlist/PlaylistModel.h"
#include "playlist/PlaylistTestUtil.h"

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
  EXPECT_EQ(ReadBytes(dir / "out.m3u"),
            "#EXTM3U\n#EXTINF:3,Ärtist - Tïtle with a break\n" + a.string() + "\n#EXTINF:3, - b\n" + b.string());
  EXPECT_FALSE(model->SavePlaylist((dir / "no/such/folder/x.m3u").string()));
}

TEST_F(M3u, RoundTripWithRelativePaths) {
  const auto paths = MakeTracks(dir / "music/sub", 3);
  WriteBytes(dir / "music/rel.m3u", "sub/001.mp3\n./sub/002.mp3\n../music/sub/003.mp3\n");
  Load(*model, {(dir / "music/rel.m3u").string()});
  ASSERT_EQ(model->PlaylistPaths(), paths);
  ASSERT_TRUE(model->SavePlaylist((dir / "elsewhere.M3U").string()));
  Recorder rec2;
  auto again = MakeModel(dir / "data2", rec2);
  Load(*again, {(dir / "elsewhere.M3U").string()});
  EXPECT_EQ(again->PlaylistPaths(), paths);
  EXPECT_EQ(Column(*again, kColumnTitle), Column(*model, kColumnTitle));
  EXPECT_EQ(Column(*again, kColumnDuration), Column(*model, kColumnDuration));
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
  EXPECT_TRUE(IsPlaylistName("x.M3u"));
  EXPECT_FALSE(IsPlaylistName("xm3u"));
  EXPECT_FALSE(IsPlaylistName("x.m3u8"));

  // Paths that a plain line would change are written so that they read back unchanged.
  for (const std::string path : {"/a/#b.mp3", "/line\nbreak.mp3", "/cr\r.mp3", "/100% é.mp3", "/x\\y.mp3"})
    EXPECT_EQ(EntryFromLine(LineForEntry(path), base), path) << path;
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

TEST_F(DefaultPlaylist, SavedAFewSecondsAfterAChangeAndAtExit) {
  const auto paths = MakeTracks(dir_ / "m", 3);
  {
    auto model = Model();
    EXPECT_EQ(model->DefaultPlaylistPath(), File());
    LoadIt(*model);  // none yet
    Load(*model, {paths[0], paths[1]});
    model->Tick();
    EXPECT_FALSE(fs::exists(File()));  // not yet: the change is new
    rec_.now += std::chrono::milliseconds(2999);
    model->Tick();
    EXPECT_FALSE(fs::exists(File()));
    rec_.now += std::chrono::milliseconds(1);
    model->Tick();
    EXPECT_EQ(ReadBytes(File()), paths[0] + "\n" + paths[1] + "\n");
    EXPECT_FALSE(model->HasUnsavedChanges());
    EXPECT_EQ(std::distance(fs::directory_iterator(data_), {}), 1);  // no temporary file left
    Load(*model, {paths[2]});
    model->RemoveRows({0});
  }  // destroyed before the delay: saved at exit
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
  EXPECT_EQ(model->PlaylistPaths(), (std::vector<std::string>{paths[0], "", "", "", paths[1]}));
}

TEST_F(DefaultPlaylist, NothingIsWrittenWithoutLoadingItFirst) {
  {
    auto model = Model();  // e.g. the command-line tool
    Load(*model, MakeTracks(dir_ / "m", 1));
    rec_.now += std::chrono::seconds(10);
    model->Tick();
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

}  // namespace
}  // namespace tovira
