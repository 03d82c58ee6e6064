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
struct ExecCase {
  const char* name;
  const char* path;
  const char* expected;
};

class ExecArgument : public ::testing::TestWithParam<ExecCase> {};

TEST_P(ExecArgument, IsQuotedAndEscapedForTheExecKey) {
  EXPECT_EQ(DesktopExecArgument(QString::fromUtf8(GetParam().path)), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExecArgument,
    ::testing::Values(ExecCase{"Plain", "/usr/bin/tovira", "/usr/bin/tovira"},
                      ExecCase{"Blank", "/opt/My Apps/tovira", "\"/opt/My Apps/tovira\""},
                      ExecCase{"QuoteAndDollar", "/opt/a\"b$c/tovira", "\"/opt/a\\\\\"b\\\\$c/tovira\""},
                      ExecCase{"Backslash", "/opt/back\\slash/tovira", "\"/opt/back\\\\\\\\slash/tovira\""},
                      ExecCase{"Percent", "/opt/100%/tovira", "/opt/100%%/tovira"},
                      ExecCase{"ApostropheAndParens", "/opt/it's (x)/t", "\"/opt/it's (x)/t\""},
                      ExecCase{"NonAscii", "/opt/Müsik/tovira", "/opt/Müsik/tovira"}),
    [](const auto& info) { return std::string(info.param.name); });

// desktop-file-validate accepts the entry for ordinary and awkward program paths alike.
class DesktopEntry : public ::testing::TestWithParam<const char*> {};

TEST_P(DesktopEntry, PassesTheDesktopFileValidator) {
  const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
  if (validator.isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = dir.filePath("tovira.desktop");
  Write(file, DesktopEntryText(QString::fromUtf8(GetParam()), "/usr/share/icons/hicolor/scalable/apps/tovira.svg"));
  QProcess p;
  p.start(validator, {file});
  ASSERT_TRUE(p.waitForFinished(30000));
  const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
  EXPECT_EQ(p.exitCode(), 0) << out.toStdString();
  EXPECT_FALSE(out.contains("error", Qt::CaseInsensitive)) << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Paths, DesktopEntry,
                         ::testing::Values("/usr/bin/tovira", "/opt/My Apps/tovira", "/opt/a\"b$c`d/tovira",
                                           "/opt/back\\slash/100%/tovira"));

TEST(DesktopEntry, NamesTheProgramItsTypesAndOneFile) {
  const QString text = DesktopEntryText("/opt/t/tovira", "tovira");
  const QStringList lines = text.split('\n');
  EXPECT_TRUE(lines.contains("Name=Tovira"));
  EXPECT_TRUE(lines.contains("Comment=Tovira Audio Player"));
  EXPECT_TRUE(lines.contains("Exec=/opt/t/tovira %f"));
  EXPECT_TRUE(lines.contains("Icon=tovira"));
  EXPECT_TRUE(lines.contains("MimeType=audio/mpeg;audio/mp2;audio/x-mpegurl;"));
}

// The shared MIME database on this machine gives our types to the four extensions (.mp1 through
// our package's glob).
TEST(MimeTypes, AreTheSystemsNamesForTheExtensions) {
  test::QtApp();
  const QString globs = Read("/usr/share/mime/globs2");
  if (globs.isEmpty()) GTEST_SKIP() << "no shared MIME database";
  const std::pair<const char*, const char*> expected[] = {
      {"*.mp3", "audio/mpeg"}, {"*.mp2", "audio/mp2"}, {"*.m3u", "audio/x-mpegurl"}};
  for (const auto& [glob, type] : expected) {
    EXPECT_TRUE(globs.contains(QString(":%1:%2").arg(type, glob))) << glob;
    EXPECT_TRUE(PlayerMimeTypes().contains(type)) << type;
  }
  EXPECT_TRUE(MimePackageText().contains("<mime-type type=\"audio/mpeg\">"));
  EXPECT_TRUE(MimePackageText().contains("<glob pattern=\"*.mp1\"/>"));
}

struct MimeAppsCase {
  const char* name;
  const char* before;
  const char* after;
};

class MimeApps : public ::testing::TestWithParam<MimeAppsCase> {};

TEST_P(MimeApps, OurDefaultsAndEveryOtherLineKept) {
  const QStringList types = {"audio/mpeg", "audio/mp2", "audio/x-mpegurl"};
  EXPECT_EQ(MimeAppsWithDefaults(QString::fromUtf8(GetParam().before), types, "tovira.desktop"),
            QString::fromUtf8(GetParam().after));
}

INSTANTIATE_TEST_SUITE_P(
    Files, MimeApps,
    ::testing::Values(
        MimeAppsCase{"Empty", "",
                     "[Default Applications]\n"
                     "audio/mpeg=tovira.desktop;\naudio/mp2=tovira.desktop;\naudio/x-mpegurl=tovira.desktop;\n"},
        MimeAppsCase{"NoGroupYet", "[Added Associations]\nimage/png=viewer.desktop;\n",
                     "[Added Associations]\nimage/png=viewer.desktop;\n\n[Default Applications]\n"
                     "audio/mpeg=tovira.desktop;\naudio/mp2=tovira.desktop;\naudio/x-mpegurl=tovira.desktop;\n"},
        MimeAppsCase{"OthersReplacedAndKept",
                     "# mine\n[Default Applications]\ntext/plain=editor.desktop\naudio/mpeg = other.desktop;\n"
                     "image/png=viewer.desktop;\n\n[Added Associations]\naudio/mpeg=other.desktop;\n",
                     "# mine\n[Default Applications]\ntext/plain=editor.desktop\naudio/mpeg=tovira.desktop;\n"
                     "image/png=viewer.desktop;\naudio/mp2=tovira.desktop;\naudio/x-mpegurl=tovira.desktop;\n\n"
                     "[Added Associations]\naudio/mpeg=other.desktop;\n"},
        MimeAppsCase{"NoFinalNewline", "[Default Applications]\naudio/x-mpegurl=list.desktop",
                     "[Default Applications]\naudio/x-mpegurl=tovira.desktop;\n"
                     "audio/mpeg=tovira.desktop;\naudio/mp2=tovira.desktop;\n"},
        MimeAppsCase{"AlreadyOurs",
                     "[Default Applications]\naudio/mpeg=tovira.desktop;\naudio/mp2=tovira.desktop;\n"
                     "audio/x-mpegurl=tovira.desktop;\n",
                     "[Default Applications]\naudio/mpeg=tovira.desktop;\naudio/mp2=tovira.desktop;\n"
                     "audio/x-mpegurl=tovira.desktop;\n"},
        MimeAppsCase{"CommentedKeyLeftAlone", "[Default Applications]\n#audio/mpeg=old.desktop;\n",
                     "[Default Applications]\n#audio/mpeg=old.desktop;\naudio/mpeg=tovira.desktop;\n"
                     "audio/mp2=tovira.desktop;\naudio/x-mpegurl=tovira.desktop;\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Registration in temporary XDG folders: never the user's own.
class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    test::QtApp();
    ASSERT_TRUE(home_.isValid());
    saved_ = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) qunsetenv(var);
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
  QString DesktopFile() const { return DataHome() + "/applications/tovira.desktop"; }
  QString MimeAppsFile() const { return ConfigHome() + "/mimeapps.list"; }

  // What xdg-mime answers as the default for `type` with these folders.
  QString XdgDefault(const QString& type) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                            "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"})
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
  const QString other =
      "[Default Applications]\nimage/png=viewer.desktop;\naudio/mpeg=other-player.desktop;\n\n"
      "[Added Associations]\nvideo/mp4=movie.desktop;\n";
  Write(MimeAppsFile(), other);
  Write(DataHome() + "/applications/viewer.desktop", "[Desktop Entry]\nType=Application\nName=V\nExec=true\n");
  const QString program = home_.filePath("opt/Tovira Player/tovira");

  RegisterFileTypes(program);

  const QString entry = Read(DesktopFile());
  EXPECT_TRUE(entry.contains("Exec=\"" + program + "\" %f\n")) << entry.toStdString();
  const QString list = Read(MimeAppsFile());
  for (const char* kept : {"image/png=viewer.desktop;", "[Added Associations]", "video/mp4=movie.desktop;"})
    EXPECT_TRUE(list.contains(kept)) << kept << "\n" << list.toStdString();
  EXPECT_FALSE(list.contains("other-player")) << list.toStdString();

  if (QStandardPaths::findExecutable("xdg-mime").isEmpty()) GTEST_SKIP() << "xdg-mime is not installed";
  EXPECT_EQ(XdgDefault("audio/mpeg"), "tovira.desktop");
  EXPECT_EQ(XdgDefault("audio/mp2"), "tovira.desktop");
  EXPECT_EQ(XdgDefault("audio/x-mpegurl"), "tovira.desktop");
  EXPECT_EQ(XdgDefault("image/png"), "viewer.desktop");
  // The .mp1 glob reached the user's MIME database.
  EXPECT_TRUE(Read(DataHome() + "/mime/globs2").contains(":audio/mpeg:*.mp1")) << Read(DataHome() + "/mime/globs2").toStdString();
}

TEST_F(Registration, EveryStartPointsTheEntryAtTheProgramAgain) {
  RegisterFileTypes("/old/place/tovira");
  Write(MimeAppsFile(), Read(MimeAppsFile()).replace("audio/mp2=tovira.desktop;", "audio/mp2=someone.desktop;"));
  RegisterFileTypes("/new/place/tovira");
  EXPECT_TRUE(Read(DesktopFile()).contains("Exec=/new/place/tovira %f\n"));
  EXPECT_EQ(Read(MimeAppsFile()).count("tovira.desktop"), 3);
  EXPECT_FALSE(Read(MimeAppsFile()).contains("someone"));
}

TEST_F(Registration, FailuresAreIgnored) {
  // The configuration folder is a plain file, so the list cannot be written; the entry still is.
  Write(ConfigHome(), "not a folder");
  RegisterFileTypes("/usr/bin/tovira");
  EXPECT_TRUE(QFileInfo(DesktopFile()).isFile());
  EXPECT_EQ(Read(ConfigHome()), "not a folder");
}

TEST_F(Registration, AnUnreadableListIsLeftAlone) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
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
