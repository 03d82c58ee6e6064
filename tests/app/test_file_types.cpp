#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "QtTestApp.h"
#include "app/FileTypes.h"

namespace tovira {
namespace {

QString Read(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void Write(const QString& path, const QString& text) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(text.toUtf8());
}

// Expected texts worked out by hand from the desktop entry rules: quote an argument holding a
// reserved character, backslash " ` $ and \ inside the quotes, double %, then escape each
// backslash of the whole value once more.
TEST(DesktopEntry, ExecArgumentIsQuotedAndEscaped) {
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/bin/tovira", "/usr/bin/tovira"},
      {"/opt/My Apps/tovira", "\"/opt/My Apps/tovira\""},
      {"/opt/a\"b$c/tovira", "\"/opt/a\\\\\"b\\\\$c/tovira\""},
      {"/opt/back\\slash/tovira", "\"/opt/back\\\\\\\\slash/tovira\""},
      {"/opt/100%/tovira", "/opt/100%%/tovira"},
      {"/opt/it's (x)/t", "\"/opt/it's (x)/t\""},
      {"/opt/Müsik/tovira", "/opt/Müsik/tovira"}};
  for (const auto& [path, expected] : cases) EXPECT_EQ(DesktopExecArgument(QString::fromUtf8(path)), QString::fromUtf8(expected));
}

// desktop-file-validate accepts the entry for ordinary and awkward program paths alike.
TEST(DesktopEntry, PassesTheDesktopFileValidator) {
  const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
  if (validator.isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const char* program : {"/usr/bin/tovira", "/opt/My Apps/tovira", "/opt/a\"b$c`d/tovira", "/opt/back\\slash/100%/tovira"}) {
    const QString file = dir.filePath("io.github.tovira.tovira.desktop");
    Write(file, DesktopEntryText(QString::fromUtf8(program), "/usr/share/icons/hicolor/scalable/apps/tovira.svg"));
    QProcess p;
    p.start(validator, {file});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 0) << program << ": " << out.toStdString();
    EXPECT_FALSE(out.contains("error", Qt::CaseInsensitive)) << program << ": " << out.toStdString();
  }
}

// The shared MIME database on this machine gives our types to the extensions (.mp1 through our
// package's glob).
TEST(MimeTypes, AreTheSystemsNamesForTheExtensions) {
  test::QtApp();
  const QString globs = Read("/usr/share/mime/globs2");
  if (globs.isEmpty()) GTEST_SKIP() << "no shared MIME database";
  for (const auto& [glob, type] : {std::pair{"*.mp3", "audio/mpeg"}, {"*.mp2", "audio/mp2"}, {"*.m3u", "audio/x-mpegurl"}}) {
    EXPECT_TRUE(globs.contains(QString(":%1:%2").arg(type, glob))) << glob;
    EXPECT_TRUE(PlayerMimeTypes().contains(type)) << type;
  }
  EXPECT_TRUE(MimePackageText().contains("<mime-type type=\"audio/mpeg\">"));
  EXPECT_TRUE(MimePackageText().contains("<glob pattern=\"*.mp1\"/>"));
}

