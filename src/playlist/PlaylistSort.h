#pragma once
// The comparison of column texts used when a playlist column is sorted, and a sort that stays
// safe with it.

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace tovira {

// Negative, 0 or positive: names in natural order. Runs of digits compare by their value
// ("2 - x" before "10 - x", "3/12" before "10/12"), everything else alphabetically without regard
// to letter case (ASCII letters; other bytes by their value). Names that differ only in case or
// in leading zeros compare equal.
int CompareNatural(std::string_view a, std::string_view b);

// Negative, 0 or positive. The kind of comparison is chosen by `a` alone: digits only (the empty
// text included) compare as numbers (b read like atoi), a dd/mm/yyyy date compares by year,
// month, day, anything else compares in natural order (CompareNatural), then, between texts
// that are otherwise equal, by length (fewer leading zeros first), letter case (lower case
// first) and byte by byte.
//
// Because `a` chooses, compare(a, b) and compare(b, a) need not agree: the order is not a strict
// weak ordering, so it must never be handed to std::sort.
int CompareColumnTexts(std::string_view a, std::string_view b);

// A stable merge sort that needs nothing from `less` but an answer: whatever it returns, every
// element is kept exactly once and nothing is read out of bounds.
template <class T, class Less>
void SafeStableSort(std::vector<T>& items, Less less) {
  const size_t n = items.size();
  if (n < 2) return;
  std::vector<T> buffer(n);
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      const size_t mid = std::min(lo + width, n);
      const size_t hi = std::min(lo + 2 * width, n);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) buffer[k++] = less(items[j], items[i]) ? std::move(items[j++]) : std::move(items[i++]);
      while (i < mid) buffer[k++] = std::move(items[i++]);
      while (j < hi) buffer[k++] = std::move(items[j++]);
    }
    items.swap(buffer);
  }
}

}  // namespace tovira
