// The real player program on a display of its own (Xvfb) and a bus of its own: media-key
// commands and properties over MPRIS, and later starts handing their files over.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <random>

#include "PrivateBus.h"

namespace tovira {
namespace {

using test::ProcessEventsUntil;

// A tagged MPEG audio file of `seconds` of tone, made with sox and lame.
bool MakeTaggedFile(const QString& path, const QString& title, double seconds) {
  const QString wav = path + ".wav";
  if (QProcess::execute("sox", {"-n", "-r", "44100", "-c", "2", wav, "synth", QString::number(seconds), "sine", "440"}) != 0)
    return false;
  const int rc = QProcess::execute("lame", {"--quiet", "--tt", title, "--ta", "Test Artist", "--tl", "Test Album", wav, path});
  QFile::remove(wav);
  return rc == 0;
}

class PlayerOnDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    test::QtApp();
    for (const char* tool : {"Xvfb", "sox", "lame"})
      if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << tool << " is not installed";
    if (!bus_.IsUp()) GTEST_SKIP() << "no dbus-daemon";
    ASSERT_TRUE(home_.isValid());
    ASSERT_TRUE(MakeTaggedFile(home_.filePath("alpha.mp3"), "Alpha Title", 40));
    ASSERT_TRUE(MakeTaggedFile(home_.filePath("beta.mp3"), "Beta Title", 40));

