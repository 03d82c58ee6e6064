// Loading rows: batches, order, queued requests, M3U expansion, hostile input, threads.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

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
  paths[19] = "";
  EXPECT_EQ(model->PlaylistPaths(), paths);
  ASSERT_EQ(model->RowCount(), 45);
  for (int i = 0; i < 45; ++i) {
    const auto& row = model->Row(i);
    EXPECT_EQ(row.number, i + 1);
    EXPECT_EQ(row.texts[kColumnNumber], std::to_string(i + 1));
    const bool read = i != 19;
    EXPECT_EQ(row.texts[kColumnArtist], read ? "Artist" : "");
    EXPECT_EQ(row.texts[kColumnAlbum], read ? "Album" : "");
    EXPECT_EQ(row.texts[kColumnDuration], read ? "00:03" : "");
    EXPECT_EQ(row.seconds, read ? 3u : 0u);
  }
  for (int c = 1; c < kColumnCount; ++c) EXPECT_EQ(model->Row(19).texts[c], "") << c;

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
  ASSERT_EQ(model->RowCount(), 6);
  EXPECT_EQ(model->PlaylistPaths(), (std::vector<std::string>{paths[0], "", paths[1], paths[2], "", paths[2]}));
  EXPECT_EQ(model->Row(1).texts[kColumnNumber], "2");  // the blank line's row shows only its number
  EXPECT_EQ(model->Row(1).texts[kColumnTitle], "");
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
  const auto& entries = model->PlaylistPaths();
  ASSERT_GE(entries.size(), 8u);
  EXPECT_EQ(entries.front(), good[0]);
  EXPECT_EQ(entries.back(), good[1]);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), good[1]), 2);
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(), [](const auto& e) { return !e.empty(); }), 3);
  EXPECT_EQ(model->Row(model->RowCount() - 1).texts[kColumnDuration], "00:03");
}

}  // namespace
}  // namespace tovira
