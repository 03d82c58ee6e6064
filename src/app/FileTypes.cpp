#include "app/FileTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringView>
#include <optional>

#include "util/AtomicFile.h"

namespace tovira {
namespace {

constexpr char kDefaultGroup[] = "[Default Applications]";

QString ReadText(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll());
}

// The file's text, empty when it does not exist; nullopt when it exists but cannot be read.
std::optional<QString> ReadExisting(const QString& path) {
  if (!QFileInfo::exists(path)) return QString();
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  return QString::fromUtf8(f.readAll());
}

// Writes `text` unless the file already holds it; false on failure.
bool WriteIfChanged(const QString& path, const QString& text) {
  if (QFileInfo::exists(path) && ReadText(path) == text) return true;
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  const QByteArray bytes = text.toUtf8();
  std::error_code ec;
  return WriteFileAtomically(QFile::encodeName(path).toStdString(),
                             std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), &ec);
}

// A desktop entry's string values escape backslashes and control characters.
QString EscapeString(const QString& value) {
  QString out;
  for (const QChar c : value) {
    if (c == QLatin1Char('\\')) out += QStringLiteral("\\\\");
    else if (c == QLatin1Char('\n')) out += QStringLiteral("\\n");
    else if (c == QLatin1Char('\t')) out += QStringLiteral("\\t");
    else if (c == QLatin1Char('\r')) out += QStringLiteral("\\r");
    else out += c;
  }
  return out;
}

bool IsGroupHeader(QStringView line) {
  const QStringView t = line.trimmed();
  return t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'));
}

QString KeyOf(QStringView line) {
  const qsizetype eq = line.indexOf(QLatin1Char('='));
  if (eq < 0) return {};
  return line.left(eq).trimmed().toString();
}

}  // namespace

QStringList PlayerMimeTypes() {
  return {QStringLiteral("audio/mpeg"), QStringLiteral("audio/mp2"), QStringLiteral("audio/x-mpegurl")};
}

QString DesktopExecArgument(const QString& path) {
  // Characters that make an Exec argument need quotes; inside them four more need a backslash.
  static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
  bool needsQuotes = path.isEmpty();
  for (const QChar c : path) needsQuotes = needsQuotes || reserved.contains(c);
  QString arg;
  for (const QChar c : path) {
    if (c == QLatin1Char('%')) {
      arg += QStringLiteral("%%");  // a lone % would be read as a field code
    } else if (needsQuotes && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                               c == QLatin1Char('\\'))) {
      arg += QLatin1Char('\\');
      arg += c;
    } else {
      arg += c;
    }
  }
  if (needsQuotes) arg = QLatin1Char('"') + arg + QLatin1Char('"');
  // The Exec value is a string too, so every backslash is escaped once more.
  return EscapeString(arg);
}

QString DesktopEntryText(const QString& programPath, const QString& icon) {
  return QStringLiteral(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Version=1.4\n"
             "Name=Tovira\n"
             "GenericName=Audio Player\n"
             "Comment=Tovira Audio Player\n"
             "Exec=%1 %F\n"
             "TryExec=%2\n"
             "Icon=%3\n"
             "Terminal=false\n"
             "Categories=AudioVideo;Audio;Player;\n"
             "Keywords=MP3;MP2;MP1;M3U;MPEG;playlist;music;\n"
             "MimeType=%4;\n")
      .arg(DesktopExecArgument(programPath), EscapeString(programPath), EscapeString(icon),
           PlayerMimeTypes().join(QLatin1Char(';')));
}

