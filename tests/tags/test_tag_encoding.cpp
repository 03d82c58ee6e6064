#include "tags/TagEncoding.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "util/Settings.h"

namespace tovira {
namespace {

// The C library's converter, an implementation of the same code pages made elsewhere; nullopt
// where it defines no character for the byte.
std::optional<std::string> SystemDecode(const char* codePage, unsigned char byte) {
  iconv_t cd = iconv_open("UTF-8", codePage);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  char in[1] = {static_cast<char>(byte)};
  char out[8] = {};
  char* inPtr = in;
  char* outPtr = out;
  size_t inLeft = 1, outLeft = sizeof out;
  const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return std::nullopt;
  return std::string(out, sizeof out - outLeft);
}

TEST(TagEncoding, EveryCodePageReadsEveryByteAsTheSystemConverterDoes) {
  const std::pair<TagEncoding, const char*> pages[] = {
      {TagEncoding::Latin1, "ISO-8859-1"},      {TagEncoding::Windows1252, "CP1252"},
      {TagEncoding::Windows1250, "CP1250"},     {TagEncoding::Iso8859_2, "ISO-8859-2"},
      {TagEncoding::Windows1251, "CP1251"},     {TagEncoding::Koi8R, "KOI8-R"},
      {TagEncoding::Iso8859_5, "ISO-8859-5"},   {TagEncoding::Windows1253, "CP1253"},
      {TagEncoding::Iso8859_7, "ISO-8859-7"},
  };
  for (const auto& [encoding, system] : pages) {
    if (!SystemDecode(system, 'A')) {
      ADD_FAILURE() << "the C library cannot convert " << system;
      continue;
    }
    for (int b = 0x80; b <= 0xFF; ++b) {
      const std::string bytes(1, static_cast<char>(b));
      // A byte without a character is shown as the replacement character.
      const std::string expected = SystemDecode(system, static_cast<unsigned char>(b)).value_or("\xEF\xBF\xBD");
      EXPECT_EQ(DecodeEightBit(bytes, encoding), expected) << system << " byte " << std::hex << b;
    }
  }
  // ASCII passes through every one, NUL and all.
  EXPECT_EQ(DecodeEightBit(std::string("a\0z", 3), TagEncoding::Koi8R), std::string("a\0z", 3));
  // UTF-8 stays as it is where it is valid, and is read as Latin-1 where it is not.
  EXPECT_EQ(DecodeEightBit("Caf\xC3\xA9", TagEncoding::Utf8), "Café");
  EXPECT_EQ(DecodeEightBit("Caf\xE9", TagEncoding::Utf8), "Café");
}

TEST(TagEncoding, TheGuessReadsTitlesOfEachScriptRight) {
  struct Case {
    const char* bytes;
    const char* text;
    TagEncoding guessed;
  };
  const Case cases[] = {
      {"\xCA\xE8\xED\xEE", "Кино", TagEncoding::Windows1251},
      {"\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8", "Группа крови", TagEncoding::Windows1251},
      {"\xC7\xE2\xE5\xE7\xE4\xE0 \xEF\xEE \xE8\xEC\xE5\xED\xE8 \xD1\xEE\xEB\xED\xF6\xE5", "Звезда по имени Солнце",
       TagEncoding::Windows1251},
      {"\xCE\xEA\xE5\xE0\xED \xC5\xEB\xFC\xE7\xE8", "Океан Ельзи", TagEncoding::Windows1251},
      {"\xE7\xD2\xD5\xD0\xD0\xC1 \xCB\xD2\xCF\xD7\xC9", "Группа крови", TagEncoding::Koi8R},
      {"\xF3\xD0\xCC\xC9\xCE", "Сплин", TagEncoding::Koi8R},
      {"\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2", "Žluťoučký kůň", TagEncoding::Windows1250},
      {"\xA3\xF3" "d\x9F", "Łódź", TagEncoding::Windows1250},
      {"Dvo\xF8\xE1k", "Dvořák", TagEncoding::Windows1250},
      {"Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1", "Zażółć gęślą jaźń", TagEncoding::Windows1250},
      {"\xC8" "ern\xE1 hora", "Černá hora", TagEncoding::Windows1250},
      {"\xCC\xDF\xEA\xE7\xF2 \xC8\xE5\xEF\xE4\xF9\xF1\xDC\xEA\xE7\xF2", "Μίκης Θεοδωράκης", TagEncoding::Windows1253},
      {"\xA2\xED\xED\xE1 \xC2\xDF\xF3\xF3\xE7", "Άννα Βίσση", TagEncoding::Windows1253},
      // Western texts stay Latin-1: French, German, Icelandic, Spanish, and French "à" alone,
      // which is Russian "а" in Windows-1251.
      {"Caf\xE9", "Café", TagEncoding::Latin1},
      {"Mot\xF6rhead", "Motörhead", TagEncoding::Latin1},
      {"P\xE8re Ubu", "Père Ubu", TagEncoding::Latin1},
      {"Sigur R\xF3s - \xC1g\xE6tis byrjun", "Sigur Rós - Ágætis byrjun", TagEncoding::Latin1},
      {"Espa\xF1" "a", "España", TagEncoding::Latin1},
      {"Gar\xE7on \xE0 l'\xE9t\xE9", "Garçon à l'été", TagEncoding::Latin1},
      {"M\xF6tley Cr\xFC" "e", "Mötley Crüe", TagEncoding::Latin1},
      {"De Paris \xE0 Rome, voyage \xE0 Nice", "De Paris à Rome, voyage à Nice", TagEncoding::Latin1},
      // Latin-1 has control characters where Windows-1252 has its quotes and dashes.
      {"Don\x92t Stop \x96 Beyonc\xE9", "Don’t Stop – Beyoncé", TagEncoding::Windows1252},
      {"Plain ASCII", "Plain ASCII", TagEncoding::Latin1},
      // UTF-8 written into a field declared Latin-1.
      {"\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE", "Кино", TagEncoding::Utf8},
  };
  for (const Case& c : cases) {
    const TagEncoding guessed = GuessTagEncoding({c.bytes});
    EXPECT_EQ(TagEncodingName(guessed), std::string(TagEncodingName(c.guessed))) << c.text;
    EXPECT_EQ(DecodeEightBit(c.bytes, guessed), c.text);
  }
}

TEST(TagEncoding, TheTextsOfAFileAreJudgedTogether) {
  // Three letters alone are no evidence ("À è ß" in Latin-1); beside an album title they are Russian.
  const char* letters = "\xC0 \xE8 \xDF";
  EXPECT_EQ(GuessTagEncoding({letters}), TagEncoding::Latin1);
  const TagEncoding both = GuessTagEncoding({letters, "\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8", "1988"});
  EXPECT_EQ(both, TagEncoding::Windows1251);
  EXPECT_EQ(DecodeEightBit(letters, both), "А и Я");
  // A text that is not UTF-8 makes UTF-8 unlikely for the others too.
  EXPECT_NE(GuessTagEncoding({"\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE", "Caf\xE9"}), TagEncoding::Utf8);
  // A code page that leaves a byte undefined is never the guess: 0xD2 is "Т" in Windows-1251 and
  // nothing in Windows-1253, whose Greek the rest would read well.
  EXPECT_NE(GuessTagEncoding({"\xCC\xDF\xEA\xE7\xF2 \xD2"}), TagEncoding::Windows1253);
  EXPECT_EQ(GuessTagEncoding({}), TagEncoding::Latin1);
  // A setting other than Auto is taken as it is.
  EXPECT_EQ(ResolveTagEncoding(TagEncoding::Windows1250, {"\xCA\xE8\xED\xEE"}), TagEncoding::Windows1250);
  EXPECT_EQ(ResolveTagEncoding(TagEncoding::Auto, {"\xCA\xE8\xED\xEE"}), TagEncoding::Windows1251);
}

TEST(TagEncoding, TheSettingIsStoredByNameAndUnknownNamesMeanAuto) {
  MapSettings settings;
  EXPECT_EQ(LoadTagEncoding(settings), TagEncoding::Auto);
  SaveTagEncoding(settings, TagEncoding::Koi8R);
  EXPECT_EQ(settings.ReadString("Main", "TagEncoding", ""), "koi8-r");
  EXPECT_EQ(LoadTagEncoding(settings), TagEncoding::Koi8R);
  const std::pair<const char*, TagEncoding> stored[] = {
      {"latin1", TagEncoding::Latin1},       {"CP1251", TagEncoding::Windows1251}, {"windows-1250", TagEncoding::Windows1250},
      {"cp1253", TagEncoding::Windows1253},  {"ISO-8859-5", TagEncoding::Iso8859_5}, {"utf8", TagEncoding::Utf8},
      {"klingon", TagEncoding::Auto},        {"", TagEncoding::Auto},
  };
  for (const auto& [name, encoding] : stored) {
    settings.WriteString("Main", "TagEncoding", name);
    EXPECT_EQ(LoadTagEncoding(settings), encoding) << name;
  }
  // Every entry a menu lists comes back from its own name.
  for (const auto& entry : TagEncodingEntries()) EXPECT_EQ(TagEncodingFromName(entry.name), entry.encoding) << entry.name;
}

}  // namespace
}  // namespace tovira
