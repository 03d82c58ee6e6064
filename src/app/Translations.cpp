#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tovira {

bool InstallTranslations(const QLocale& locale) {
  auto* app = QCoreApplication::instance();
  if (app == nullptr) return false;
  // Parented to the application: they live as long as it does.
  auto* qt = new QTranslator(app);
  if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(qt);
  } else {
    delete qt;
  }
  auto* ours = new QTranslator(app);
  if (!ours->load(locale, QStringLiteral("tovira"), QStringLiteral("_"), QStringLiteral(":/i18n"))) {
    delete ours;
    return false;
  }
  QCoreApplication::installTranslator(ours);
  return true;
}

}  // namespace tovira
