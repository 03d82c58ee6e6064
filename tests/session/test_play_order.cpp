// The play order on its own: repeat, shuffle play, the queue and the look ahead, over keys that
// stand for rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>

#include "session/PlayOrder.h"

using namespace tovira;
using Cause = PlayOrder::Cause;

namespace {

std::vector<int> Keys(int first, int count) {
  std::vector<int> k(static_cast<size_t>(count));
  std::iota(k.begin(), k.end(), first);
  return k;
}

std::vector<int> Walk(PlayOrder& o, int steps, Cause cause = Cause::TrackEnded) {
  std::vector<int> out;
  for (int i = 0; i < steps; ++i) out.push_back(o.Next(cause).value_or(-1));
  return out;
}

}  // namespace

TEST(SessionOrder, RepeatOffAllAndOneInTheDisplayOrder) {
  PlayOrder o;
  o.SetRows({5, 3, 9});  // keys in display order, not sorted
  EXPECT_EQ(Walk(o, 4), (std::vector<int>{5, 3, 9, -1})) << "off: the end";
  EXPECT_EQ(o.Previous(), 3);
  EXPECT_EQ(o.Previous(), 5);
  EXPECT_EQ(o.Previous(), std::nullopt);
  o.SetRepeat(Repeat::All);
  EXPECT_EQ(o.Previous(), 9) << "all: wraps back";
  EXPECT_EQ(Walk(o, 2), (std::vector<int>{5, 3}));
  o.SetRepeat(Repeat::One);
  EXPECT_EQ(Walk(o, 3), (std::vector<int>{3, 3, 3})) << "one: the end of a track replays it";
  EXPECT_EQ(o.Next(Cause::Skip), 9) << "the user's Next moves on";
  EXPECT_EQ(o.Next(Cause::Skip), 5) << "and wraps";

  // The current row removed: the row that followed it comes next.
  o.SetRows({5, 3, 9, 4});
  o.Started(3);
  o.SetRows({5, 9, 4});
  EXPECT_EQ(o.PeekNext(), 9);
  EXPECT_EQ(o.Next(Cause::TrackEnded), 9) << "repeat one no longer holds a removed row";
  o.SetRows({4, 9, 5});  // sorted: the order follows the row, not its old place
  EXPECT_EQ(o.Next(Cause::Skip), 5);
  o.SetRows({4, 9});  // the last row gone: rows added later follow the one before it
  o.SetRows({4, 9, 11});
  EXPECT_EQ(o.Next(Cause::Skip), 11);
}

// Fifty rows: every row exactly once before any repeats; Previous walks back through what played
// and Next forward again; rows removed and added during a round keep it whole.
TEST(SessionOrder, ShufflePlaysEveryRowOnceAndPreviousWalksBack) {
  PlayOrder o(std::mt19937(7));
  o.SetRows(Keys(0, 50));
  o.SetShuffle(true);
  const std::vector<int> round = Walk(o, 50);
  EXPECT_EQ(std::set<int>(round.begin(), round.end()).size(), 50u);
  EXPECT_EQ(*std::min_element(round.begin(), round.end()), 0);
  EXPECT_NE(round, Keys(0, 50));
  EXPECT_EQ(o.Next(Cause::TrackEnded), std::nullopt) << "no repeat: the end";
  for (int i = 48; i >= 0; --i) ASSERT_EQ(o.Previous(), round[static_cast<size_t>(i)]) << i;
  EXPECT_EQ(o.Previous(), std::nullopt);
  EXPECT_EQ(Walk(o, 3), (std::vector<int>{round[1], round[2], round[3]})) << "forward through the same rows";

  o.SetRepeat(Repeat::All);
  o.Started(round[49]);  // all played: a new round follows, never opening with the row just heard
  const std::vector<int> second = Walk(o, 49);
  EXPECT_NE(second.front(), round[49]);
  std::set<int> rest(second.begin(), second.end());
  EXPECT_EQ(rest.size(), 49u);
  EXPECT_FALSE(rest.count(round[49]));

  // A round under way: 10 drawn, then 5 not yet played removed, 3 rows added, 2 played removed.
  PlayOrder p(std::mt19937(11));
  p.SetRows(Keys(0, 20));
  p.SetShuffle(true);
  const std::vector<int> drawn = Walk(p, 10);
  std::set<int> unplayed;
  for (int k : Keys(0, 20)) {
    if (std::find(drawn.begin(), drawn.end(), k) == drawn.end()) unplayed.insert(k);
  }
  std::set<int> removed = {drawn[3], drawn[8]};
  for (int k : std::vector<int>(unplayed.begin(), std::next(unplayed.begin(), 5))) {
    removed.insert(k);
    unplayed.erase(k);
  }
  std::vector<int> rows;
  for (int k : Keys(0, 20)) {
    if (!removed.count(k)) rows.push_back(k);
  }
  rows.insert(rows.end(), {100, 101, 102});
  unplayed.insert({100, 101, 102});
  p.SetRows(rows);
  const std::vector<int> later = Walk(p, static_cast<int>(unplayed.size()) + 1);
  EXPECT_EQ(std::set<int>(later.begin(), later.end() - 1), unplayed);
  EXPECT_EQ(later.back(), -1);
  int back = 0;
  while (const auto k = p.Previous()) {
    EXPECT_FALSE(removed.count(*k)) << "a removed row is walked over";
    ++back;
  }
  EXPECT_EQ(back, 10 - 2 + static_cast<int>(unplayed.size()) - 1);
}

