#include "session/PlayOrder.h"

#include <algorithm>

namespace tovira {

PlayOrder::PlayOrder(std::mt19937 random) : random_(std::move(random)) {}

bool PlayOrder::Present(Key key) const { return IndexOf(key) >= 0; }

int PlayOrder::IndexOf(Key key) const {
  if (key < 0 || static_cast<size_t>(key) >= indexOf_.size()) return -1;
  return indexOf_[static_cast<size_t>(key)];
}

std::optional<PlayOrder::Key> PlayOrder::Current() const {
  if (Present(current_)) return current_;
  return std::nullopt;
}

void PlayOrder::SetShuffle(bool on) {
  if (on == shuffle_) return;
  shuffle_ = on;
  if (on) {
    NewRound(Present(current_) ? current_ : -1);
  } else {
    round_.clear();
  }
}

void PlayOrder::SetRows(const std::vector<Key>& rows) {
  if (rows == rows_) return;
  const std::vector<Key> old = std::exchange(rows_, rows);
  const std::vector<int> oldIndex = std::exchange(indexOf_, {});
  Key largest = -1;
  for (Key k : rows_) {
    if (k >= 0 && k < kKeyLimit) largest = std::max(largest, k);
  }
  indexOf_.assign(static_cast<size_t>(largest + 1), -1);
  for (size_t i = 0; i < rows_.size(); ++i) {
    const Key k = rows_[i];
    if (k >= 0 && k < kKeyLimit) indexOf_[static_cast<size_t>(k)] = static_cast<int>(i);
  }
  if (played_.size() < indexOf_.size()) played_.resize(indexOf_.size(), 0);

  // The current row gone: the order goes on with the row that followed it, or after the one
  // before it when it was the last.
  if (spot_ != Spot::Start && !Present(spotKey_)) {
    const int at = spotKey_ >= 0 && static_cast<size_t>(spotKey_) < oldIndex.size()
                       ? oldIndex[static_cast<size_t>(spotKey_)] : -1;
    spot_ = Spot::Start;
    for (int j = at + 1; at >= 0 && j < static_cast<int>(old.size()) && spot_ == Spot::Start; ++j) {
      if (Present(old[static_cast<size_t>(j)])) spot_ = Spot::Before, spotKey_ = old[static_cast<size_t>(j)];
    }
    for (int j = at - 1; j >= 0 && spot_ == Spot::Start; --j) {
      if (Present(old[static_cast<size_t>(j)])) spot_ = Spot::After, spotKey_ = old[static_cast<size_t>(j)];
    }
  }

  const auto gone = [this](Key k) { return !Present(k); };
  std::erase_if(queue_, gone);
  std::erase_if(round_, gone);
  // The history keeps the keys of removed rows (they are never reused) and walks over them.
  if (!shuffle_) return;
  // New rows join the round at random places among the rows still to come.
  for (Key k : rows_) {
    const bool known = k >= 0 && static_cast<size_t>(k) < oldIndex.size() && oldIndex[static_cast<size_t>(k)] >= 0;
    if (known || !Present(k)) continue;
    round_.push_back(k);
    std::uniform_int_distribution<size_t> place(0, round_.size() - 1);
    std::swap(round_[place(random_)], round_.back());
  }
}

void PlayOrder::Forget() {
  rows_.clear();
  indexOf_.clear();
  current_ = -1;
  currentQueued_ = false;
  spot_ = Spot::Start;
  spotKey_ = -1;
  queue_.clear();
  round_.clear();
  played_.clear();
  history_.clear();
  at_ = 0;
}

bool PlayOrder::Enqueue(Key key) {
  if (!Present(key) || QueuePlace(key) != 0) return false;
  queue_.push_back(key);
  return true;
}

bool PlayOrder::Dequeue(Key key) {
  const auto it = std::find(queue_.begin(), queue_.end(), key);
  if (it == queue_.end()) return false;
  queue_.erase(it);
  return true;
}

int PlayOrder::QueuePlace(Key key) const {
  const auto it = std::find(queue_.begin(), queue_.end(), key);
  return it == queue_.end() ? 0 : static_cast<int>(it - queue_.begin()) + 1;
}

// ---- the display order ----

std::optional<int> PlayOrder::SequenceNext() const {
  const int n = static_cast<int>(rows_.size());
  if (n == 0) return std::nullopt;
  const int at = IndexOf(spotKey_);
  int i = 0;
  if (at >= 0) {
    i = spot_ == Spot::Before ? at : spot_ == Spot::Start ? 0 : at + 1;
  }
  if (i >= n) {
    if (!Wraps()) return std::nullopt;
    i = 0;
  }
  return i;
}

std::optional<int> PlayOrder::SequencePrevious() const {
  const int n = static_cast<int>(rows_.size());
  if (n == 0) return std::nullopt;
  const int at = IndexOf(spotKey_);
  int i = -1;
  if (at >= 0 && spot_ != Spot::Start) i = spot_ == Spot::After ? at : at - 1;
  if (i < 0) {
    if (!Wraps()) return std::nullopt;
    i = n - 1;
  }
  return i;
}

// ---- shuffle play ----

size_t PlayOrder::ForwardInHistory() const {
  for (size_t i = at_ + 1; i < history_.size(); ++i) {
    if (Present(history_[i])) return i;
  }
  return history_.size();
}

std::ptrdiff_t PlayOrder::RoundBack() const {
  for (auto i = static_cast<std::ptrdiff_t>(round_.size()) - 1; i >= 0; --i) {
    const Key k = round_[static_cast<size_t>(i)];
    if (Present(k) && played_[static_cast<size_t>(k)] == 0) return i;
  }
  return -1;
}

std::vector<PlayOrder::Key> PlayOrder::MakeRound(std::mt19937& random, Key excluded) const {
  std::vector<Key> round;
  round.reserve(rows_.size());
  for (Key k : rows_) {
    if (k != excluded && Present(k)) round.push_back(k);
  }
  std::shuffle(round.begin(), round.end(), random);
  // The row just heard does not open the next round.
  if (round.size() > 1 && round.back() == current_) std::swap(round.front(), round.back());
  return round;
}

void PlayOrder::NewRound(Key excluded) {
  round_ = MakeRound(random_, excluded);
  std::fill(played_.begin(), played_.end(), uint8_t{0});
  if (Present(excluded)) played_[static_cast<size_t>(excluded)] = 1;
}

// ---- moving ----

void PlayOrder::Play(Key key, bool queued, bool fromHistory) {
  current_ = key;
  currentQueued_ = queued;
  if (!queued) {
    spot_ = Spot::On;
    spotKey_ = key;
  }
  if (Present(key)) played_[static_cast<size_t>(key)] = 1;
  Dequeue(key);
  if (fromHistory) return;
  if (at_ + 1 < history_.size()) history_.resize(at_ + 1);  // a new row ends the way forward
  history_.push_back(key);
  if (history_.size() > kHistoryLimit) history_.erase(history_.begin(), history_.begin() + kHistoryLimit / 5);
  at_ = history_.size() - 1;
}

void PlayOrder::Started(Key key) {
  if (!Present(key)) return;
  const bool roundOver = shuffle_ && RoundBack() < 0;
  Play(key, false, false);
  // Every row had played: the chosen one opens a new round.
  if (roundOver) NewRound(key);
}

std::optional<PlayOrder::Key> PlayOrder::PeekNext(Cause cause) const {
  if (cause == Cause::TrackEnded && repeat_ == Repeat::One && Present(current_)) return current_;
  for (Key k : queue_) {
    if (Present(k)) return k;
  }
  if (shuffle_) {
    if (const size_t f = ForwardInHistory(); f < history_.size()) return history_[f];
    if (const auto b = RoundBack(); b >= 0) return round_[static_cast<size_t>(b)];
    if (!Wraps()) return std::nullopt;
    std::mt19937 random = random_;  // the draw Next would make, on a copy
    const std::vector<Key> round = MakeRound(random, -1);
    if (round.empty()) return std::nullopt;
    return round.back();
  }
  const auto i = SequenceNext();
  if (!i) return std::nullopt;
  return rows_[static_cast<size_t>(*i)];
}

std::optional<PlayOrder::Key> PlayOrder::Next(Cause cause) {
  if (cause == Cause::TrackEnded && repeat_ == Repeat::One && Present(current_)) return current_;
  while (!queue_.empty()) {
    const Key k = queue_.front();
    queue_.pop_front();
    if (Present(k)) {
      Play(k, true, false);
      return k;
    }
  }
  if (shuffle_) {
    if (const size_t f = ForwardInHistory(); f < history_.size()) {
      at_ = f;
      Play(history_[f], false, true);
      return history_[f];
    }
    auto b = RoundBack();
    if (b < 0) {
      if (!Wraps()) return std::nullopt;
      NewRound(-1);
      b = RoundBack();
      if (b < 0) return std::nullopt;
    }
    const Key k = round_[static_cast<size_t>(b)];
    round_.resize(static_cast<size_t>(b));
    Play(k, false, false);
    return k;
  }
  const auto i = SequenceNext();
  if (!i) return std::nullopt;
  const Key k = rows_[static_cast<size_t>(*i)];
  Play(k, false, false);
  return k;
}

std::optional<PlayOrder::Key> PlayOrder::Previous() {
  if (shuffle_) {
    for (size_t i = std::min(at_, history_.size()); i > 0; --i) {
      const Key k = history_[i - 1];
      if (Present(k)) {
        at_ = i - 1;
        Play(k, false, true);
        return k;
      }
    }
    return std::nullopt;
  }
  std::optional<int> i;
  // A queued row plays: back to the row the queue interrupted.
  if (currentQueued_ && spot_ == Spot::On && Present(spotKey_)) {
    i = IndexOf(spotKey_);
  } else {
    i = SequencePrevious();
  }
  if (!i) return std::nullopt;
  const Key k = rows_[static_cast<size_t>(*i)];
  Play(k, false, false);
  return k;
}

}  // namespace tovira