QString MimeAppsWithDefaults(const QString& existing, const QStringList& mimeTypes, const QString& desktopId) {
  QStringList lines = existing.split(QLatin1Char('\n'));
  const bool endsWithNewline = existing.isEmpty() || existing.endsWith(QLatin1Char('\n'));
  if (endsWithNewline) lines.removeLast();

  // Find the first [Default Applications] group and where it ends.
  qsizetype begin = -1, end = lines.size();
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (!IsGroupHeader(lines[i])) continue;
    if (begin < 0 && lines[i].trimmed() == QLatin1String(kDefaultGroup)) {
      begin = i;
    } else if (begin >= 0) {
      end = i;
      break;
    }
  }
  if (begin < 0) {
    if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines << QString();
    lines << QString::fromLatin1(kDefaultGroup);
    begin = lines.size() - 1;
    end = lines.size();
  }

  QStringList missing = mimeTypes;
  for (qsizetype i = begin + 1; i < end; ++i) {
    const QString key = KeyOf(lines[i]);
    if (!key.isEmpty() && mimeTypes.contains(key) && !lines[i].trimmed().startsWith(QLatin1Char('#'))) {
      lines[i] = key + QLatin1Char('=') + desktopId + QLatin1Char(';');
      missing.removeAll(key);
    }
  }
  // New keys go after the group's last entry, before any blank lines that part it from the next.
  qsizetype insertAt = end;
  while (insertAt > begin + 1 && lines[insertAt - 1].trimmed().isEmpty()) --insertAt;
  for (const QString& type : missing) lines.insert(insertAt++, type + QLatin1Char('=') + desktopId + QLatin1Char(';'));

  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString MimePackageText() {
  return QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
      "  <mime-type type=\"audio/mpeg\">\n"
      "    <glob pattern=\"*.mp1\"/>\n"
      "  </mime-type>\n"
      "</mime-info>\n");
}

QString ProgramIcon(const QString& programFolder) {
  const QDir dir(programFolder);
  for (const QString& candidate : {QStringLiteral("../share/icons/hicolor/scalable/apps/tovira.svg"),
                                   QStringLiteral("icons/tovira.svg")}) {
    const QFileInfo icon(dir.filePath(candidate));
    if (icon.isFile()) return QDir::cleanPath(icon.absoluteFilePath());
  }
  return QStringLiteral("tovira");
}

void RegisterFileTypes(const QString& programPath) {
  const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (dataHome.isEmpty() || configHome.isEmpty() || programPath.isEmpty()) return;

  const QString program = QFileInfo(programPath).absoluteFilePath();
  const QString entry = DesktopEntryText(program, ProgramIcon(QFileInfo(program).absolutePath()));
  const QString desktopId = QString::fromLatin1(kDesktopFileName);
  const QDir applications(QDir(dataHome).filePath(QStringLiteral("applications")));
  WriteIfChanged(applications.filePath(desktopId), entry);
  // The entry an earlier version wrote goes, so that menus do not list the player twice; only
  // when it is exactly what we would write, never someone else's file of that name.
  const QString old = applications.filePath(QString::fromLatin1(kOldDesktopFileName));
  if (QFileInfo(old).isFile() && ReadText(old) == entry) QFile::remove(old);

  const QString mimeApps = QDir(configHome).filePath(QStringLiteral("mimeapps.list"));
  // A list we cannot read is left alone rather than replaced by ours.
  if (const std::optional<QString> before = ReadExisting(mimeApps)) {
    WriteIfChanged(mimeApps, MimeAppsWithDefaults(*before, PlayerMimeTypes(), desktopId));
  }

  // The .mp1 glob only counts once the user's MIME database is rebuilt; that is done when the
  // package is new or changed (normally the first start only), and only if the tool is there.
  const QString mimeFolder = QDir(dataHome).filePath(QStringLiteral("mime"));
  const QString package = QDir(mimeFolder).filePath(QStringLiteral("packages/tovira.xml"));
  if (ReadText(package) != MimePackageText() && WriteIfChanged(package, MimePackageText())) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    if (!tool.isEmpty()) {
      QProcess update;
      update.setProcessChannelMode(QProcess::ForwardedErrorChannel);
      update.setStandardOutputFile(QProcess::nullDevice());
      update.start(tool, {mimeFolder});
      if (!update.waitForFinished(10000)) {
        update.kill();
        update.waitForFinished(1000);
      }
    }
  }
}

}  // namespace tovira
