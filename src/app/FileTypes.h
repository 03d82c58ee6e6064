#pragma once
// Offers the player to the desktop as the program for .mp3, .mp2, .mp1 and .m3u files: a desktop
// entry in the user's applications folder, the default for those types in the user's
// mimeapps.list, and a glob for .mp1 (which the shared MIME database leaves out).

#include <QString>
#include <QStringList>

namespace tovira {

// The desktop entry's id, which software centres match with the installed metainfo file.
inline constexpr char kDesktopFileName[] = "io.github.tovira.tovira.desktop";
// The id earlier versions registered under.
inline constexpr char kOldDesktopFileName[] = "tovira.desktop";

// The media types the player opens: MPEG audio (.mp3, and .mp1 by our glob), MPEG Layer II
// audio (.mp2), and M3U playlists.
QStringList PlayerMimeTypes();

// Registers the program at `programPath` for its file types in the user's XDG folders
// ($XDG_DATA_HOME, $XDG_CONFIG_HOME). Every start does it again, so the entry follows the program
// when it moves. Failures are ignored: the player starts whatever happened.
void RegisterFileTypes(const QString& programPath);

// The pieces, for tests and for the installed desktop file.

// `path` as one argument of a desktop entry's Exec key (quoted and escaped when it needs it).
QString DesktopExecArgument(const QString& path);

// The desktop entry that starts `programPath` with one file, showing `icon` (a theme name or an
// absolute path).
QString DesktopEntryText(const QString& programPath, const QString& icon);

// `existing` mimeapps.list text with `desktopId` as the default application of `mimeTypes`;
// every other line stays as it was.
QString MimeAppsWithDefaults(const QString& existing, const QStringList& mimeTypes, const QString& desktopId);

// A shared-MIME-info package that adds the *.mp1 glob to audio/mpeg.
QString MimePackageText();

// The icon named in the desktop entry for a program in `programFolder`: our SVG installed under
// the prefix or copied beside the program in the build tree, else the theme name "tovira".
QString ProgramIcon(const QString& programFolder);

}  // namespace tovira
