#pragma once
// The texts the core libraries make in English (the command-line tool shows them so), in the
// user's language where a window shows them.

#include <QString>

#include <string>

namespace tovira {

// `text` translated when it is one of the core's messages, or made from one of their templates
// ("The sound output failed: %1."), whose variable part is translated too where it is known;
// any other text comes back as it is.
QString CoreText(const std::string& text);
QString CoreText(const QString& text);

}  // namespace tovira
