#include "playlist/TextEncoding.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tovira {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

void AppendLatin1(std::string& out, unsigned char c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (const char c : text) AppendLatin1(out, static_cast<unsigned char>(c));
  return out;
}

bool NamesUtf8(std::string_view codeset) {
  std::string name;
  for (const char c : codeset) {
    if (c != '-' && c != '_') name.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
  }
  return name == "UTF8";
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    // Runs of ASCII, the usual case, eight bytes at a time.
    while (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, s + i, 8);
      if (word & 0x8080808080808080ull) break;
      i += 8;
    }
    if (i >= n) break;
    const unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    uint32_t lowest;
    uint32_t code;
    if ((c & 0xE0) == 0xC0) {
      length = 2, lowest = 0x80, code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3, lowest = 0x800, code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4, lowest = 0x10000, code = c & 0x07;
    } else {
      return false;
    }
    if (n - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      code = code << 6 | (s[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string LocaleLegacyCodeset() {
  // A locale object of its own: setlocale would change the whole program's.
  const locale_t locale = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return {};
  std::string codeset = ::nl_langinfo_l(CODESET, locale);
  // MB_CUR_MAX follows the calling thread's locale, which is switched only for this look.
  const locale_t previous = ::uselocale(locale);
  const size_t maxBytes = MB_CUR_MAX;
  ::uselocale(previous);
  ::freelocale(locale);
  if (maxBytes != 1 || NamesUtf8(codeset) || codeset == "ANSI_X3.4-1968" || codeset == "ASCII") return {};
  return codeset;
}

std::string ConvertToUtf8(std::string_view text, const std::string& codeset) {
  if (codeset.empty()) return Latin1ToUtf8(text);
  const iconv_t cd = ::iconv_open("UTF-8", codeset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return Latin1ToUtf8(text);
  std::string out;
  // Twice the bytes hold most 8-bit text in UTF-8 (and any UTF-16); the rest grows as needed.
  out.resize(text.size() * 2 + 16);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  size_t used = 0;
  while (inLeft > 0) {
    char* to = out.data() + used;
    size_t outLeft = out.size() - used;
    const size_t r = ::iconv(cd, &in, &inLeft, &to, &outLeft);
    used = out.size() - outLeft;
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() + text.size() / 2 + 16);
      continue;
    }
    // A byte the codeset does not define, or a sequence cut off at the end: taken as ISO-8859-1.
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (out.size() - used < 2) out.resize(out.size() + text.size() / 2 + 16);
    const auto c = static_cast<unsigned char>(*in);
    if (c < 0x80) {
      out[used++] = static_cast<char>(c);
    } else {
      out[used++] = static_cast<char>(0xC0 | (c >> 6));
      out[used++] = static_cast<char>(0x80 | (c & 0x3F));
    }
    ++in;
    --inLeft;
  }
  ::iconv_close(cd);
  out.resize(used);
  return out;
}

void PlaylistTextToUtf8(std::string& text) {
  if (std::string_view(text).substr(0, kUtf8Bom.size()) == kUtf8Bom || IsValidUtf8(text)) return;
  text = ConvertToUtf8(text, LocaleLegacyCodeset());
}

}  // namespace tovira
