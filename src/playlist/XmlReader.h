#pragma once
// A small pull reader for the XML of playlist files: elements, text, CDATA and the predefined and
// numeric character references. Declarations, comments, processing instructions and document
// types are skipped; entities a document type declares are never expanded. Every call moves on
// through the text, so a reader over any bytes ends, and it allocates nothing of its own.

#include <cstddef>
#include <string>
#include <string_view>

namespace tovira {

class XmlReader {
 public:
  enum class Token { kStart, kEnd, kText, kEndOfInput };
  explicit XmlReader(std::string_view text);

  Token Next();
  // kStart and kEnd: the element's name without its namespace prefix. An empty element
  // ("<a/>") gives kStart and then kEnd.
  std::string_view Name() const { return name_; }
  // kText: the text as it stands in the document; Decode makes the characters of it.
  std::string_view RawText() const { return raw_; }
  bool IsCData() const { return cdata_; }
  // Appends the characters of RawText() to `out`, stopping before `out` would pass `limit`
  // bytes; false when something was left out for the limit.
  bool AppendText(std::string& out, size_t limit) const;

 private:
  std::string_view text_;
  size_t pos_ = 0;
  std::string_view name_;
  std::string_view raw_;
  bool cdata_ = false;
  bool pendingEnd_ = false;  // after the start of an empty element
};

}  // namespace tovira
