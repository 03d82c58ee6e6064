#include "tags/GenreTable.h"

#include <gtest/gtest.h>

#include <map>

namespace tovira {
namespace {

TEST(GenreTable, SpellingsThatUsersSee) {
  EXPECT_EQ(GenreTable.front(), "Blues");
  EXPECT_EQ(GenreTable[17], "Rock");
  EXPECT_EQ(GenreTable[67], "Psychadelic");
  EXPECT_EQ(GenreTable[79], "Hard Rock");
  EXPECT_EQ(GenreTable[80], "Folk");
  EXPECT_EQ(GenreTable[141], "Christian Rock ");
  EXPECT_EQ(GenreTable[147], "Synthpop");
  for (const auto name : GenreTable) EXPECT_FALSE(name.empty());
}

TEST(InfoGenreTable, DiffersFromGenreTableOnlyWhereListed) {
  const std::map<size_t, std::string_view> differences = {
      {81, "Folk/Rock"}, {84, "Fusion"},   {118, "Rhytmic Soul"},
      {123, "Acapella"}, {132, "BritPop"}, {141, "Christian Rock"}};
  for (size_t i = 0; i < kGenreCount; ++i) {
    const auto d = differences.find(i);
    if (d == differences.end()) {
      EXPECT_EQ(InfoGenreTable[i], GenreTable[i]) << i;
    } else {
      EXPECT_EQ(InfoGenreTable[i], d->second) << i;
      EXPECT_NE(InfoGenreTable[i], GenreTable[i]) << i;
    }
  }
  EXPECT_EQ(InfoGenreTable[148], "Unknown");
}

}  // namespace
}  // namespace tovira