    // A display of our own, at a random number: given one, Xvfb takes its lock before any socket
    // and leaves at once when another server holds it (left to choose, two servers starting
    // together can take each other's socket). It tells the number once it accepts clients, and it
    // never resets (by default it does when its last client leaves, turning away one connecting
    // just then).
    std::random_device seed;
    std::mt19937 pick(seed());
    for (int attempt = 0; attempt < 8 && display_.isEmpty(); ++attempt) {
      const QString number = QString::number(200 + pick() % 600);
      xvfb_.start("Xvfb", {":" + number, "-displayfd", "1", "-noreset", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
      QByteArray told;
      ProcessEventsUntil([&] {
        xvfb_.waitForReadyRead(10);
        told += xvfb_.readAllStandardOutput();
        return told.contains('\n') || xvfb_.state() == QProcess::NotRunning;
      }, 20000);
      if (told.contains('\n') && xvfb_.state() == QProcess::Running) {
        display_ = ":" + QString::fromLatin1(told.trimmed());
      } else {
        xvfb_.kill();
        xvfb_.waitForFinished(5000);
      }
    }
    ASSERT_FALSE(display_.isEmpty()) << "Xvfb did not start";
    ASSERT_EQ(xvfb_.state(), QProcess::Running);

    QDir(home_.path()).mkpath("run");
    QFile::setPermissions(home_.filePath("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env_ = QProcessEnvironment::systemEnvironment();
    const std::pair<const char*, QString> vars[] = {
        {"DISPLAY", display_}, {"QT_QPA_PLATFORM", "xcb"}, {"DBUS_SESSION_BUS_ADDRESS", bus_.Address()},
        {"HOME", home_.path()}, {"XDG_DATA_HOME", home_.filePath("data")}, {"XDG_CONFIG_HOME", home_.filePath("config")},
        {"XDG_CACHE_HOME", home_.filePath("cache")}, {"XDG_RUNTIME_DIR", home_.filePath("run")}, {"SDL_AUDIODRIVER", "dummy"}};
    for (const auto& [name, value] : vars) env_.insert(name, value);
    client_ = std::make_unique<QDBusConnection>(bus_.Connect("player-test"));
    player_.setProcessEnvironment(env_);
    player_.setProcessChannelMode(QProcess::ForwardedChannels);
  }

  void TearDown() override {
    if (player_.state() != QProcess::NotRunning) {
      player_.terminate();
      if (!player_.waitForFinished(10000)) player_.kill();
      player_.waitForFinished(5000);
    }
    client_.reset();
    xvfb_.kill();
    xvfb_.waitForFinished(5000);
  }

  // A later start of the program; its exit status, or -1.
  int StartAgain(const QStringList& args, bool withDisplay = true) {
    QProcess again;
    QProcessEnvironment env = env_;
    if (!withDisplay) for (const char* var : {"DISPLAY", "QT_QPA_PLATFORM"}) env.remove(var);
    again.setProcessEnvironment(env);
    again.start(TOVIRA_PLAYER, args);
    if (again.waitForFinished(30000) && again.exitStatus() == QProcess::NormalExit) return again.exitCode();
    again.kill();
    again.waitForFinished();
    return -1;
  }

  QDBusMessage Call(const QString& interface, const QString& method) { return test::MprisCall(*client_, interface, method); }
  QVariant Get(const QString& property) { return test::MprisGet(*client_, property); }
  QString Title() { return test::MetadataMap(Get("Metadata")).value("xesam:title").toString(); }
  bool Becomes(const std::function<bool()>& pred, int ms = 20000) {
    return ProcessEventsUntil([&] {
      if (pred()) return true;
      QThread::msleep(50);
      return false;
    }, ms);
  }

  test::PrivateBus bus_;
  QTemporaryDir home_;
  QProcess xvfb_;
  QString display_;
  QProcessEnvironment env_;
  QProcess player_;
  std::unique_ptr<QDBusConnection> client_;
};

TEST_F(PlayerOnDesktop, MediaKeysAndLaterStartsReachTheRunningPlayer) {
  player_.start(TOVIRA_PLAYER, {home_.filePath("alpha.mp3")});
  ASSERT_TRUE(player_.waitForStarted(10000));
  ASSERT_TRUE(Becomes([&] { return client_->interface()->isServiceRegistered(kMprisServiceName).value(); }))
      << "the player did not appear on the bus";

  ASSERT_TRUE(Becomes([&] { return Get("PlaybackStatus").toString() == "Playing"; }))
      << Get("PlaybackStatus").toString().toStdString();
  EXPECT_EQ(Title(), "Alpha Title");

  Call(kMprisPlayerInterface, "Pause");
  EXPECT_TRUE(Becomes([&] { return Get("PlaybackStatus").toString() == "Paused"; }));
  Call(kMprisPlayerInterface, "Play");
  EXPECT_TRUE(Becomes([&] { return Get("PlaybackStatus").toString() == "Playing"; }));

  // A later start hands its file over and ends; once the batch reaches the playlist, Next plays it.
  EXPECT_EQ(StartAgain({home_.filePath("beta.mp3")}), 0);
  EXPECT_EQ(StartAgain({}), 0);
  // One started where there is no display hands over too, instead of failing for want of one.
  EXPECT_EQ(StartAgain({home_.filePath("beta.mp3")}, false), 0);
  EXPECT_TRUE(Becomes([&] { return Get("CanGoNext").toBool(); }, 30000));
  Call(kMprisPlayerInterface, "Next");
  EXPECT_TRUE(Becomes([&] { return Title() == "Beta Title"; })) << Title().toStdString();
  EXPECT_EQ(Get("PlaybackStatus").toString(), "Playing");

  Call(kMprisPlayerInterface, "Stop");
  EXPECT_TRUE(Becomes([&] { return Get("PlaybackStatus").toString() == "Stopped"; }));

  // It registered itself in the test's folders, pointing at this program.
  QFile entry(home_.filePath("data/applications/io.github.tovira.tovira.desktop"));
  ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
  EXPECT_TRUE(QString::fromUtf8(entry.readAll()).contains("Exec=" + QFileInfo(TOVIRA_PLAYER).absoluteFilePath()));

  Call(kMprisRootInterface, "Quit");
  EXPECT_TRUE(player_.waitForFinished(20000));
}

}  // namespace
}  // namespace tovira
