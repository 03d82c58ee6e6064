// A change of the tag encoding reads the rows again where they stand, on the load thread, even
// while a load is running; the rows, their order and the default playlist stay as they were.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "playlist/PlaylistModel.h"
#include "playlist/PlaylistTestUtil.h"

namespace tovira {
namespace {

using namespace test;
using PlaylistTagEncoding = ModelTest;

// Windows-1251 bytes of "Кино" and "Группа крови" in an ID3v1 tag; the file name tells them apart.
std::vector<std::string> CyrillicTracks(const fs::path& folder, int count) {
  fs::create_directories(folder);
  const fs::path first = CopyFixture(folder / "001.mp3");
  WriteV1(first, {"\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8", "\xCA\xE8\xED\xEE", "", 1988, 255});
  return CopiesOf(first, count);
}

// Until nothing is loading and nothing waits to be delivered: a batch read in an old encoding is
// sent back to be read again when it is delivered.
void Settle(PlaylistModel& model) {
  for (;;) {
    model.WaitForLoad();
    model.DeliverBatches();
    if (!model.IsLoading()) return;
  }
}

struct ChangedRows final : PlaylistObserver {
  void RowChanged(int row) override { rows.push_back(row); }
  std::vector<int> rows;
};

TEST_F(PlaylistTagEncoding, RowsAreReadAgainInPlaceAndNothingElseChanges) {
  ASSERT_TRUE(model->LoadDefaultPlaylist());
  model->SetTagEncoding(TagEncoding::Latin1);
  const auto paths = CyrillicTracks(dir / "music", 45);  // three batches
  Load(*model, paths);
  ASSERT_EQ(model->RowCount(), 45);
  EXPECT_EQ(model->Row(0).Text(kColumnArtist), "Êèíî");
  // Sorted, shuffled and thinned out before the change: the reading must find each row.
  model->Shuffle();
  model->RemoveRows({0, 7, 8, 30});
  ASSERT_TRUE(model->SaveDefaultPlaylist());
  const std::string saved = ReadBytes(dir / "data" / "tvra.dfl");
  const std::vector<int> numbers = Numbers(*model);
  const int changesBefore = rec.changes;

  ChangedRows observer;
  model->SetObserver(&observer);
  model->SetTagEncoding(TagEncoding::Windows1251);
  EXPECT_EQ(model->GetTagEncoding(), TagEncoding::Windows1251);
  // Saved while the rows are being read: each entry once, not again for the reading.
  ASSERT_TRUE(model->SaveDefaultPlaylist());
  EXPECT_EQ(ReadBytes(dir / "data" / "tvra.dfl"), saved);
  Settle(*model);
  model->SetObserver(nullptr);

  EXPECT_EQ(Numbers(*model), numbers);
  EXPECT_EQ(Column(*model, kColumnArtist), std::vector<std::string>(41, "Кино"));
  EXPECT_EQ(Column(*model, kColumnTitle), std::vector<std::string>(41, "Группа крови"));
  EXPECT_EQ(Column(*model, kColumnYear), std::vector<std::string>(41, "1988"));
  std::sort(observer.rows.begin(), observer.rows.end());
  std::vector<int> every(41);
  for (int i = 0; i < 41; ++i) every[static_cast<size_t>(i)] = i;
  EXPECT_EQ(observer.rows, every);  // each row announced once
  EXPECT_EQ(rec.changes, changesBefore);  // texts are not what the default playlist keeps
  EXPECT_EQ(rec.added.size(), 3u);  // no rows added by the reading
  // The same encoding again reads nothing.
  model->SetTagEncoding(TagEncoding::Windows1251);
  EXPECT_FALSE(model->IsLoading());
}

TEST_F(PlaylistTagEncoding, AChangeDuringALoadReachesEveryRow) {
  model->SetTagEncoding(TagEncoding::Latin1);
  const auto paths = CyrillicTracks(dir / "music", 60);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    model->Clear();
    model->SetTagEncoding(TagEncoding::Latin1);
    model->AddPaths(paths);
    // Whatever has been read, delivered or not, by the time of the change.
    if (round > 0) model->DeliverBatches();
    if (round > 1) model->WaitForLoad(std::chrono::milliseconds(5));
    model->SetTagEncoding(TagEncoding::Windows1251);
    Settle(*model);
    ASSERT_EQ(model->RowCount(), 60);
    EXPECT_EQ(Column(*model, kColumnArtist), std::vector<std::string>(60, "Кино"));
  }
  // A row read on the owner's thread uses the setting too.
  model->SetTagEncoding(TagEncoding::Latin1);
  Settle(*model);
  model->SetTagEncoding(TagEncoding::Koi8R);
  model->RefreshRow(0);
  EXPECT_EQ(model->Row(0).Text(kColumnArtist), "йХМН");
  Settle(*model);
}

}  // namespace
}  // namespace tovira
