#pragma once
// The 8-bit encoding of tag texts stored as ISO-8859-1: ID3v1 fields, and ID3v2 frames that say
// Latin-1. Taggers on many systems wrote the local code page there (Cyrillic, Central European,
// Greek ...), so the bytes are read in a chosen encoding, or one guessed from all such texts of
// the file together. Texts an ID3v2 frame declares UTF-16 or UTF-8 never come through here.
//
// The setting is "Main"/"TagEncoding": "auto" (the default), "latin1" or a code page's name.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tovira {

class Settings;

enum class TagEncoding {
  Auto,  // guessed per file (GuessTagEncoding); never the result of a guess
  Latin1,
  Windows1252,
  Windows1250,
  Iso8859_2,
  Windows1251,
  Koi8R,
  Iso8859_5,
  Windows1253,
  Iso8859_7,
  Utf8,  // UTF-8 in a field declared Latin-1; a text that is not valid UTF-8 stays Latin-1
};

struct TagEncodingEntry {
  TagEncoding encoding;
  const char* name;  // as stored in the settings: "auto", "latin1", "cp1251", ...
};

// Every setting, in the order a menu lists them.
std::span<const TagEncodingEntry> TagEncodingEntries();
const char* TagEncodingName(TagEncoding encoding);
// The stored name, a few common aliases too ("windows-1251", "iso-8859-1", "utf8"), in any case.
std::optional<TagEncoding> TagEncodingFromName(std::string_view name);

// "Main"/"TagEncoding"; a value missing or unknown is Auto.
TagEncoding LoadTagEncoding(const Settings& settings);
void SaveTagEncoding(Settings& settings, TagEncoding encoding);

// The bytes as UTF-8 text in `encoding` (Auto reads them as Latin-1). A byte the code page leaves
// undefined becomes U+FFFD.
std::string DecodeEightBit(std::string_view bytes, TagEncoding encoding);

// The encoding the texts are most likely in, judged on all of them together: UTF-8 when every
// text with a byte above 127 is valid UTF-8; else the code page whose reading looks most like
// words of its languages (letters of one script a word, a plausible case pattern, common letters,
// an alphabet one language has). Latin-1 for pure ASCII and whenever the evidence is weak;
// Windows-1252 instead of Latin-1 when bytes 0x80..0x9F are there and it defines them all (they
// are control characters in Latin-1). ISO-8859-2/5/7 are never guessed: their texts are read
// nearly as well as their Windows cousins, which taggers used far more.
TagEncoding GuessTagEncoding(const std::vector<std::string_view>& texts);

// The encoding a file's 8-bit texts are read in: the setting, or the guess for Auto.
TagEncoding ResolveTagEncoding(TagEncoding setting, const std::vector<std::string_view>& texts);

}  // namespace tovira
