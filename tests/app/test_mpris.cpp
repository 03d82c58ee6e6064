#include <gtest/gtest.h>

#include <QDBusObjectPath>

#include "PrivateBus.h"

namespace tovira {
namespace {

using test::ProcessEventsUntil;

// A player that only notes what it is told and shows what the test sets.
#define NOTE(Command) \
  void Command() override { calls << #Command; }
class FakePlayer : public MprisPlayer {
 public:
  NOTE(Play) NOTE(Pause) NOTE(PlayPause) NOTE(Stop) NOTE(Next) NOTE(Previous) NOTE(Raise) NOTE(Quit)
  void SeekTo(qint64 us) override { calls << QString("SeekTo %1").arg(us); }
  void SetVolume(double v) override { calls << QString("SetVolume %1").arg(v); }
  void OpenFile(const QString& path) override { calls << "OpenFile " + path; }
  MprisStatus Status() const override { return status; }
  qint64 PositionUs() const override { return position; }
  double Volume() const override { return volume; }
  MprisTrack Track() const override { return track; }
  bool CanGoNext() const override { return canNext; }
  bool CanGoPrevious() const override { return true; }
  bool CanPlay() const override { return true; }
  bool CanPause() const override { return true; }
  bool CanSeek() const override { return track.serial != 0; }

  QStringList calls;
  MprisStatus status = MprisStatus::Stopped;
  qint64 position = 2'000'000;
  double volume = 0.5;
  MprisTrack track{3, "file:///music/a%20b.mp3", "Song Title", "The Artist", "An Album", 10'000'000};
  bool canNext = true;
};

class Mpris : public ::testing::Test {
 protected:
  void SetUp() override {
    test::QtApp();
    if (!bus_.IsUp()) GTEST_SKIP() << "no dbus-daemon";
    service_ = std::make_unique<MprisService>(player_, bus_.Connect("player"));
    ASSERT_TRUE(service_->Start());
    client_ = std::make_unique<QDBusConnection>(bus_.Connect("client"));
    ASSERT_TRUE(client_->isConnected());
  }
  void TearDown() override { service_.reset(); }

  QDBusMessage Call(const QString& interface, const QString& method, const QVariantList& args = {}) {
    return test::MprisCall(*client_, interface, method, args);
  }
  QVariant Get(const QString& property, const QString& interface = kMprisPlayerInterface) {
    return test::MprisGet(*client_, property, interface);
  }

  static constexpr char kProperties[] = "org.freedesktop.DBus.Properties";
  test::PrivateBus bus_;
  FakePlayer player_;
  std::unique_ptr<MprisService> service_;
  std::unique_ptr<QDBusConnection> client_;
};

// Each call on a player at 2 s into track 3 (10 s long), and what the player is told. Play, Pause,
// Next, Stop and Quit are driven against the real program in test_player_desktop.
TEST_F(Mpris, CallsReachThePlayerWithinTheirRules) {
  const auto us = [](qlonglong v) { return QVariant::fromValue(v); };
  const auto track = [](const char* id) { return QVariant::fromValue(QDBusObjectPath(id)); };
  const auto volume = [](double v) {
    return QVariantList{QString(kMprisPlayerInterface), "Volume", QVariant::fromValue(QDBusVariant(v))};
  };
  const struct {
    const char* interface;
    const char* method;
    QVariantList args;
    QStringList expected;
  } cases[] = {
      {kMprisPlayerInterface, "PlayPause", {}, {"PlayPause"}},
      {kMprisPlayerInterface, "Previous", {}, {"Previous"}},
      {kMprisRootInterface, "Raise", {}, {"Raise"}},
      {kMprisPlayerInterface, "Seek", {us(3'000'000)}, {"SeekTo 5000000"}},
      {kMprisPlayerInterface, "Seek", {us(-1'000'000)}, {"SeekTo 1000000"}},
      {kMprisPlayerInterface, "Seek", {us(-9'000'000)}, {"SeekTo 0"}},
      {kMprisPlayerInterface, "Seek", {us(9'000'000)}, {"Next"}},  // past the end
      {kMprisPlayerInterface, "SetPosition", {track("/org/tovira/track/2"), us(4'000'000)}, {}},  // not this track
      {kMprisPlayerInterface, "SetPosition", {track("/org/tovira/track/3"), us(11'000'000)}, {}},  // past the end
      {kMprisPlayerInterface, "SetPosition", {track("/org/tovira/track/3"), us(4'000'000)}, {"SeekTo 4000000"}},
      {kMprisPlayerInterface, "OpenUri", {QString("https://example.org/a.mp3")}, {}},
      {kMprisPlayerInterface, "OpenUri", {QString("file:///music/My%20Song.mp3")}, {"OpenFile /music/My Song.mp3"}},
      {kProperties, "Set", volume(0.75), {"SetVolume 0.75"}},
      {kProperties, "Set", volume(1.5), {"SetVolume 1"}},
      {kProperties, "Set", volume(-0.2), {"SetVolume 0"}},
  };
  for (const auto& c : cases) {
    player_.calls.clear();
    const QDBusMessage reply = Call(c.interface, c.method, c.args);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << c.method << ": " << reply.errorMessage().toStdString();
    EXPECT_EQ(player_.calls, c.expected) << c.method << " " << c.args.value(0).toString().toStdString();
  }
  player_.track = {};  // nothing open: nothing to seek in
  player_.calls.clear();
  Call(kMprisPlayerInterface, "Seek", {us(1'000'000)});
  EXPECT_TRUE(player_.calls.isEmpty()) << player_.calls.join(',').toStdString();
}

TEST_F(Mpris, PropertiesShowThePlayer) {
  player_.status = MprisStatus::Paused;
  player_.volume = 0.25;
  player_.canNext = false;
  EXPECT_EQ(Get("PlaybackStatus").toString(), "Paused");
  EXPECT_EQ(Get("Position").toLongLong(), 2'000'000);
  EXPECT_DOUBLE_EQ(Get("Volume").toDouble(), 0.25);
  EXPECT_FALSE(Get("CanGoNext").toBool());
  EXPECT_TRUE(Get("CanSeek").toBool());
  // The desktop finds the player's entry by this name.
  EXPECT_EQ(Get("DesktopEntry", kMprisRootInterface).toString(), "tovira");

  const QVariantMap meta = test::MetadataMap(Get("Metadata"));
  EXPECT_EQ(meta.value("xesam:title").toString(), "Song Title");
  EXPECT_EQ(meta.value("xesam:album").toString(), "An Album");
  EXPECT_EQ(meta.value("xesam:url").toString(), "file:///music/a%20b.mp3");
  EXPECT_EQ(meta.value("mpris:length").toLongLong(), 10'000'000);
  EXPECT_EQ(qdbus_cast<QStringList>(meta.value("xesam:artist")), QStringList{"The Artist"});
  EXPECT_EQ(qdbus_cast<QDBusObjectPath>(meta.value("mpris:trackid")).path(), "/org/tovira/track/3");

  player_.track = {};
  EXPECT_TRUE(test::MetadataMap(Get("Metadata")).isEmpty());
  EXPECT_FALSE(Get("CanSeek").toBool());
}

// Listens for PropertiesChanged and Seeked on the client's side.
class SignalSpy : public QObject {
  Q_OBJECT
 public:
  QList<QVariantMap> changes;
  QList<qlonglong> seeks;
 public slots:
  void OnChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
    if (interface == kMprisPlayerInterface) changes << changed;
  }
  void OnSeeked(qlonglong position) { seeks << position; }
};

TEST_F(Mpris, ChangesAreAnnounced) {
  SignalSpy spy;
  ASSERT_TRUE(client_->connect(kMprisServiceName, kMprisObjectPath, kProperties, "PropertiesChanged", &spy,
                               SLOT(OnChanged(QString, QVariantMap, QStringList))));
  ASSERT_TRUE(client_->connect(kMprisServiceName, kMprisObjectPath, kMprisPlayerInterface, "Seeked", &spy,
                               SLOT(OnSeeked(qlonglong))));
  Get("PlaybackStatus");  // the match rules are in place before anything changes

  player_.status = MprisStatus::Playing;
  player_.track = {9, "file:///b.mp3", "Bee", "", "", 5'000'000};
  service_->Refresh();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !spy.changes.isEmpty(); }));
  EXPECT_EQ(spy.changes[0].value("PlaybackStatus").toString(), "Playing");
  EXPECT_EQ(test::MetadataMap(spy.changes[0].value("Metadata")).value("xesam:title").toString(), "Bee");
  EXPECT_FALSE(spy.changes[0].contains("Volume"));

  // The poll finds a change the player made by itself.
  player_.status = MprisStatus::Paused;
  ASSERT_TRUE(ProcessEventsUntil([&] { return spy.changes.size() >= 2; }, 5000));
  EXPECT_EQ(spy.changes[1], (QVariantMap{{"PlaybackStatus", "Paused"}}));

  Call(kMprisPlayerInterface, "Seek", {QVariant::fromValue<qlonglong>(1'000'000)});
  ASSERT_TRUE(ProcessEventsUntil([&] { return !spy.seeks.isEmpty(); }));
  EXPECT_EQ(spy.seeks[0], 3'000'000);
}

TEST(MprisWithoutBus, TheServiceDeclinesQuietly) {
  test::QtApp();
  FakePlayer player;
  MprisService service(player, QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nobus"));
  EXPECT_FALSE(service.Start());
  service.Refresh();
  EXPECT_TRUE(player.calls.isEmpty());
  QDBusConnection::disconnectFromBus("nobus");
}

}  // namespace
}  // namespace tovira

#include "test_mpris.moc"
