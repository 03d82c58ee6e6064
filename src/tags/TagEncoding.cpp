#include "tags/TagEncoding.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "tags/CodePages.h"
#include "util/Settings.h"

namespace tovira {

namespace {

constexpr char kMainSection[] = "Main";
constexpr char kTagEncodingName[] = "TagEncoding";

constexpr TagEncodingEntry kEntries[] = {
    {TagEncoding::Auto, "auto"},
    {TagEncoding::Latin1, "latin1"},
    {TagEncoding::Windows1252, "cp1252"},
    {TagEncoding::Windows1250, "cp1250"},
    {TagEncoding::Iso8859_2, "iso-8859-2"},
    {TagEncoding::Windows1251, "cp1251"},
    {TagEncoding::Koi8R, "koi8-r"},
    {TagEncoding::Iso8859_5, "iso-8859-5"},
    {TagEncoding::Windows1253, "cp1253"},
    {TagEncoding::Iso8859_7, "iso-8859-7"},
    {TagEncoding::Utf8, "utf-8"},
};

struct Alias {
  const char* name;
  TagEncoding encoding;
};
constexpr Alias kAliases[] = {
    {"latin-1", TagEncoding::Latin1},         {"iso-8859-1", TagEncoding::Latin1},
    {"iso8859-1", TagEncoding::Latin1},       {"windows-1252", TagEncoding::Windows1252},
    {"windows-1250", TagEncoding::Windows1250}, {"windows-1251", TagEncoding::Windows1251},
    {"windows-1253", TagEncoding::Windows1253}, {"koi8r", TagEncoding::Koi8R},
    {"iso8859-2", TagEncoding::Iso8859_2},    {"iso8859-5", TagEncoding::Iso8859_5},
    {"iso8859-7", TagEncoding::Iso8859_7},    {"utf8", TagEncoding::Utf8},
};

bool SameName(std::string_view a, const char* b) {
  const std::string_view bv(b);
  if (a.size() != bv.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != bv[i]) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {  // the tables hold the Basic Multilingual Plane only
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF. `multibyte` tells
// whether any sequence was longer than one byte.
bool IsValidUtf8(std::string_view s, bool* multibyte) {
  bool wide = false;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    size_t n = 0;
    char32_t c = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      n = 1, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 2, c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 3, c = b & 0x07;
    } else {
      return false;
    }
    if (s.size() - i <= n) return false;
    for (size_t k = 1; k <= n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    if ((n == 2 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (n == 3 && (c < 0x10000 || c > 0x10FFFF))) {
      return false;
    }
    wide = true;
    i += n + 1;
  }
  if (multibyte) *multibyte = wide;
  return true;
}

bool HasHighByte(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// ---------------------------------------------------------------------------------------------
// What a decoded character is, as far as the guess needs to know.

enum class Script : uint8_t { None, Latin, Cyrillic, Greek };

struct CharClass {
  Script script = Script::None;  // None: not a letter
  bool upper = false;
  char32_t folded = 0;  // lower case; Greek without its accents, final sigma as sigma
};

CharClass Classify(char32_t c) {
  if ((c >= 'a' && c <= 'z')) return {Script::Latin, false, c};
  if ((c >= 'A' && c <= 'Z')) return {Script::Latin, true, c + 0x20};
  if (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7) {
    const bool upper = c <= 0xDE;
    return {Script::Latin, upper, upper ? c + 0x20 : c};
  }
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x138 || c == 0x149 || c == 0x17F) return {Script::Latin, false, c};
    if (c == 0x178) return {Script::Latin, true, 0xFF};
    // Pairs start on an even code point but in two runs, where they start on an odd one.
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    const bool upper = oddUpper ? (c & 1) != 0 : (c & 1) == 0;
    return {Script::Latin, upper, upper ? c + 1 : c};
  }
  if (c >= 0x400 && c <= 0x40F) return {Script::Cyrillic, true, c + 0x50};
  if (c >= 0x410 && c <= 0x42F) return {Script::Cyrillic, true, c + 0x20};
  if (c >= 0x430 && c <= 0x45F) return {Script::Cyrillic, false, c};
  if (c >= 0x460 && c <= 0x4FF) {
    const bool upper = (c & 1) == 0;
    return {Script::Cyrillic, upper, upper ? c + 1 : c};
  }
  if (c >= 0x386 && c <= 0x3CE && c != 0x387 && c != 0x38B && c != 0x38D && c != 0x3A2) {
    char32_t base = c;
    switch (c) {
      case 0x386: case 0x3AC: base = 0x3B1; break;  // alpha
      case 0x388: case 0x3AD: base = 0x3B5; break;  // epsilon
      case 0x389: case 0x3AE: base = 0x3B7; break;  // eta
      case 0x38A: case 0x3AF: case 0x390: case 0x3AA: case 0x3CA: base = 0x3B9; break;  // iota
      case 0x38C: case 0x3CC: base = 0x3BF; break;  // omicron
      case 0x38E: case 0x3CD: case 0x3B0: case 0x3AB: case 0x3CB: base = 0x3C5; break;  // upsilon
      case 0x38F: case 0x3CE: base = 0x3C9; break;  // omega
      case 0x3C2: base = 0x3C3; break;  // final sigma
      default:
        if (c >= 0x391 && c <= 0x3A9) base = c + 0x20;
        break;
    }
    const bool upper = (c >= 0x386 && c <= 0x38F) || (c >= 0x391 && c <= 0x3AB);
    return {Script::Greek, upper, base};
  }
  return {};
}

// Marks that stand next to words in titles: free. Some also stand inside words (apostrophes, the
// Catalan middle dot); the rest inside a word is a sign of the wrong code page.
bool IsApostrophe(char32_t c) { return c == 0x2019 || c == 0x2018 || c == 0xB4 || c == 0x2BC || c == 0xB7; }
bool IsPunctuation(char32_t c) {
  switch (c) {
    case 0xA0: case 0xA1: case 0xBF: case 0xAB: case 0xBB: case 0xA9: case 0xAE: case 0xB0: case 0xAD:
    case 0x201A: case 0x201E: case 0x201C: case 0x201D: case 0x2039: case 0x203A: case 0x2013: case 0x2014:
    case 0x2026: case 0x2022: case 0x2122: case 0x20AC: case 0x2116:
      return true;
    default:
      return false;
  }
}

// Letter frequencies in per mille of letters: Russian, with the letters the other languages
// written in Cyrillic add; and Greek, accents folded. A letter missing costs as the rarest.
double CyrillicPerMille(char32_t folded) {
  static constexpr std::array<double, 32> kRussian = {
      80.1, 15.9, 45.4, 17.0, 29.8, 84.5, 9.4,  16.5, 73.5, 12.1, 34.9, 44.0, 32.1, 67.0, 109.7, 28.1,  // а..п
      47.3, 54.7, 62.6, 26.2, 2.6,  9.7,  4.8,  14.4, 7.3,  3.6,  0.4,  19.0, 17.4, 3.2,  6.4,   20.1,  // р..я
  };
  if (folded >= 0x430 && folded <= 0x44F) return kRussian[folded - 0x430];
  switch (folded) {
    case 0x451: return 2.0;   // ё
    case 0x456: return 10.0;  // і
    case 0x457: case 0x454: case 0x458: return 3.0;  // ї є ј
    case 0x45E: case 0x459: case 0x45A: case 0x45B: return 1.0;  // ў љ њ ћ
    case 0x491: case 0x452: case 0x45F: return 0.5;  // ґ ђ џ
    case 0x453: case 0x45C: case 0x455: return 0.2;  // ѓ ќ ѕ
    default: return 0.1;
  }
}

double GreekPerMille(char32_t folded) {
  static constexpr std::array<double, 25> kGreek = {
      120.0, 7.0, 16.0, 17.0, 79.0, 4.0, 50.0, 12.0, 80.0, 40.0, 26.0, 34.0, 67.0,  // α..ν
      4.0,   98.0, 41.0, 43.0, 0.0, 76.0, 78.0, 42.0, 8.0, 12.0, 1.5, 17.0,        // ξ..ω
  };
  if (folded >= 0x3B1 && folded <= 0x3C9 && folded != 0x3C2) return kGreek[folded - 0x3B1];
  return 0.1;
}

double LetterBits(double perMille) { return -std::log2(perMille / 1000.0); }

// The letters beyond ASCII of languages written in each Western code page, lower case.
struct Language {
  std::u16string_view letters;
};
constexpr Language kWesternLanguages[] = {
    {u"àâæçéèêëîïôœùûüÿ"},  // French
    {u"äöüß"},              // German
    {u"áéíóúñü"},           // Spanish
    {u"áâãàçéêíóôõúü"},     // Portuguese
    {u"àèéìíîòóùú"},        // Italian
    {u"àçèéíïòóúü"},        // Catalan
    {u"éèëïöü"},            // Dutch
    {u"æøåéóòô"},           // Danish, Norwegian
    {u"åäöé"},              // Swedish
    {u"äöåšž"},             // Finnish
    {u"áðéíóúýþæö"},        // Icelandic
    {u"äöõüšž"},            // Estonian
    {u"çë"},                // Albanian
};
constexpr Language kCentralLanguages[] = {
    {u"áčďéěíňóřšťúůýž"},   // Czech
    {u"áäčďéíĺľňóôŕšťúýž"},  // Slovak
    {u"ąćęłńóśźż"},         // Polish
    {u"áéíóöőúüű"},         // Hungarian
    {u"čćđšž"},             // Slovenian, Croatian, Bosnian, Serbian
    {u"ăâîşţ"},             // Romanian
    {u"äöüß"},              // German
    {u"çë"},                // Albanian
};

struct Candidate {
  TagEncoding encoding;
  std::span<const Language> languages;  // empty: a script without Latin letters of its own
  double prior;  // bits against it before any text: how much rarer its tags are than the others'
};

// How unlike words of its languages the texts look when read with `page`, in bits (roughly):
// letters of the wrong script in a word, case changing inside a word, rare letters, words made of
// accented letters alone, signs inside words, and Latin letters no single language has.
double Unlikeness(const std::vector<std::string_view>& texts, const CodePageTable& page,
                  std::span<const Language> languages) {
  constexpr size_t kMaxBytes = 4096;  // a long comment says no more than its first lines
  double cost = 0.0;
  std::u16string accented;  // the Latin letters beyond ASCII of every text, folded
  std::vector<char32_t> chars;
  std::vector<bool> high;
  for (const std::string_view text : texts) {
    if (!HasHighByte(text)) continue;
    const size_t n = std::min(text.size(), kMaxBytes);
    chars.clear();
    high.clear();
    for (size_t i = 0; i < n; ++i) {
      const auto b = static_cast<unsigned char>(text[i]);
      chars.push_back(b < 0x80 ? b : page[b - 0x80]);
      high.push_back(b >= 0x80);
    }
    auto isLetter = [&](size_t i) { return i < chars.size() && Classify(chars[i]).script != Script::None; };
    for (size_t i = 0; i < chars.size();) {
      if (!isLetter(i)) {
        const char32_t c = chars[i];
        if (high[i]) {
          const bool before = i > 0 && isLetter(i - 1);
          const bool after = isLetter(i + 1);
          if (c == 0 || (c >= 0x80 && c <= 0x9F)) {
            cost += 12.0;  // a control character, or none (Windows-1252's gaps, read as Latin-1)
          } else if (IsApostrophe(c)) {
          } else if (IsPunctuation(c)) {
            if (before && after) cost += 8.0;
          } else {
            cost += before && after ? 10.0 : before || after ? 3.0 : 1.0;
          }
        }
        ++i;
        continue;
      }
      // One word: a run of letters.
      size_t end = i;
      bool anyHigh = false;
      for (; isLetter(end); ++end) anyHigh = anyHigh || high[end];
      // A word of one letter between blanks says little (French "à" is Russian "а" in another
      // code page); one between signs that are misread bytes too is part of a word.
      const bool alone = end - i == 1 && (i == 0 || !high[i - 1]) && (end == chars.size() || !high[end]);
      if (anyHigh && !alone) {
        std::array<int, 4> perScript{};
        int ascii = 0, accentedInWord = 0;
        for (size_t k = i; k < end; ++k) {
          const CharClass cc = Classify(chars[k]);
          ++perScript[static_cast<size_t>(cc.script)];
          // A capital after a small letter, where a misread byte is involved ("McCartney" is not).
          if (k > i && (high[k - 1] || high[k]) && cc.upper && !Classify(chars[k - 1]).upper) cost += 4.0;
          if (!high[k]) {
            ++ascii;
            continue;
          }
          switch (cc.script) {
            case Script::Cyrillic: cost += LetterBits(CyrillicPerMille(cc.folded)); break;
            case Script::Greek: cost += LetterBits(GreekPerMille(cc.folded)); break;
            default:
              cost += 5.0;
              ++accentedInWord;
              accented.push_back(static_cast<char16_t>(cc.folded));
              break;
          }
        }
        const int letters = static_cast<int>(end - i);
        const int major = *std::max_element(perScript.begin(), perScript.end());
        cost += 6.0 * (letters - major);
        // Latin words have plain letters: one of accented letters alone is a misreading.
        if (accentedInWord >= 2 && ascii == 0) cost += 4.0 * accentedInWord;
      }
      i = end;
    }
  }
  if (!accented.empty()) {
    size_t best = 0;
    for (const Language& language : languages) {
      const auto covered = static_cast<size_t>(std::count_if(accented.begin(), accented.end(), [&](char16_t c) {
        return language.letters.find(c) != std::u16string_view::npos;
      }));
      best = std::max(best, covered);
    }
    cost += 6.0 * static_cast<double>(accented.size() - best);
  }
  return cost;
}

bool DefinesAll(const std::vector<std::string_view>& texts, const CodePageTable& page) {
  return std::all_of(texts.begin(), texts.end(), [&](std::string_view text) {
    return std::all_of(text.begin(), text.end(), [&](char ch) {
      const auto b = static_cast<unsigned char>(ch);
      return b < 0x80 || page[b - 0x80] != 0;
    });
  });
}

}  // namespace

std::span<const TagEncodingEntry> TagEncodingEntries() { return kEntries; }

const char* TagEncodingName(TagEncoding encoding) {
  for (const auto& e : kEntries) {
    if (e.encoding == encoding) return e.name;
  }
  return "auto";
}

std::optional<TagEncoding> TagEncodingFromName(std::string_view name) {
  for (const auto& e : kEntries) {
    if (SameName(name, e.name)) return e.encoding;
  }
  for (const auto& a : kAliases) {
    if (SameName(name, a.name)) return a.encoding;
  }
  return std::nullopt;
}

TagEncoding LoadTagEncoding(const Settings& settings) {
  return TagEncodingFromName(settings.ReadString(kMainSection, kTagEncodingName, "auto")).value_or(TagEncoding::Auto);
}

void SaveTagEncoding(Settings& settings, TagEncoding encoding) {
  settings.WriteString(kMainSection, kTagEncodingName, TagEncodingName(encoding));
}

std::string DecodeEightBit(std::string_view bytes, TagEncoding encoding) {
  if (encoding == TagEncoding::Utf8 && IsValidUtf8(bytes, nullptr)) return std::string(bytes);
  const CodePageTable* page = CodePageOf(encoding);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    char32_t c = b;
    if (b >= 0x80 && page != nullptr) {
      c = (*page)[b - 0x80];
      if (c == 0) c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

TagEncoding GuessTagEncoding(const std::vector<std::string_view>& texts) {
  size_t highBytes = 0;
  bool c1Bytes = false;
  bool allUtf8 = true, anyMultibyte = false;
  for (const std::string_view text : texts) {
    if (!HasHighByte(text)) continue;
    for (const char ch : text) {
      const auto b = static_cast<unsigned char>(ch);
      highBytes += b >= 0x80;
      c1Bytes = c1Bytes || (b >= 0x80 && b <= 0x9F);
    }
    bool multibyte = false;
    if (!IsValidUtf8(text, &multibyte)) allUtf8 = false;
    anyMultibyte = anyMultibyte || multibyte;
  }
  if (highBytes == 0) return TagEncoding::Latin1;
  // Text in a legacy code page is almost never valid UTF-8 by chance.
  if (allUtf8 && anyMultibyte) return TagEncoding::Utf8;

  // The Western reading is Windows-1252, Latin-1 with characters where Latin-1 has controls.
  const double western = Unlikeness(texts, *CodePageOf(TagEncoding::Windows1252), kWesternLanguages);
  const Candidate others[] = {
      {TagEncoding::Windows1251, {}, 0.0},
      {TagEncoding::Windows1250, kCentralLanguages, 0.0},
      {TagEncoding::Koi8R, {}, 1.0},
      {TagEncoding::Windows1253, {}, 2.0},
  };
  TagEncoding best = TagEncoding::Latin1;
  double bestCost = 0.0;
  for (const Candidate& c : others) {
    // A code page that leaves one of the bytes undefined did not write them.
    const CodePageTable& page = *CodePageOf(c.encoding);
    if (!DefinesAll(texts, page)) continue;
    const double cost = c.prior + Unlikeness(texts, page, c.languages);
    if (best == TagEncoding::Latin1 || cost < bestCost) {
      best = c.encoding;
      bestCost = cost;
    }
  }
  // Another code page must read clearly better, and well on its own; else the bytes stay Western.
  constexpr double kMargin = 3.0;
  constexpr double kMostBitsPerByte = 8.0;
  if (bestCost + kMargin < western && bestCost <= kMostBitsPerByte * static_cast<double>(highBytes)) return best;
  if (c1Bytes && DefinesAll(texts, *CodePageOf(TagEncoding::Windows1252))) return TagEncoding::Windows1252;
  return TagEncoding::Latin1;
}

TagEncoding ResolveTagEncoding(TagEncoding setting, const std::vector<std::string_view>& texts) {
  return setting == TagEncoding::Auto ? GuessTagEncoding(texts) : setting;
}

}  // namespace tovira