// Queued rows play first, in queue order; the order then resumes after the row that was current
// before the queue (a queued row may thus come round again there). A queued row removed drops
// out, and the queue follows its rows through a sort.
TEST(SessionOrder, TheQueuePlaysFirstAndTheOrderResumesWhereItWas) {
  PlayOrder o;
  o.SetRows(Keys(0, 10));
  EXPECT_EQ(Walk(o, 2), (std::vector<int>{0, 1}));
  EXPECT_TRUE(o.Enqueue(7));
  EXPECT_TRUE(o.Enqueue(4));
  EXPECT_FALSE(o.Enqueue(7)) << "already queued";
  EXPECT_FALSE(o.Enqueue(42)) << "not a row";
  EXPECT_EQ(o.QueuePlace(4), 2);
  EXPECT_EQ(Walk(o, 1), std::vector<int>{7});
  EXPECT_EQ(o.QueuePlace(4), 1);
  EXPECT_EQ(o.Previous(), 1) << "back to the row the queue interrupted";
  EXPECT_EQ(Walk(o, 5), (std::vector<int>{4, 2, 3, 4, 5}));

  o.Enqueue(8);
  o.Enqueue(9);
  o.Enqueue(0);
  o.SetRows({9, 0, 1, 2, 3, 4, 5, 6, 7});  // 8 removed, the rest moved
  EXPECT_EQ(o.Queue(), (std::deque<int>{9, 0}));
  o.Started(0);  // a queued row the user starts leaves the queue
  EXPECT_EQ(o.Queue(), std::deque<int>{9});
  o.SetRepeat(Repeat::One);
  EXPECT_EQ(o.Next(Cause::TrackEnded), 0) << "repeat one: the track again";
  EXPECT_EQ(o.Next(Cause::Skip), 9) << "then the queue";
  o.SetRepeat(Repeat::Off);
  o.SetShuffle(true);
  o.Enqueue(3);
  EXPECT_EQ(o.Next(Cause::Skip), 3) << "before the shuffle";
  o.Forget();
  EXPECT_TRUE(o.Queue().empty());
  EXPECT_TRUE(o.Shuffle()) << "modes stay";
}

// PeekNext names what Next then gives, through a random run of every kind of change.
TEST(SessionOrder, PeekNextIsTheRealNextUnderShuffleAndQueue) {
  std::mt19937 dice(2024);
  auto roll = [&](int n) { return static_cast<int>(dice() % static_cast<unsigned>(n)); };
  PlayOrder o(std::mt19937(5));
  std::vector<int> rows = Keys(0, 12);
  int nextKey = 12;
  o.SetRows(rows);
  int agreed = 0, ends = 0;
  for (int step = 0; step < 3000; ++step) {
    switch (roll(12)) {
      case 0:
        o.SetShuffle(!o.Shuffle());
        break;
      case 1:
        o.SetRepeat(static_cast<Repeat>(roll(3)));
        break;
      case 2:
      case 3:
        if (!rows.empty()) o.Enqueue(rows[static_cast<size_t>(roll(static_cast<int>(rows.size())))]);
        break;
      case 4:
        if (!rows.empty()) rows.erase(rows.begin() + roll(static_cast<int>(rows.size())));
        o.SetRows(rows);
        break;
      case 5:
        rows.push_back(nextKey++);
        std::shuffle(rows.begin(), rows.end(), dice);
        o.SetRows(rows);
        break;
      case 6:
        if (!rows.empty()) o.Started(rows[static_cast<size_t>(roll(static_cast<int>(rows.size())))]);
        break;
      case 7:
        o.Previous();
        break;
      default: {
        const Cause cause = roll(2) ? Cause::TrackEnded : Cause::Skip;
        const auto peek = o.PeekNext(cause);
        ASSERT_EQ(peek, o.Next(cause)) << "step " << step;
        peek ? ++agreed : ++ends;
      }
    }
  }
  EXPECT_GT(agreed, 500);
  EXPECT_GT(ends, 10);
}
