#include "ui/playlist/QSettingsStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QStringDecoder>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "playlist/PlaylistFiles.h"

namespace tovira {

namespace {

constexpr size_t kMaxSettingsBytes = size_t{4} << 20;

QString Key(const std::string& section, const std::string& name) {
  return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(name);
}

// QSettings knows where the user's file lives (QSettings::setPath included), but reads every file
// it would fall back on as soon as it is made. Asked for an organisation that has no files, it
// reads none; its answer then only needs the real organisation put in.
QString UserSettingsFile() {
  const QString probeOrg = QStringLiteral(".tovira-settings-location");
  const QString org = QCoreApplication::organizationName();
  const QString app = QCoreApplication::applicationName();
  const QSettings probe(QSettings::NativeFormat, QSettings::UserScope, probeOrg, app);
  QString path = probe.fileName();
  const QString marker = QLatin1Char('/') + probeOrg + QLatin1Char('/');
  const qsizetype at = path.lastIndexOf(marker);
  if (at < 0) return path;
  const QString folder = org.isEmpty() ? QStringLiteral("/") : QLatin1Char('/') + org + QLatin1Char('/');
  return path.replace(at, marker.size(), folder);
}

QString NotRegularNotice() {
  return QCoreApplication::translate("tovira", "The settings file is not a regular file; settings will not be kept.");
}

QString NotOpenedNotice() {
  return QCoreApplication::translate("tovira", "The settings file could not be opened; settings will not be kept.");
}

enum class FileKind { Missing, Regular, NotRegular, Unreachable };

FileKind KindOf(const QString& file, struct stat* st) {
  const QByteArray native = QFile::encodeName(file);
  if (::stat(native.constData(), st) == 0) return S_ISREG(st->st_mode) ? FileKind::Regular : FileKind::NotRegular;
  return errno == ENOENT ? FileKind::Missing : FileKind::Unreachable;
}

// Text QSettings wrote: UTF-8 without NUL bytes.
bool LooksLikeText(const std::string& bytes) {
  if (bytes.find('\0') != std::string::npos) return false;
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  [[maybe_unused]] const QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  return !utf8.hasError();
}

// Renames `file` to the first of "<file>.bak", "<file>.bak.2", ... that does not exist; an
// existing one is never replaced. The new name, or nullopt when the rename failed.
std::optional<QString> SetAside(const QString& file) {
  const QByteArray from = QFile::encodeName(file);
  for (int i = 1; i < 1000; ++i) {
    const QString aside = file + (i == 1 ? QStringLiteral(".bak") : QStringLiteral(".bak.%1").arg(i));
    const QByteArray to = QFile::encodeName(aside);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return aside;
    if (errno == EEXIST) continue;
    if (errno != EINVAL && errno != ENOSYS) return std::nullopt;
    // A file system without the no-replace rename: a hard link cannot replace either.
    if (::link(from.constData(), to.constData()) == 0) {
      ::unlink(from.constData());
      return aside;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

QSettingsStore::QSettingsStore() : file_(UserSettingsFile()) { Load(); }

QSettingsStore::QSettingsStore(const QString& iniFile) : file_(iniFile) { Load(); }

QSettingsStore::~QSettingsStore() { Sync(); }

void QSettingsStore::Load() {
  struct stat st {};
  switch (KindOf(file_, &st)) {
    case FileKind::Missing:
      return;
    case FileKind::NotRegular:
      kept_ = false;
      notice_ = NotRegularNotice();
      return;
    case FileKind::Unreachable:
      kept_ = false;
      notice_ = NotOpenedNotice();
      return;
    case FileKind::Regular:
      break;
  }
  bool readable = false;
  // A larger file is not one the player wrote.
  if (static_cast<uint64_t>(st.st_size) <= kMaxSettingsBytes) {
    // The guarded reader never waits on a FIFO swapped in since the look above.
    const auto bytes = ReadTextFile(QFile::encodeName(file_).toStdString(), kMaxSettingsBytes);
    if (!bytes) {
      kept_ = false;
      notice_ = KindOf(file_, &st) == FileKind::Regular ? NotOpenedNotice() : NotRegularNotice();
      return;
    }
    readable = LooksLikeText(*bytes);
  }
  if (readable) {
    const QSettings file(file_, QSettings::IniFormat);
    readable = file.status() != QSettings::FormatError;
    for (const QString& key : readable ? file.allKeys() : QStringList()) {
      const qsizetype slash = key.indexOf(QLatin1Char('/'));
      const std::string section = slash < 0 ? std::string() : key.left(slash).toStdString();
      const std::string name = (slash < 0 ? key : key.mid(slash + 1)).toStdString();
      values_.WriteString(section, name, file.value(key).toString().toStdString());
    }
  }
  if (readable) return;
  if (const auto aside = SetAside(file_)) {
    setAside_ = *aside;
    const QString shortName = setAside_.mid(setAside_.lastIndexOf(QLatin1Char('/')) + 1);
    notice_ = QCoreApplication::translate("tovira", "The settings could not be read; they were set aside as %1.")
                  .arg(shortName);
  } else {
    kept_ = false;
    notice_ = QCoreApplication::translate("tovira", "The settings could not be read; settings will not be kept.");
  }
}

bool QSettingsStore::Kept() const {
  std::lock_guard lock(mutex_);
  return kept_;
}

int32_t QSettingsStore::ReadInt(const std::string& section, const std::string& name, int32_t fallback) const {
  // Stored as text by hand or by another version: anything but a whole number counts as missing.
  return values_.ReadInt(section, name, fallback);
}

std::string QSettingsStore::ReadString(const std::string& section, const std::string& name,
                                       const std::string& fallback) const {
  return values_.ReadString(section, name, fallback);
}

void QSettingsStore::WriteInt(const std::string& section, const std::string& name, int32_t value) {
  WriteString(section, name, std::to_string(value));
}

void QSettingsStore::WriteString(const std::string& section, const std::string& name, const std::string& value) {
  values_.WriteString(section, name, value);
  std::lock_guard lock(mutex_);
  changed_.insert({section, name});
}

void QSettingsStore::Sync() {
  std::lock_guard lock(mutex_);
  if (!kept_ || changed_.empty()) return;
  // The file may have been replaced while the player ran: nothing is written through a FIFO or a
  // device (QSettings would read it first, and its atomic save would replace the node).
  struct stat st {};
  const FileKind kind = KindOf(file_, &st);
  if (kind != FileKind::Missing && kind != FileKind::Regular) {
    kept_ = false;
    return;
  }
  QSettings file(file_, QSettings::IniFormat);
  for (const auto& [section, name] : changed_) {
    file.setValue(Key(section, name), QString::fromStdString(values_.ReadString(section, name, std::string())));
  }
  file.sync();
  if (file.status() == QSettings::NoError) changed_.clear();
}

}  // namespace tovira
