#include "session/CoreTexts.h"

#include <QCoreApplication>

namespace tovira {

namespace {

constexpr char kContext[] = "tovira::CoreText";

// Whole messages, and the reasons the templates below and the windows' own texts put in.
constexpr const char* kWhole[] = {
    QT_TRANSLATE_NOOP("tovira::CoreText", "There was not enough memory to go on playing."),
    QT_TRANSLATE_NOOP("tovira::CoreText", "Playback failed for an unknown reason."),
    QT_TRANSLATE_NOOP("tovira::CoreText", "it is a directory"),
    QT_TRANSLATE_NOOP("tovira::CoreText", "it is a pipe (FIFO), not a file"),
    QT_TRANSLATE_NOOP("tovira::CoreText", "it is a socket, not a file"),
    QT_TRANSLATE_NOOP("tovira::CoreText", "it is a device, not a file"),
    QT_TRANSLATE_NOOP("tovira::CoreText", "the disk is full"),
    QT_TRANSLATE_NOOP("tovira::CoreText", "the folder is read-only"),
    QT_TRANSLATE_NOOP("tovira::CoreText", "permission denied"),
};

// Messages with one variable part, written where %1 stands.
constexpr const char* kTemplates[] = {
    QT_TRANSLATE_NOOP("tovira::CoreText", "The sound output failed: %1."),
    QT_TRANSLATE_NOOP("tovira::CoreText", "The file could not be read or decoded any further: %1."),
    QT_TRANSLATE_NOOP("tovira::CoreText", "The system refused a resource playback needs: %1."),
    QT_TRANSLATE_NOOP("tovira::CoreText", "Playback failed: %1."),
    QT_TRANSLATE_NOOP("tovira::CoreText", "No sound device could be opened (%1); playing without sound."),
};

QString Whole(const QString& text) {
  for (const char* known : kWhole) {
    if (text == QLatin1String(known)) return QCoreApplication::translate(kContext, known);
  }
  return text;
}

}  // namespace

QString CoreText(const QString& text) {
  for (const char* known : kWhole) {
    if (text == QLatin1String(known)) return QCoreApplication::translate(kContext, known);
  }
  // A template's detail is put in as it is, so a "%1" in a file's name is never filled again.
  for (const char* pattern : kTemplates) {
    const QLatin1String all(pattern);
    const qsizetype at = all.indexOf(QLatin1String("%1"));
    const QLatin1String before = all.left(at), after = all.sliced(at + 2);
    if (text.size() >= before.size() + after.size() && text.startsWith(before) && text.endsWith(after)) {
      const QString detail = text.sliced(before.size(), text.size() - before.size() - after.size());
      return QCoreApplication::translate(kContext, pattern).arg(Whole(detail));
    }
  }
  return text;
}

QString CoreText(const std::string& text) { return CoreText(QString::fromStdString(text)); }

}  // namespace tovira