TEST(MimeApps, OurDefaultsAndEveryOtherLineKept) {
#define OURS "audio/mpeg=io.github.tovira.tovira.desktop;\naudio/mp2=io.github.tovira.tovira.desktop;\naudio/x-mpegurl=io.github.tovira.tovira.desktop;\n"
  const std::pair<const char*, const char*> cases[] = {
      {"", "[Default Applications]\n" OURS},
      {"[Added Associations]\nimage/png=viewer.desktop;\n",
       "[Added Associations]\nimage/png=viewer.desktop;\n\n[Default Applications]\n" OURS},
      // Ours replace other defaults in place; new ones follow the group's last entry.
      {"# mine\n[Default Applications]\ntext/plain=editor.desktop\naudio/mpeg = other.desktop;\n"
       "image/png=viewer.desktop;\n\n[Added Associations]\naudio/mpeg=other.desktop;\n",
       "# mine\n[Default Applications]\ntext/plain=editor.desktop\naudio/mpeg=io.github.tovira.tovira.desktop;\n"
       "image/png=viewer.desktop;\naudio/mp2=io.github.tovira.tovira.desktop;\naudio/x-mpegurl=io.github.tovira.tovira.desktop;\n\n"
       "[Added Associations]\naudio/mpeg=other.desktop;\n"},
      {"[Default Applications]\naudio/x-mpegurl=list.desktop",
       "[Default Applications]\naudio/x-mpegurl=io.github.tovira.tovira.desktop;\naudio/mpeg=io.github.tovira.tovira.desktop;\naudio/mp2=io.github.tovira.tovira.desktop;\n"},
      {"[Default Applications]\n#audio/mpeg=old.desktop;\n", "[Default Applications]\n#audio/mpeg=old.desktop;\n" OURS}};
#undef OURS
  for (const auto& [before, after] : cases)
    EXPECT_EQ(MimeAppsWithDefaults(before, PlayerMimeTypes(), "io.github.tovira.tovira.desktop"), QString::fromUtf8(after)) << before;
}

// Registration in temporary XDG folders: never the user's own.
class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    test::QtApp();
    ASSERT_TRUE(home_.isValid());
    saved_ = QProcessEnvironment::systemEnvironment();
    qputenv("HOME", QFile::encodeName(home_.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(DataHome()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(ConfigHome()));
    // The test must not reach the real folders.
    ASSERT_EQ(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), DataHome());
    ASSERT_EQ(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), ConfigHome());
  }
  void TearDown() override {
    for (const char* var : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
      if (saved_.contains(var)) qputenv(var, saved_.value(var).toLocal8Bit());
      else qunsetenv(var);
    }
  }
  QString DataHome() const { return home_.filePath("data"); }
  QString ConfigHome() const { return home_.filePath("config"); }
  QString DesktopFile() const { return DataHome() + "/applications/io.github.tovira.tovira.desktop"; }
  QString MimeAppsFile() const { return ConfigHome() + "/mimeapps.list"; }

  // What xdg-mime answers as the default for `type` with these folders.
  QString XdgDefault(const QString& type) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
      env.remove(var);
    env.insert("XDG_DATA_DIRS", home_.filePath("nothing"));
    env.insert("XDG_CONFIG_DIRS", home_.filePath("nothing"));
    p.setProcessEnvironment(env);
    p.start("xdg-mime", {"query", "default", type});
    if (!p.waitForFinished(30000)) return "timeout";
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
  }

  QTemporaryDir home_;
  QProcessEnvironment saved_;
};

TEST_F(Registration, WritesTheEntryAndTheDefaultsAndKeepsAnotherProgramsLines) {
  Write(MimeAppsFile(), "[Default Applications]\nimage/png=viewer.desktop;\naudio/mpeg=other-player.desktop;\n\n"
                        "[Added Associations]\nvideo/mp4=movie.desktop;\n");
  Write(DataHome() + "/applications/viewer.desktop", "[Desktop Entry]\nType=Application\nName=V\nExec=true\n");
  const QString program = home_.filePath("opt/Tovira Player/tovira");

  RegisterFileTypes(program);

  EXPECT_TRUE(Read(DesktopFile()).contains("Exec=\"" + program + "\" %F\n")) << Read(DesktopFile()).toStdString();
  const QString list = Read(MimeAppsFile());
  for (const char* kept : {"image/png=viewer.desktop;", "[Added Associations]", "video/mp4=movie.desktop;"})
    EXPECT_TRUE(list.contains(kept)) << kept << "\n" << list.toStdString();
  EXPECT_FALSE(list.contains("other-player")) << list.toStdString();
  // The .mp1 glob reached the user's MIME database.
  EXPECT_TRUE(Read(DataHome() + "/mime/globs2").contains(":audio/mpeg:*.mp1"));
  // The entry offers the player for its types: the desktop's own index says so.
  if (QProcess::execute("update-desktop-database", {DataHome() + "/applications"}) == 0) {
    for (const QString& type : PlayerMimeTypes())
      EXPECT_TRUE(Read(DataHome() + "/applications/mimeinfo.cache").contains(type + "=io.github.tovira.tovira.desktop;")) << type.toStdString();
  }

  if (QStandardPaths::findExecutable("xdg-mime").isEmpty()) GTEST_SKIP() << "xdg-mime is not installed";
  for (const QString& type : PlayerMimeTypes()) EXPECT_EQ(XdgDefault(type), "io.github.tovira.tovira.desktop") << type.toStdString();
  EXPECT_EQ(XdgDefault("image/png"), "viewer.desktop");
}

