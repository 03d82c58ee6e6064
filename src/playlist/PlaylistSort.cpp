#include "playlist/PlaylistSort.h"

namespace tovira {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// atoi's reading (white space, sign, digits) with the value held at a bound instead of overflowing.
long long AtoiLike(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i) {
    if (v < 100000000000000000LL) v = v * 10 + (s[i] - '0');
  }
  return negative ? -v : v;
}

int Sign(long long d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

bool IsDate(std::string_view s) {
  if (s.size() != 10) return false;
  for (size_t i = 0; i < 10; ++i) {
    const bool slash = i == 2 || i == 5;
    if (slash ? s[i] != '/' : !IsDigit(s[i])) return false;
  }
  return true;
}

// Characters [from, from + count) of s, or fewer where s is shorter.
std::string_view Part(std::string_view s, size_t from, size_t count) {
  if (from >= s.size()) return {};
  return s.substr(from, count);
}

int CompareText(std::string_view a, std::string_view b) {
  if (const int natural = CompareNatural(a, b); natural != 0) return natural;
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    if (Lower(a[i]) == Lower(b[i])) return (a[i] >= 'a' && a[i] <= 'z') ? -1 : 1;  // lower case first
    return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  }
  return 0;
}

}  // namespace

int CompareNatural(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Two numbers: without their leading zeros, the longer is the larger, else the first digit
      // that differs decides. Any length, no overflow.
      while (i < a.size() && a[i] == '0') ++i;
      while (j < b.size() && b[j] == '0') ++j;
      size_t endA = i, endB = j;
      while (endA < a.size() && IsDigit(a[endA])) ++endA;
      while (endB < b.size() && IsDigit(b[endB])) ++endB;
      if (endA - i != endB - j) return endA - i < endB - j ? -1 : 1;
      for (; i < endA; ++i, ++j) {
        if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
      }
      continue;
    }
    const auto x = static_cast<unsigned char>(Lower(a[i]));
    const auto y = static_cast<unsigned char>(Lower(b[j]));
    if (x != y) return x < y ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  return j < b.size() ? -1 : 0;
}

int CompareColumnTexts(std::string_view a, std::string_view b) {
  bool digits = true;
  for (const char c : a) digits = digits && IsDigit(c);
  if (digits) return Sign(AtoiLike(a) - AtoiLike(b));
  if (IsDate(a)) {
    const size_t from[3] = {6, 3, 0};
    const size_t count[3] = {4, 2, 2};
    for (int k = 0; k < 3; ++k) {
      const int d = Sign(AtoiLike(Part(a, from[k], count[k])) - AtoiLike(Part(b, from[k], count[k])));
      if (d != 0) return d;
    }
    return 0;
  }
  return CompareText(a, b);
}

}  // namespace tovira
