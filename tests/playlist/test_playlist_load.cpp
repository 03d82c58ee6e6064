// Loading rows: batches, order, queued requests, playlist expansion, hostile input, threads.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>
#include <tuple>

#include "playlist/PlaylistModel.h"
#include "playlist/PlaylistTestUtil.h"

namespace tovira {
namespace {

using namespace test;
using PlaylistLoad = ModelTest;

TEST_F(PlaylistLoad, FilesArriveInOrderInBatchesOfTwentyAndUnreadableOnesKeepTheirRow) {
  auto paths = MakeTracks(dir / "m", 45);
  paths[19] = (dir / "missing.mp3").string();  // the last of the first batch
  Load(*model, paths);
  EXPECT_EQ(rec.batches, (std::vector<size_t>{20, 20, 5}));
  EXPECT_EQ(rec.added, (std::vector<std::pair<int, int>>{{0, 20}, {20, 40}, {40, 45}}));
  EXPECT_EQ(model->PlaylistPaths(), paths);  // the missing file's entry included
  ASSERT_EQ(model->RowCount(), 45);
  for (int i = 0; i < 45; ++i) {
    const bool read = i != 19;
    std::array<std::string, kColumnCount> want, texts;
    want[kColumnNumber] = std::to_string(i + 1);
    want[kColumnTitle] = read ? "001" : "missing.mp3";
    if (read) want[kColumnArtist] = "Artist", want[kColumnAlbum] = "Album", want[kColumnDuration] = "00:03";
    const PlaylistRow& row = model->Row(i);
    for (int c = 0; c < kColumnCount; ++c) texts[static_cast<size_t>(c)] = row.Text(c);
    EXPECT_EQ(std::tie(row.number, texts, row.seconds, row.available), std::make_tuple(i + 1, want, read ? 3u : 0u, read))
        << i;
  }

  // A second load goes on numbering.
  rec.batches.clear();
  rec.added.clear();
  Load(*model, std::vector<std::string>(paths.begin() + 20, paths.begin() + 45));
  EXPECT_EQ(rec.batches, (std::vector<size_t>{20, 5}));
  EXPECT_EQ(rec.added, (std::vector<std::pair<int, int>>{{45, 65}, {65, 70}}));
  EXPECT_EQ(model->Row(69).number, 70);
  // Durations as minutes and seconds, past an hour too.
  for (const auto& [seconds, text] : {std::pair{200u, "03:20"}, {17u, "00:17"}, {0u, "00:00"}, {6000u, "100:00"}})
    EXPECT_EQ(FormatRowDuration(seconds), text);
}

TEST_F(PlaylistLoad, RequestsDuringALoadQueueBehindIt) {
  const auto paths = MakeTracks(dir / "m", 60);
  // Three requests at once: whatever the load thread is doing, none is lost and none overlaps.
  model->AddPaths({paths.begin(), paths.begin() + 30});
  model->AddPaths({paths.begin() + 30, paths.begin() + 31});
  model->AddPaths({paths.begin() + 31, paths.end()});
  {
    std::lock_guard lock(rec.mutex);  // the load thread may be reporting a batch right now
    EXPECT_TRUE(model->IsLoading() || !rec.batches.empty());
  }
  model->WaitForLoad();
  EXPECT_FALSE(model->IsLoading());
  EXPECT_EQ(model->DeliverBatches(), 60);
  EXPECT_EQ(model->PlaylistPaths(), paths);
  EXPECT_EQ(rec.batches, (std::vector<size_t>{20, 10, 1, 20, 9}));  // each request batched on its own
}

TEST_F(PlaylistLoad, OwnerMayDeliverWhileTheLoadRuns) {
  const auto paths = MakeTracks(dir / "m", 100);
  model->AddPaths(paths);
  int delivered = 0;
  while (model->IsLoading()) {
    delivered += model->DeliverBatches();
    std::this_thread::yield();
  }
  delivered += model->DeliverBatches();
  EXPECT_EQ(delivered, 100);
  EXPECT_EQ(model->PlaylistPaths(), paths);
  for (size_t i = 1; i < rec.added.size(); ++i) EXPECT_EQ(rec.added[i].first, rec.added[i - 1].second);
}

TEST_F(PlaylistLoad, DestroyingTheModelDuringALoadIsSafe) {
  const auto paths = MakeTracks(dir / "m", 20);
  std::vector<std::string> many;
  for (int i = 0; i < 50; ++i) many.insert(many.end(), paths.begin(), paths.end());
  for (int round = 0; round < 5; ++round) {
    Recorder own;
    auto doomed = MakeModel(dir / "data", own);
    doomed->AddPaths(many);
    doomed->AddPaths(many);
    if (round % 2) std::this_thread::sleep_for(std::chrono::milliseconds(round));
    doomed.reset();  // joins the load thread; nothing may run on after this
    std::lock_guard lock(own.mutex);
    EXPECT_LE(own.batches.size(), 100u);
  }
}

TEST_F(PlaylistLoad, ClearDropsTheRunningLoadAndNumbersStartAgain) {
  const auto paths = MakeTracks(dir / "m", 30);
  Load(*model, {paths[0], paths[1]});
  std::vector<std::string> many;
  for (int i = 0; i < 20; ++i) many.insert(many.end(), paths.begin(), paths.end());
  model->AddPaths(many);
  model->Clear();
  EXPECT_EQ(model->RowCount(), 0);
  EXPECT_TRUE(model->PlaylistPaths().empty());
  Load(*model, {paths[5], paths[6]});
  EXPECT_EQ(Numbers(*model), (std::vector<int>{1, 2}));
  EXPECT_EQ(model->PlaylistPaths(), (std::vector<std::string>{paths[5], paths[6]}));
}

TEST_F(PlaylistLoad, PlaylistsAreExpandedWhateverTheirCase) {
  const auto paths = MakeTracks(dir / "music", 3);
  // CR LF and LF lines, comments, a blank line, relative, backslash and URL forms, a nested list.
  WriteBytes(dir / "music/LIST.M3U",
             "#EXTM3U\r\n#EXTINF:3,A - B\r\n001.mp3\r\n\r\n..\\music\\002.mp3\n"
             "file://" + (dir / "music/003.mp3").string() + "\ninner.m3u\n");
  WriteBytes(dir / "music/inner.m3u", "001.mp3\n");
  Load(*model, {(dir / "music/LIST.M3U").string(), paths[2]});
  // The blank line names no file and gives no row; the nested list gives its own entries.
  EXPECT_EQ(model->PlaylistPaths(), (std::vector<std::string>{paths[0], paths[1], paths[2], paths[0], paths[2]}));
  EXPECT_EQ(model->RowCount(), 5);
}

TEST_F(PlaylistLoad, HostileInputLoadsTheRest) {
  const auto good = MakeTracks(dir / "ok", 2);
  WriteBytes(dir / "random.mp3", RandomBytes(100000, 11));
  WriteBytes(dir / "trunc.mp3", std::string("ID3\x03\x00\x00\x00\x10\x00\x00TPE1\x00\x01", 17));
  // An M3U of random bytes: very long lines, NULs, stray CRs; its last line names a good file.
  WriteBytes(dir / "junk.m3u", RandomBytes(300000, 5) + "\n" + std::string(200000, 'A') + "\n" + good[1] + "\n");
  fs::create_directory(dir / "folder.mp3");
  fs::create_directory(dir / "folder.m3u");
  fs::create_symlink(dir / "gone.mp3", dir / "dangling.mp3");
  fs::create_symlink(dir / "gone.m3u", dir / "dangling.m3u");
  ASSERT_EQ(::mkfifo((dir / "fifo.mp3").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo.m3u").c_str(), 0600), 0);
  std::vector<std::string> input{good[0]};
  for (const char* name : {"random.mp3", "trunc.mp3", "junk.m3u", "folder.mp3", "dangling.mp3", "dangling.m3u",
                           "fifo.mp3", "fifo.m3u", "folder.m3u"})
    input.push_back((dir / name).string());
  input.push_back(std::string("with\0nul.mp3", 12));
  input.push_back(good[1]);
  Load(*model, input);
  // Every unplayable input keeps a row, but the path with a NUL, which names no file (and would
  // make the default playlist unreadable), and the playlists, which give their lines or nothing.
  const auto& entries = model->PlaylistPaths();
  ASSERT_EQ(entries.size(), static_cast<size_t>(model->RowCount()));
  ASSERT_GE(entries.size(), 8u);
  EXPECT_EQ(entries.front(), good[0]);
  EXPECT_EQ(entries.back(), good[1]);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), good[1]), 2);
  for (const char* name : {"random.mp3", "trunc.mp3", "folder.mp3", "dangling.mp3", "fifo.mp3"})
    EXPECT_EQ(std::count(entries.begin(), entries.end(), (dir / name).string()), 1) << name;
  for (const auto& e : entries) EXPECT_TRUE(!e.empty() && e.find('\0') == std::string::npos);
  const auto playable = std::count_if(model->Rows().begin(), model->Rows().end(), [](const auto& r) { return r.available; });
  EXPECT_EQ(playable, 3);
  EXPECT_EQ(model->Row(model->RowCount() - 1).Text(kColumnDuration), "00:03");
}

// A tagged request learns the row of its first record once that row is in, whatever was queued
// before it, after its playlists are expanded, and only once however many batches it fills.
TEST_F(PlaylistLoad, FirstRowOfATaggedRequest) {
  const auto paths = MakeTracks(dir / "m", 50);
  std::string list = "#EXTM3U\n\n";  // a blank line first: the first record is the next line's
  for (int i = 10; i < 35; ++i) list += paths[static_cast<size_t>(i)] + "\n";
  WriteBytes(dir / "list.m3u", list);
  WriteBytes(dir / "empty.m3u", "#EXTM3U\n");
  model->AddPaths({paths.begin(), paths.begin() + 30});  // untagged, ahead of the rest
  model->AddPaths({(dir / "list.m3u").string()}, 7);
  model->AddPaths({(dir / "empty.m3u").string()}, 8);  // expands to nothing
  model->AddPaths({"", std::string("a\0b", 3)}, 9);  // names no file at all
  model->AddPaths({(dir / "gone.mp3").string(), paths[49]}, 10);
  model->WaitForLoad();
  EXPECT_EQ(model->DeliverBatches(), 30 + 25 + 2);
  using First = std::tuple<uint64_t, int, std::string>;
  EXPECT_EQ(rec.firstRows, (std::vector<First>{{7, 30, paths[10]}, {10, 55, (dir / "gone.mp3").string()}}));

  // Cleared before it arrived: never reported.
  rec.firstRows.clear();
  model->AddPaths(paths, 11);
  model->Clear();
  model->WaitForLoad();
  model->DeliverBatches();
  Load(*model, {paths[0]});
  EXPECT_TRUE(rec.firstRows.empty());
}

}  // namespace
}  // namespace tovira
