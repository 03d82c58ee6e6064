// The current row, removing, shuffling and sorting rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "playlist/PlaylistModel.h"
#include "playlist/PlaylistSort.h"
#include "playlist/PlaylistTestUtil.h"

namespace tovira {
namespace {

using namespace test;

class PlaylistOps : public ::testing::Test {
 protected:
  void LoadTracks(int n) {
    paths_ = MakeTracks(dir_ / "m", n);
    Load(*model_, paths_);
    ASSERT_EQ(model_->RowCount(), n);
  }
  TempDir dir_;
  Recorder rec_;
  std::unique_ptr<PlaylistModel> model_ = MakeModel(dir_ / "data", rec_);
  std::vector<std::string> paths_;
};

TEST_F(PlaylistOps, PlayNextAndPreviousStopAtBothEnds) {
  EXPECT_EQ(model_->CurrentRow(), -1);
  EXPECT_FALSE(model_->PlayNext());  // empty list
  EXPECT_EQ(model_->CurrentRow(), 0);
  model_->PlayPrevious();
  EXPECT_EQ(model_->CurrentRow(), 0);
  EXPECT_TRUE(rec_.started.empty());

  LoadTracks(3);
  model_->PlayPrevious();  // 0 -> -1: nothing starts, the row stays at 0
  EXPECT_EQ(model_->CurrentRow(), 0);
  EXPECT_TRUE(rec_.started.empty());
  EXPECT_TRUE(model_->PlayNext());
  EXPECT_TRUE(model_->PlayNext());
  EXPECT_FALSE(model_->PlayNext());  // on the last row
  EXPECT_EQ(model_->CurrentRow(), 2);
  model_->PlayPrevious();
  model_->PlayPrevious();
  model_->PlayPrevious();
  EXPECT_EQ(model_->CurrentRow(), 0);
  EXPECT_EQ(rec_.started, (std::vector<std::string>{paths_[1], paths_[2], paths_[1], paths_[0]}));
}

TEST_F(PlaylistOps, StartingARowHandsItsPathToTheOwner) {
  LoadTracks(4);
  EXPECT_TRUE(model_->StartRow(2));
  EXPECT_EQ(model_->CurrentRow(), 2);
  EXPECT_FALSE(model_->StartRow(4));
  EXPECT_FALSE(model_->StartRow(-1));
  EXPECT_EQ(model_->CurrentRow(), 2);
  model_->RemoveRows({0, 1});
  // Fewer rows than entries now: an index past the rows starts nothing.
  EXPECT_FALSE(model_->StartRow(2));
  EXPECT_TRUE(model_->StartRow(1));
  EXPECT_EQ(rec_.started, (std::vector<std::string>{paths_[2], paths_[3]}));
}

TEST_F(PlaylistOps, RemovedRowsLeaveOthersNumberedAndBlankTheirEntries) {
  LoadTracks(6);
  model_->RemoveRows({4, 1, 3, 3, 99, -2});
  EXPECT_EQ(Numbers(*model_), (std::vector<int>{1, 3, 6}));
  EXPECT_EQ(model_->PlaylistPaths(), (std::vector<std::string>{paths_[0], "", paths_[2], "", "", paths_[5]}));
  EXPECT_EQ(model_->PathOfRow(2), paths_[5]);
  const std::string m3u = model_->M3uText();
  EXPECT_EQ(m3u.find(paths_[1]), std::string::npos);
  EXPECT_EQ(m3u.find(paths_[3]), std::string::npos);
  EXPECT_NE(m3u.find(paths_[5]), std::string::npos);
}

TEST_F(PlaylistOps, ShuffleKeepsEveryRowAndIsUniform) {
  LoadTracks(3);
  model_->StartRow(1);
  std::map<std::vector<int>, int> seen;
  for (int i = 0; i < 6000; ++i) {
    model_->Shuffle();
    auto numbers = Numbers(*model_);
    ++seen[numbers];
    std::sort(numbers.begin(), numbers.end());
    ASSERT_EQ(numbers, (std::vector<int>{1, 2, 3}));
  }
  ASSERT_EQ(seen.size(), 6u);
  for (const auto& [order, count] : seen) EXPECT_NEAR(count, 1000, 150);
  EXPECT_EQ(model_->CurrentRow(), 1);  // a position, untouched
  EXPECT_EQ(model_->PlaylistPaths(), paths_);
}

TEST_F(PlaylistOps, NumberColumnSortsNumerically) {
  LoadTracks(12);
  model_->StartRow(5);
  model_->Shuffle();
  model_->SortColumn(kColumnNumber, true);
  EXPECT_EQ(Numbers(*model_), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  model_->SortColumn(kColumnNumber, false);
  EXPECT_EQ(Numbers(*model_), (std::vector<int>{12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(model_->CurrentRow(), 5);
  EXPECT_EQ(model_->PathOfRow(0), paths_[11]);
}

TEST_F(PlaylistOps, ColumnClicksToggleTheDirection) {
  fs::create_directories(dir_ / "t");
  std::vector<std::string> files;
  const char* names[][2] = {{"beta", "b"}, {"Gamma", "c"}, {"alpha", "d"}, {"Alpha", "a"}};
  for (const auto& n : names) files.push_back(MakeTrack(dir_ / "t" / (std::string(n[1]) + ".mp3"), n[0], n[1]).string());
  Load(*model_, files);
  model_->ClickColumn(kColumnArtist);
  EXPECT_EQ(Column(*model_, kColumnArtist), (std::vector<std::string>{"alpha", "Alpha", "beta", "Gamma"}));
  EXPECT_TRUE(model_->SortAscending());
  model_->ClickColumn(kColumnArtist);
  EXPECT_EQ(Column(*model_, kColumnArtist), (std::vector<std::string>{"Gamma", "beta", "Alpha", "alpha"}));
  EXPECT_FALSE(model_->SortAscending());
  model_->ClickColumn(kColumnTitle);
  EXPECT_EQ(model_->SortColumnIndex(), kColumnTitle);
  EXPECT_TRUE(model_->SortAscending());
  EXPECT_EQ(Column(*model_, kColumnTitle), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST_F(PlaylistOps, SortingWithEmptyTextsKeepsEveryRow) {
  // Unreadable files have empty texts: they compare as 0 when they come first, as text when not.
  auto files = MakeTracks(dir_ / "m", 5);
  files.insert(files.begin() + 1, (dir_ / "none1.mp3").string());
  files.insert(files.begin() + 4, (dir_ / "none2.mp3").string());
  Load(*model_, files);
  for (int column = 0; column < kColumnCount; ++column) {
    for (bool ascending : {true, false}) {
      model_->SortColumn(column, ascending);
      auto numbers = Numbers(*model_);
      std::sort(numbers.begin(), numbers.end());
      EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    }
  }
}

TEST(PlaylistSort, ComparisonRules) {
  EXPECT_LT(CompareColumnTexts("2", "10"), 0);  // numbers, not text
  EXPECT_GT(CompareColumnTexts("10", "2"), 0);
  EXPECT_EQ(CompareColumnTexts("7", "7"), 0);
  EXPECT_LT(CompareColumnTexts("03:05", "10:01"), 0);  // durations as text
  EXPECT_LT(CompareColumnTexts("09:59", "10:00"), 0);
  EXPECT_EQ(CompareColumnTexts("", "abc"), 0);  // the empty text first: numeric, "abc" is 0
  EXPECT_GT(CompareColumnTexts("abc", ""), 0);  // text first: by text
  EXPECT_LT(CompareColumnTexts("", "5"), 0);
  EXPECT_GT(CompareColumnTexts("1999", "1998 remaster"), 0);  // b read like atoi
  EXPECT_GT(CompareColumnTexts("99999999999999999999999", "1"), 0);  // no overflow
  EXPECT_GT(CompareColumnTexts("01/02/2003", "31/12/2002"), 0);  // dates: year first
  EXPECT_LT(CompareColumnTexts("12/05/2003", "11/06/2003"), 0);  // then month
  EXPECT_LT(CompareColumnTexts("11/05/2003", "12/05/2003"), 0);  // then day
  EXPECT_GT(CompareColumnTexts("01/02/2003", "x"), 0);  // a short b is read as far as it goes
  EXPECT_LT(CompareColumnTexts("apple", "Banana"), 0);  // alphabetical, not by code
  EXPECT_LT(CompareColumnTexts("abc", "Abc"), 0);  // case decides only a tie
  EXPECT_GT(CompareColumnTexts("abcd", "Abc"), 0);
}

TEST(PlaylistSort, MergeSortIsStableAndSurvivesAnyComparison) {
  std::vector<std::pair<int, int>> items;
  for (int i = 0; i < 500; ++i) items.emplace_back(i % 7, i);
  SafeStableSort(items, [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 1; i < items.size(); ++i) {
    ASSERT_LE(items[i - 1].first, items[i].first);
    if (items[i - 1].first == items[i].first) {
      ASSERT_LT(items[i - 1].second, items[i].second);
    }
  }
  std::mt19937 rng(3);
  std::vector<int> values(1000);
  for (int i = 0; i < 1000; ++i) values[static_cast<size_t>(i)] = i;
  SafeStableSort(values, [&rng](int, int) { return rng() % 2 == 0; });  // no ordering at all
  std::sort(values.begin(), values.end());
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(values[static_cast<size_t>(i)], i);
}

}  // namespace
}  // namespace tovira
