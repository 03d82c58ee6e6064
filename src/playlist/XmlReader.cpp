#include "playlist/XmlReader.h"

#include <cstdint>

namespace tovira {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view LocalName(std::string_view qualified) {
  const size_t colon = qualified.rfind(':');
  return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

void AppendCodePoint(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The character a reference's name ("amp", "#233", "#xE9") stands for; 0 for none.
uint32_t ReferencedCharacter(std::string_view name) {
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "amp") return '&';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  if (name.size() < 2 || name[0] != '#') return 0;
  const bool hex = name[1] == 'x' || name[1] == 'X';
  const std::string_view digits = name.substr(hex ? 2 : 1);
  // Eight digits reach past the last code point in either base: more cannot name a character.
  if (digits.empty() || digits.size() > 8) return 0;
  uint32_t value = 0;
  for (const char c : digits) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return 0;
    }
    value = value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
  }
  if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return value;
}

}  // namespace

XmlReader::XmlReader(std::string_view text) : text_(text) {}

XmlReader::Token XmlReader::Next() {
  if (pendingEnd_) {
    pendingEnd_ = false;
    return Token::kEnd;  // name_ is still the empty element's
  }
  const size_t size = text_.size();
  while (pos_ < size) {
    if (text_[pos_] != '<') {
      size_t end = text_.find('<', pos_);
      if (end == std::string_view::npos) end = size;
      raw_ = text_.substr(pos_, end - pos_);
      cdata_ = false;
      pos_ = end;
      return Token::kText;
    }
    const std::string_view rest = text_.substr(pos_);
    // Whatever is cut off by the end of the text ends the document there.
    if (rest.starts_with("<!--")) {
      const size_t end = text_.find("-->", pos_ + 4);
      if (end == std::string_view::npos) break;
      pos_ = end + 3;
      continue;
    }
    if (rest.starts_with("<![CDATA[")) {
      const size_t end = text_.find("]]>", pos_ + 9);
      if (end == std::string_view::npos) break;
      raw_ = text_.substr(pos_ + 9, end - pos_ - 9);
      cdata_ = true;
      pos_ = end + 3;
      return Token::kText;
    }
    if (rest.starts_with("<?")) {
      const size_t end = text_.find("?>", pos_ + 2);
      if (end == std::string_view::npos) break;
      pos_ = end + 2;
      continue;
    }
    if (rest.starts_with("<!")) {
      // A document type: up to its '>', outside quotes and its internal subset.
      size_t i = pos_ + 2;
      size_t brackets = 0;
      char quote = 0;
      for (; i < size; ++i) {
        const char c = text_[i];
        if (quote != 0) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '[') {
          ++brackets;
        } else if (c == ']') {
          if (brackets > 0) --brackets;
        } else if (c == '>' && brackets == 0) {
          break;
        }
      }
      if (i >= size) break;
      pos_ = i + 1;
      continue;
    }
    const bool closing = rest.size() > 1 && rest[1] == '/';
    const size_t nameStart = pos_ + (closing ? 2 : 1);
    size_t i = nameStart;
    while (i < size && !IsSpace(text_[i]) && text_[i] != '/' && text_[i] != '>') ++i;
    const std::string_view qualified = text_.substr(nameStart, i - nameStart);
    // The tag ends at the first '>' outside a quoted attribute value.
    char quote = 0;
    size_t end = i;
    for (; end < size; ++end) {
      const char c = text_[end];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        break;
      }
    }
    if (end >= size) break;
    const bool empty = !closing && text_[end - 1] == '/';
    pos_ = end + 1;
    if (qualified.empty()) continue;  // "<>" or "< a": no tag, passed over
    name_ = LocalName(qualified);
    if (closing) return Token::kEnd;
    pendingEnd_ = empty;
    return Token::kStart;
  }
  pos_ = size;
  return Token::kEndOfInput;
}

bool XmlReader::AppendText(std::string& out, size_t limit) const {
  if (cdata_) {
    if (out.size() + raw_.size() > limit) return false;
    out.append(raw_);
    return true;
  }
  size_t i = 0;
  while (i < raw_.size()) {
    size_t amp = raw_.find('&', i);
    if (amp == std::string_view::npos) amp = raw_.size();
    if (out.size() + (amp - i) > limit) return false;
    out.append(raw_.substr(i, amp - i));
    if (amp == raw_.size()) break;
    // A reference is short; a '&' without one is kept as it is.
    const size_t near = raw_.substr(amp + 1, 12).find(';');
    const size_t semicolon = near == std::string_view::npos ? near : amp + 1 + near;
    const uint32_t c =
        semicolon == std::string_view::npos ? 0 : ReferencedCharacter(raw_.substr(amp + 1, semicolon - amp - 1));
    if (out.size() + 4 > limit) return false;
    if (c == 0) {
      out.push_back('&');
      i = amp + 1;
    } else {
      AppendCodePoint(out, c);
      i = semicolon + 1;
    }
  }
  return true;
}

}  // namespace tovira
