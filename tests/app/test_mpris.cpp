#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include "PrivateBus.h"
#include "QtTestApp.h"
#include "app/Mpris.h"

namespace tovira {
namespace {

using test::ProcessEventsUntil;

// A player that only notes what it is told and shows what the test sets.
class FakePlayer : public MprisPlayer {
 public:
  void Play() override { calls << "Play"; }
  void Pause() override { calls << "Pause"; }
  void PlayPause() override { calls << "PlayPause"; }
  void Stop() override { calls << "Stop"; }
  void Next() override { calls << "Next"; }
  void Previous() override { calls << "Previous"; }
  void SeekTo(qint64 us) override { calls << QString("SeekTo %1").arg(us); }
  void SetVolume(double v) override {
    calls << QString("SetVolume %1").arg(v);
    volume = v;
  }
  void Raise() override { calls << "Raise"; }
  void Quit() override { calls << "Quit"; }
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
  qint64 position = 0;
  double volume = 0.5;
  MprisTrack track;
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

  // Calls over the bus while this thread keeps serving the player's end.
  QDBusMessage Call(const QString& interface, const QString& method, const QVariantList& args = {}) {
    QDBusMessage msg = QDBusMessage::createMethodCall(kMprisServiceName, kMprisObjectPath, interface, method);
    msg.setArguments(args);
    QDBusPendingCall pending = client_->asyncCall(msg, 20000);
    ProcessEventsUntil([&] { return pending.isFinished(); });
    return pending.reply();
  }
  QVariant Get(const QString& property, const QString& interface = kMprisPlayerInterface) {
    const QDBusMessage reply = Call("org.freedesktop.DBus.Properties", "Get", {interface, property});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments()[0].value<QDBusVariant>().variant();
  }
  QVariantMap GetMetadata() {
    QVariantMap map;
    const QVariant v = Get("Metadata");
    v.value<QDBusArgument>() >> map;
    return map;
  }

