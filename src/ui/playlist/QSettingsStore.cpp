#include "ui/playlist/QSettingsStore.h"

#include <QSettings>

namespace tovira {

namespace {
QString Key(const std::string& section, const std::string& name) {
  return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(name);
}
}  // namespace

QSettingsStore::QSettingsStore() : settings_(std::make_unique<QSettings>()) {}

QSettingsStore::QSettingsStore(const QString& iniFile)
    : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QSettingsStore::~QSettingsStore() { settings_->sync(); }

int32_t QSettingsStore::ReadInt(const std::string& section, const std::string& name, int32_t fallback) const {
  const QVariant v = settings_->value(Key(section, name));
  if (!v.isValid()) return fallback;
  // Stored as text by hand or by another version: anything but a whole number counts as missing.
  return ParseInt32(v.toString().toStdString()).value_or(fallback);
}

std::string QSettingsStore::ReadString(const std::string& section, const std::string& name,
                                       const std::string& fallback) const {
  const QVariant v = settings_->value(Key(section, name));
  return v.isValid() ? v.toString().toStdString() : fallback;
}

void QSettingsStore::WriteInt(const std::string& section, const std::string& name, int32_t value) {
  settings_->setValue(Key(section, name), value);
}

void QSettingsStore::WriteString(const std::string& section, const std::string& name, const std::string& value) {
  settings_->setValue(Key(section, name), QString::fromStdString(value));
}

void QSettingsStore::Sync() { settings_->sync(); }

QString QSettingsStore::FileName() const { return settings_->fileName(); }

}  // namespace tovira
