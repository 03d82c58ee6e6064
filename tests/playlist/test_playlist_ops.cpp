// Shuffling and sorting rows. The current row, removals and what the view is told of each are in
// test_playlist_observer.
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
using PlaylistOps = ModelTest;

TEST_F(PlaylistOps, ShuffleKeepsEveryRowAndIsUniform) {
  const auto paths = MakeTracks(dir / "m", 3);
  Load(*model, paths);
  model->StartRow(1);
  std::map<std::vector<int>, int> seen;
  for (int i = 0; i < 6000; ++i) {
    model->Shuffle();
    auto numbers = Numbers(*model);
    ++seen[numbers];
    std::sort(numbers.begin(), numbers.end());
    ASSERT_EQ(numbers, (std::vector<int>{1, 2, 3}));
  }
  ASSERT_EQ(seen.size(), 6u);
  for (const auto& [order, count] : seen) EXPECT_NEAR(count, 1000, 150);
  EXPECT_EQ(model->CurrentRow(), 1);  // a position, untouched
  EXPECT_EQ(model->PlaylistPaths(), paths);
}

TEST_F(PlaylistOps, ColumnClicksToggleTheDirection) {
  std::vector<std::string> files;
  for (const auto& [artist, title] : {std::pair{"beta", "b"}, {"Gamma", "c"}, {"alpha", "d"}, {"Alpha", "a"}})
    files.push_back(MakeTrack(dir / "t" / (std::string(title) + ".mp3"), artist, title).string());
  Load(*model, files);
  model->ClickColumn(kColumnArtist);
  EXPECT_EQ(Column(*model, kColumnArtist), (std::vector<std::string>{"alpha", "Alpha", "beta", "Gamma"}));
  EXPECT_TRUE(model->SortAscending());
  model->ClickColumn(kColumnArtist);
  EXPECT_EQ(Column(*model, kColumnArtist), (std::vector<std::string>{"Gamma", "beta", "Alpha", "alpha"}));
  EXPECT_FALSE(model->SortAscending());
  model->ClickColumn(kColumnTitle);
  EXPECT_EQ(model->SortColumnIndex(), kColumnTitle);
  EXPECT_TRUE(model->SortAscending());
  EXPECT_EQ(Column(*model, kColumnTitle), (std::vector<std::string>{"a", "b", "c", "d"}));
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

// Texts that are not numbers or dates: digit runs by value, the rest without regard to case;
// each pair must come out the same way in both directions.
TEST(PlaylistSort, NaturalOrderOfTexts) {
  const struct {
    const char *a, *b;
    int sign;
  } cases[] = {
      {"2 - x.mp3", "10 - x.mp3", -1},
      {"Track 9", "track 10", -1},
      {"3/12", "10/12", -1},  // a track number by its leading number
      {"3/12", "3/9", 1},
      {"v2.10", "v2.9", 1},
      {"99999999999999999999999 a", "100000000000000000000000 a", -1},  // beyond 64 bits
      {"a-1", "a1", -1},    // by character where one has no digit
      {"B10", "a2", 1},     // letters before numbers, case aside
      {"a01", "a1", 1},     // the same value: the shorter first
      {"x 007 b", "x 7 a", 1},
      {"Zed", "zed", 1},    // only the case: lower case first
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareColumnTexts(c.a, c.b), c.sign) << c.a << " | " << c.b;
    EXPECT_EQ(CompareColumnTexts(c.b, c.a), -c.sign) << c.b << " | " << c.a;
  }
  EXPECT_EQ(CompareNatural("A 01 b", "a 1 B"), 0);
}

TEST(PlaylistSort, MergeSortIsStableAndSurvivesAnyComparison) {
  std::vector<std::pair<int, int>> items;
  for (int i = 0; i < 500; ++i) items.emplace_back(i % 7, i);
  SafeStableSort(items, [](const auto& a, const auto& b) { return a.first < b.first; });
  EXPECT_TRUE(std::is_sorted(items.begin(), items.end()));  // by key, then by arrival
  std::mt19937 rng(3);
  std::vector<int> values(1000);
  for (int i = 0; i < 1000; ++i) values[static_cast<size_t>(i)] = i;
  auto sorted = values;
  SafeStableSort(values, [&rng](int, int) { return rng() % 2 == 0; });  // no ordering at all
  std::sort(values.begin(), values.end());
  EXPECT_EQ(values, sorted);
}

}  // namespace
}  // namespace tovira