  test::PrivateBus bus_;
  FakePlayer player_;
  std::unique_ptr<MprisService> service_;
  std::unique_ptr<QDBusConnection> client_;
};

class MprisCommands : public Mpris, public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(MprisCommands, ReachThePlayer) {
  const auto [interface, method] = GetParam();
  const QDBusMessage reply = Call(interface, method);
  EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
  EXPECT_EQ(player_.calls, QStringList{method});
}

INSTANTIATE_TEST_SUITE_P(Methods, MprisCommands,
                         ::testing::Values(std::make_pair(kMprisPlayerInterface, "Play"),
                                           std::make_pair(kMprisPlayerInterface, "Pause"),
                                           std::make_pair(kMprisPlayerInterface, "PlayPause"),
                                           std::make_pair(kMprisPlayerInterface, "Stop"),
                                           std::make_pair(kMprisPlayerInterface, "Next"),
                                           std::make_pair(kMprisPlayerInterface, "Previous"),
                                           std::make_pair(kMprisRootInterface, "Raise"),
                                           std::make_pair(kMprisRootInterface, "Quit")),
                         [](const auto& info) { return std::string(info.param.second); });

TEST_F(Mpris, PropertiesShowThePlayer) {
  player_.status = MprisStatus::Paused;
  player_.position = 1'500'000;
  player_.volume = 0.25;
  player_.canNext = false;
  player_.track = {7, "file:///music/a%20b.mp3", "Song Title", "The Artist", "An Album", 183'000'000};

  EXPECT_EQ(Get("PlaybackStatus").toString(), "Paused");
  EXPECT_EQ(Get("Position").toLongLong(), 1'500'000);
  EXPECT_DOUBLE_EQ(Get("Volume").toDouble(), 0.25);
  EXPECT_FALSE(Get("CanGoNext").toBool());
  EXPECT_TRUE(Get("CanGoPrevious").toBool());
  EXPECT_TRUE(Get("CanSeek").toBool());
  EXPECT_TRUE(Get("CanControl").toBool());
  EXPECT_EQ(Get("Identity", kMprisRootInterface).toString(), "Tovira");
  EXPECT_EQ(Get("DesktopEntry", kMprisRootInterface).toString(), "tovira");

  const QVariantMap meta = GetMetadata();
  EXPECT_EQ(meta.value("xesam:title").toString(), "Song Title");
  EXPECT_EQ(meta.value("xesam:album").toString(), "An Album");
  EXPECT_EQ(meta.value("xesam:url").toString(), "file:///music/a%20b.mp3");
  EXPECT_EQ(meta.value("mpris:length").toLongLong(), 183'000'000);
  EXPECT_EQ(qdbus_cast<QStringList>(meta.value("xesam:artist")), QStringList{"The Artist"});
  EXPECT_EQ(qdbus_cast<QDBusObjectPath>(meta.value("mpris:trackid")).path(), "/org/tovira/track/7");

  player_.track = {};
  EXPECT_TRUE(GetMetadata().isEmpty());
  EXPECT_EQ(Get("PlaybackStatus").toString(), "Paused");
}

TEST_F(Mpris, VolumeIsSetWithinRange) {
  for (const auto& [asked, given] : {std::pair{0.75, 0.75}, std::pair{1.5, 1.0}, std::pair{-0.2, 0.0}}) {
    player_.calls.clear();
    const QDBusMessage reply = Call("org.freedesktop.DBus.Properties", "Set",
                                    {QString(kMprisPlayerInterface), "Volume", QVariant::fromValue(QDBusVariant(asked))});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(player_.calls, QStringList{QString("SetVolume %1").arg(given)});
  }
}

struct SeekCase {
  const char* name;
  qint64 position;
  qint64 offset;
  const char* expectedCall;  // "" for none
};

class MprisSeek : public Mpris, public ::testing::WithParamInterface<SeekCase> {};

TEST_P(MprisSeek, MovesWithinTheTrackOrOnToTheNext) {
  const SeekCase& c = GetParam();
  player_.track = {3, "file:///a.mp3", "A", "", "", 10'000'000};
  player_.position = c.position;
  Call(kMprisPlayerInterface, "Seek", {QVariant::fromValue<qlonglong>(c.offset)});
  EXPECT_EQ(player_.calls, *c.expectedCall ? QStringList{c.expectedCall} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(Offsets, MprisSeek,
                         ::testing::Values(SeekCase{"Forward", 2'000'000, 3'000'000, "SeekTo 5000000"},
                                           SeekCase{"Back", 2'000'000, -1'000'000, "SeekTo 1000000"},
                                           SeekCase{"BeforeStart", 2'000'000, -9'000'000, "SeekTo 0"},
                                           SeekCase{"PastEnd", 9'000'000, 2'000'000, "Next"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Mpris, SetPositionOnlyForTheCurrentTrack) {
  player_.track = {3, "file:///a.mp3", "A", "", "", 10'000'000};
  Call(kMprisPlayerInterface, "SetPosition",
       {QVariant::fromValue(QDBusObjectPath("/org/tovira/track/2")), QVariant::fromValue<qlonglong>(4'000'000)});
  EXPECT_TRUE(player_.calls.isEmpty()) << player_.calls.join(',').toStdString();
  Call(kMprisPlayerInterface, "SetPosition",
       {QVariant::fromValue(QDBusObjectPath("/org/tovira/track/3")), QVariant::fromValue<qlonglong>(11'000'000)});
  EXPECT_TRUE(player_.calls.isEmpty()) << player_.calls.join(',').toStdString();
  Call(kMprisPlayerInterface, "SetPosition",
       {QVariant::fromValue(QDBusObjectPath("/org/tovira/track/3")), QVariant::fromValue<qlonglong>(4'000'000)});
  EXPECT_EQ(player_.calls, QStringList{"SeekTo 4000000"});
}

TEST_F(Mpris, OpenUriTakesLocalFilesOnly) {
  Call(kMprisPlayerInterface, "OpenUri", {QString("https://example.org/a.mp3")});
  Call(kMprisPlayerInterface, "OpenUri", {QString("file:///music/My%20Song.mp3")});
  EXPECT_EQ(player_.calls, QStringList{"OpenFile /music/My Song.mp3"});
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
  ASSERT_TRUE(client_->connect(kMprisServiceName, kMprisObjectPath, "org.freedesktop.DBus.Properties",
                               "PropertiesChanged", &spy, SLOT(OnChanged(QString, QVariantMap, QStringList))));
  ASSERT_TRUE(client_->connect(kMprisServiceName, kMprisObjectPath, kMprisPlayerInterface, "Seeked", &spy,
                               SLOT(OnSeeked(qlonglong))));
  // Make sure the match rules are in place before anything changes.
  Get("PlaybackStatus");

  player_.status = MprisStatus::Playing;
  player_.track = {9, "file:///b.mp3", "Bee", "", "", 5'000'000};
  service_->Refresh();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !spy.changes.isEmpty(); }));
  EXPECT_EQ(spy.changes[0].value("PlaybackStatus").toString(), "Playing");
  QVariantMap meta;
  spy.changes[0].value("Metadata").value<QDBusArgument>() >> meta;
  EXPECT_EQ(meta.value("xesam:title").toString(), "Bee");
  EXPECT_FALSE(spy.changes[0].contains("Volume"));

  // The poll finds a change the player made by itself.
  player_.status = MprisStatus::Paused;
  ASSERT_TRUE(ProcessEventsUntil([&] { return spy.changes.size() >= 2; }, 5000));
  EXPECT_EQ(spy.changes[1].value("PlaybackStatus").toString(), "Paused");
  EXPECT_EQ(spy.changes[1].size(), 1);

  Call(kMprisPlayerInterface, "Seek", {QVariant::fromValue<qlonglong>(1'000'000)});
  ASSERT_TRUE(ProcessEventsUntil([&] { return !spy.seeks.isEmpty(); }));
  EXPECT_EQ(spy.seeks[0], 1'000'000);
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
