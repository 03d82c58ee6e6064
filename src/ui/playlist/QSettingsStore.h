#pragma once
// The settings interface kept in Qt's per-user settings (organisation "Tovira"): a section is a
// settings group, a name a key in it.

#include <QString>

#include <memory>

#include "util/Settings.h"

class QSettings;

namespace tovira {

class QSettingsStore final : public Settings {
 public:
  // The application's own settings (QSettings() with the application's organisation and name).
  QSettingsStore();
  // A given settings file in INI format (tests).
  explicit QSettingsStore(const QString& iniFile);
  ~QSettingsStore() override;

  int32_t ReadInt(const std::string& section, const std::string& name, int32_t fallback) const override;
  std::string ReadString(const std::string& section, const std::string& name,
                         const std::string& fallback) const override;
  void WriteInt(const std::string& section, const std::string& name, int32_t value) override;
  void WriteString(const std::string& section, const std::string& name, const std::string& value) override;
  // Writes what is pending to the store.
  void Sync();
  QString FileName() const;

 private:
  std::unique_ptr<QSettings> settings_;
};

}  // namespace tovira
