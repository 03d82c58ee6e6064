#pragma once
// The settings interface kept in Qt's per-user settings (organisation "Tovira"): a section is a
// settings group, a name a key in it.
//
// The file is read once, when the store is made, and only when it is a regular file (or a link to
// one): a file that is not text, or that QSettings cannot parse, is renamed aside to
// "<name>.bak" (then ".bak.2", ...) and the store starts from the defaults; anything else (a FIFO,
// a device, a socket, a folder) is never opened, and the values live in memory only. What changed
// is written back by Sync and on destruction, again only to a regular or missing file.

#include <QString>

#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "util/Settings.h"

namespace tovira {

class QSettingsStore final : public Settings {
 public:
  // The application's own settings file (where QSettings() keeps the application's organisation
  // and name; QSettings::setPath is honoured). Only that one file is read: no fallback files.
  QSettingsStore();
  // A given settings file in INI format (tests).
  explicit QSettingsStore(const QString& iniFile);
  ~QSettingsStore() override;

  int32_t ReadInt(const std::string& section, const std::string& name, int32_t fallback) const override;
  std::string ReadString(const std::string& section, const std::string& name,
                         const std::string& fallback) const override;
  void WriteInt(const std::string& section, const std::string& name, int32_t value) override;
  void WriteString(const std::string& section, const std::string& name, const std::string& value) override;
  // Writes what changed to the file; nothing while the store is kept in memory only.
  void Sync();
  QString FileName() const { return file_; }
  // False when the values are not written anywhere (the file is not a regular one, could not be
  // opened, or could not be set aside).
  bool Kept() const;
  // What the user should be told once about how the settings were found; empty when all was well.
  QString Notice() const { return notice_; }
  // Where an unreadable file went, empty when none was set aside.
  QString SetAsideAs() const { return setAside_; }

 private:
  void Load();

  QString file_;
  QString notice_;
  QString setAside_;
  MapSettings values_;
  mutable std::mutex mutex_;  // guards the two below
  bool kept_ = true;
  std::set<std::pair<std::string, std::string>> changed_;
};

}  // namespace tovira
