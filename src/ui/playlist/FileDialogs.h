#pragma once
// The open and save dialogs of the player and the playlist, behind a small interface so that
// tests can answer them.

#include <QString>
#include <QStringList>

class QWidget;

namespace tovira {

// Filters written as "label|patterns|label|patterns|...", patterns separated by ";".
inline constexpr char kAddFilesFilter[] = QT_TRANSLATE_NOOP(
    "tovira::FileDialogs",
    "All supported files|*.mp3;*.mp2;*.mp1;*.m3u;*.m3u8;*.pls;*.xspf|MPEG Audio Files (*.mp3,*.mp2,*.mp1)|*.mp3;*.mp2;*.mp1|"
    "Playlist (*.m3u,*.m3u8,*.pls,*.xspf)|*.m3u;*.m3u8;*.pls;*.xspf|All files(*.*)|*.*||");
inline constexpr char kLoadFilter[] = QT_TRANSLATE_NOOP("tovira::FileDialogs", "MPEG Audio Files (*.mp3,*.mp2,*.mp1)|*.mp3;*.mp2;*.mp1|All files(*.*)|*.*||");
// The first pattern of the filter chosen is the extension a name typed without one gets.
inline constexpr char kSaveFilter[] = QT_TRANSLATE_NOOP("tovira::FileDialogs", "M3U Playlist|*.m3u;*.m3u8|PLS Playlist|*.pls|XSPF Playlist|*.xspf||");

// The same filters as Qt name filters: "label (pattern pattern ...)", one per entry.
QStringList NameFiltersFromPairs(const QString& pairs);
// The extension of a Qt name filter's first pattern ("m3u" for "M3U Playlist (*.m3u *.m3u8)"),
// empty when it has none ("*.*", "*").
QString FirstSuffixOfNameFilter(const QString& filter);

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // Every chosen file (any number), empty when cancelled. Links are returned as they are.
  virtual QStringList OpenFiles(QWidget* parent, const QString& caption, const QString& filter) = 0;
  // The file to write, empty when cancelled; the dialog asks before overwriting, and a name
  // typed without extension gets the chosen filter's first extension, or `defaultSuffix`.
  virtual QString SaveFile(QWidget* parent, const QString& caption, const QString& filter,
                           const QString& defaultSuffix) = 0;
};

// The toolkit's dialogs.
class QtFileDialogs final : public FileDialogs {
 public:
  QStringList OpenFiles(QWidget* parent, const QString& caption, const QString& filter) override;
  QString SaveFile(QWidget* parent, const QString& caption, const QString& filter,
                   const QString& defaultSuffix) override;

 private:
  QString lastFolder_;
};

}  // namespace tovira
