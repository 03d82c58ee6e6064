#pragma once
// The order rows play in, apart from the rows themselves: repeat (off, all, one), shuffle play,
// the "play next" queue and stopping after the current track. Pure rules, no files and no Qt:
// the owner tells it the rows and asks what comes next.
//
// Rows are named by keys: small non-negative integers that stay with a row while it exists (the
// playlist's row numbers), so sorting, shuffling and removing rows keep the order's memory right.
// Keys are never reused except after Forget.
//
// What comes next, in this order of precedence:
//  - the end of a track under Repeat::One: the same row again;
//  - the queue: queued rows play first, in the order they were queued; the order then resumes
//    after the row that was current before the queue (the queue does not move it);
//  - shuffle play: every row once, in a random order, before any repeats; with repeat on a new
//    round starts when all have played (never with the row just heard). Previous walks back
//    through what actually played, and Next then forward again before drawing new rows;
//  - otherwise the playlist's display order from the current row; repeat wraps at either end.
// Any repeat but Off wraps when the order moves on (Repeat::One repeats only at a track's end).
// Whatever asked for the row, the order counts it as played; the owner asks again for the next
// when a row cannot be played.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <utility>
#include <vector>

namespace tovira {

enum class Repeat { Off = 0, All = 1, One = 2 };

class PlayOrder {
 public:
  using Key = int;
  // Keys from this on are not played (the order keeps a table as long as the largest key).
  static constexpr Key kKeyLimit = 1 << 24;
  // The history Previous walks keeps this many rows at most.
  static constexpr size_t kHistoryLimit = 5000;
  // The end of a track repeats under Repeat::One; the user's Next, and moving past a row that
  // could not be played, go on.
  enum class Cause { TrackEnded, Skip };

  // The shuffle's randomness, seeded by the owner, so that a seed gives one order.
  explicit PlayOrder(std::mt19937 random = std::mt19937{});

  void SetRepeat(Repeat repeat) { repeat_ = repeat; }
  Repeat RepeatMode() const { return repeat_; }
  // Turning shuffle play on starts a round of every row but the current one.
  void SetShuffle(bool on);
  bool Shuffle() const { return shuffle_; }
  // One-shot: the owner takes it (TakeStopAfter) when the current track ends.
  void SetStopAfterCurrent(bool on) { stopAfter_ = on; }
  bool StopAfterCurrent() const { return stopAfter_; }
  // True, clearing the flag, when the track that just ended is the last to play for now.
  bool TakeStopAfter() { return std::exchange(stopAfter_, false); }

  // The rows in display order, after any change (added, removed, sorted); cheap when nothing
  // changed. Queued and shuffled rows that are gone drop out; new rows join the shuffle round at
  // random places; when the current row is gone the order goes on with the row that followed it.
  void SetRows(const std::vector<Key>& rows);
  // The rows were replaced by new ones whose keys start again: everything but the modes goes.
  void Forget();
  // The display index of `key` among the rows last set, -1 when it is not one of them.
  int IndexOf(Key key) const;

  // Appended to the queue; a key already queued, or not a row, is left as it is. True if added.
  bool Enqueue(Key key);
  bool Dequeue(Key key);
  void ClearQueue() { queue_.clear(); }
  const std::deque<Key>& Queue() const { return queue_; }
  // 1 for the first queued row, 0 for a row not queued.
  int QueuePlace(Key key) const;

  // The row the owner started by itself (the user chose it): the order goes on from it.
  void Started(Key key);
  // What plays next for `cause`, counted as played; nullopt at the end (or with no rows).
  std::optional<Key> Next(Cause cause);
  // The row Next(cause) would give, without changing anything. It stays right until the order
  // is changed in any other way (a mode, the queue, the rows, a start). The stop-after flag is
  // the owner's to look at first.
  std::optional<Key> PeekNext(Cause cause = Cause::TrackEnded) const;
  std::optional<Key> Previous();
  // The row that plays (or played last), while it is a row; nullopt otherwise.
  std::optional<Key> Current() const;
  // Whether the current row came from the queue.
  bool CurrentFromQueue() const { return currentQueued_; }

 private:
  // Where the display order stands: on a row, or (its row removed) just before or after one.
  enum class Spot { Start, On, Before, After };

  bool Present(Key key) const;
  bool Wraps() const { return repeat_ != Repeat::Off; }
  std::optional<int> SequenceNext() const;
  std::optional<int> SequencePrevious() const;
  // The history entry Next would walk forward to, or the size of the history when none.
  size_t ForwardInHistory() const;
  // The last present, unplayed entry of this shuffle round (drawn from the back), or -1.
  std::ptrdiff_t RoundBack() const;
  // A new shuffle round of every row but `excluded`, never ending (drawing first) on the current.
  std::vector<Key> MakeRound(std::mt19937& random, Key excluded) const;
  void NewRound(Key excluded);
  // Counts `key` as playing now.
  void Play(Key key, bool queued, bool fromHistory);

  std::mt19937 random_;
  Repeat repeat_ = Repeat::Off;
  bool shuffle_ = false;
  bool stopAfter_ = false;

  std::vector<Key> rows_;
  std::vector<int> indexOf_;  // by key: display index, -1 for none

  Key current_ = -1;
  bool currentQueued_ = false;
  Spot spot_ = Spot::Start;
  Key spotKey_ = -1;

  std::deque<Key> queue_;
  std::vector<Key> round_;       // this round's rows not yet drawn, in random order, drawn from the back
  std::vector<uint8_t> played_;  // by key: played in this round
  std::vector<Key> history_;     // what played, oldest first
  size_t at_ = 0;                // index of the current row in history_ (history_.size() when none)
};

}  // namespace tovira
