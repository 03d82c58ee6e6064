#pragma once
// The text of a playlist as UTF-8, whatever it was written in: UTF-8 with or without a
// byte-order mark, or, for a file that is not valid UTF-8, the 8-bit encoding of the locale it
// was most likely written under.

#include <string>
#include <string_view>

namespace tovira {

bool IsValidUtf8(std::string_view text);

// The encoding of the locale the environment names (LC_ALL, LC_CTYPE, LANG), when that is an
// 8-bit one other than ASCII and UTF-8; empty otherwise. The program's own locale is left alone.
std::string LocaleLegacyCodeset();

// `text` converted from `codeset` (a name iconv knows; empty: ISO-8859-1) to UTF-8. A byte the
// codeset does not define is taken as ISO-8859-1, so nothing is lost and nothing fails.
std::string ConvertToUtf8(std::string_view text, const std::string& codeset);

// A playlist's text as UTF-8, decided for the whole file, never line by line: text after a UTF-8
// byte-order mark, and valid UTF-8, stay as they are; anything else is converted from the
// locale's 8-bit encoding (LocaleLegacyCodeset), or from ISO-8859-1 where it has none.
void PlaylistTextToUtf8(std::string& text);

}  // namespace tovira
