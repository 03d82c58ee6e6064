#pragma once
// The program's texts in the user's language: our own translations, built into the program, and
// Qt's for its standard dialogs where Debian's Qt translations are installed.

#include <QLocale>

namespace tovira {

// Installs the translators for `locale` on the running application; true when ours was found
// (English, the language of the sources, needs none).
bool InstallTranslations(const QLocale& locale);

}  // namespace tovira