TEST_F(Registration, EveryStartPointsTheEntryAtTheProgramAgain) {
  RegisterFileTypes("/old/place/tovira");
  Write(MimeAppsFile(), Read(MimeAppsFile()).replace("audio/mp2=io.github.tovira.tovira.desktop;", "audio/mp2=someone.desktop;"));
  RegisterFileTypes("/new/place/tovira");
  EXPECT_TRUE(Read(DesktopFile()).contains("Exec=/new/place/tovira %F\n"));
  EXPECT_EQ(Read(MimeAppsFile()),
            "[Default Applications]\naudio/mpeg=io.github.tovira.tovira.desktop;\naudio/mp2=io.github.tovira.tovira.desktop;\naudio/x-mpegurl=io.github.tovira.tovira.desktop;\n");
}

TEST_F(Registration, TheEntryAnEarlierVersionWroteGoesButNotSomeoneElsesOfThatName) {
  const QString old = DataHome() + "/applications/" + kOldDesktopFileName;
  const QString program = home_.filePath("bin/tovira");
  // What an earlier version registered: the same entry under the old name.
  Write(old, DesktopEntryText(program, ProgramIcon(home_.filePath("bin"))));
  RegisterFileTypes(program);
  EXPECT_FALSE(QFileInfo::exists(old));
  EXPECT_TRUE(QFileInfo(DesktopFile()).isFile());

  Write(old, "[Desktop Entry]\nType=Application\nName=Mine\nExec=my-own-tovira %F\n");
  RegisterFileTypes(program);
  EXPECT_EQ(Read(old), "[Desktop Entry]\nType=Application\nName=Mine\nExec=my-own-tovira %F\n");
}

TEST_F(Registration, FailuresAreIgnored) {
  // The configuration folder is a plain file, so the list cannot be written; the entry still is.
  Write(ConfigHome(), "not a folder");
  RegisterFileTypes("/usr/bin/tovira");
  EXPECT_TRUE(QFileInfo(DesktopFile()).isFile());
  EXPECT_EQ(Read(ConfigHome()), "not a folder");
  if (::geteuid() == 0) return;  // root reads every file
  // A list it cannot read is left alone.
  QFile::remove(ConfigHome());
  Write(MimeAppsFile(), "[Default Applications]\ntext/plain=editor.desktop\n");
  ::chmod(QFile::encodeName(MimeAppsFile()).constData(), 0200);
  RegisterFileTypes("/usr/bin/tovira");
  ::chmod(QFile::encodeName(MimeAppsFile()).constData(), 0600);
  EXPECT_EQ(Read(MimeAppsFile()), "[Default Applications]\ntext/plain=editor.desktop\n");
}

TEST(ProgramIcon, FoundBesideTheProgramOrUnderItsPrefix) {
  test::QtApp();
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  QDir().mkpath(root.filePath("usr/bin"));
  EXPECT_EQ(ProgramIcon(root.filePath("usr/bin")), "tovira");
  Write(root.filePath("usr/share/icons/hicolor/scalable/apps/tovira.svg"), "<svg/>");
  EXPECT_EQ(ProgramIcon(root.filePath("usr/bin")), root.filePath("usr/share/icons/hicolor/scalable/apps/tovira.svg"));
  Write(root.filePath("build/icons/tovira.svg"), "<svg/>");
  EXPECT_EQ(ProgramIcon(root.filePath("build")), root.filePath("build/icons/tovira.svg"));
}

}  // namespace
}  // namespace tovira
