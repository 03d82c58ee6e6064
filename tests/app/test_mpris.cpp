#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sys/stat.h>

#include "PrivateBus.h"
#ifdef TOVIRA_MPRIS_ART
#include <taglib/attachedpictureframe.h>

#include "app/PlayerMpris.h"
#include "tags/TagFiles.h"
#endif

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
  void SetLoop(MprisLoop l) override { calls << "SetLoop " + MprisLoopText(l); }
  void SetShuffle(bool on) override { calls << QString("SetShuffle %1").arg(on); }
  MprisStatus Status() const override { return status; }
  qint64 PositionUs() const override { return position; }
  double Volume() const override { return volume; }
  MprisTrack Track() const override { return track; }
  bool CanGoNext() const override { return canNext; }
  bool CanGoPrevious() const override { return true; }
  bool CanPlay() const override { return true; }
  bool CanPause() const override { return true; }
  bool CanSeek() const override { return track.serial != 0; }
  MprisLoop Loop() const override { return loop; }
  bool Shuffle() const override { return shuffle; }

  QStringList calls;
  MprisStatus status = MprisStatus::Stopped;
  qint64 position = 2'000'000;
  double volume = 0.5;
  MprisTrack track{3, "file:///music/a%20b.mp3", "Song Title", "The Artist", "An Album", 10'000'000, {}};
  bool canNext = true;
  MprisLoop loop = MprisLoop::None;
  bool shuffle = false;
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
  const auto set = [](const char* property, const QVariant& v) {
    return QVariantList{QString(kMprisPlayerInterface), property, QVariant::fromValue(QDBusVariant(v))};
  };
  const auto volume = [&](double v) { return set("Volume", v); };
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
      {kProperties, "Set", set("LoopStatus", "Track"), {"SetLoop Track"}},
      {kProperties, "Set", set("LoopStatus", "Playlist"), {"SetLoop Playlist"}},
      {kProperties, "Set", set("LoopStatus", "Sideways"), {}},
      {kProperties, "Set", set("Shuffle", true), {"SetShuffle 1"}},
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
  player_.loop = MprisLoop::Track;
  player_.shuffle = true;
  player_.track.artUrl = "file:///cache/art/ab.jpg";
  EXPECT_EQ(Get("PlaybackStatus").toString(), "Paused");
  EXPECT_EQ(Get("LoopStatus").toString(), "Track");
  EXPECT_TRUE(Get("Shuffle").toBool());
  EXPECT_EQ(Get("Position").toLongLong(), 2'000'000);
  EXPECT_DOUBLE_EQ(Get("Volume").toDouble(), 0.25);
  EXPECT_FALSE(Get("CanGoNext").toBool());
  EXPECT_TRUE(Get("CanSeek").toBool());
  // The desktop finds the player's entry by this name.
  EXPECT_EQ(Get("DesktopEntry", kMprisRootInterface).toString(), "io.github.tovira.tovira");

  const QVariantMap meta = test::MetadataMap(Get("Metadata"));
  EXPECT_EQ(meta.value("xesam:title").toString(), "Song Title");
  EXPECT_EQ(meta.value("xesam:album").toString(), "An Album");
  EXPECT_EQ(meta.value("xesam:url").toString(), "file:///music/a%20b.mp3");
  EXPECT_EQ(meta.value("mpris:length").toLongLong(), 10'000'000);
  EXPECT_EQ(meta.value("mpris:artUrl").toString(), "file:///cache/art/ab.jpg");
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
  player_.track = {9, "file:///b.mp3", "Bee", "", "", 5'000'000, {}};
  service_->Refresh();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !spy.changes.isEmpty(); }));
  EXPECT_EQ(spy.changes[0].value("PlaybackStatus").toString(), "Playing");
  EXPECT_EQ(test::MetadataMap(spy.changes[0].value("Metadata")).value("xesam:title").toString(), "Bee");
  EXPECT_FALSE(spy.changes[0].contains("Volume"));

  player_.status = MprisStatus::Paused;
  service_->Refresh();
  ASSERT_TRUE(ProcessEventsUntil([&] { return spy.changes.size() >= 2; }, 5000));
  EXPECT_EQ(spy.changes[1], (QVariantMap{{"PlaybackStatus", "Paused"}}));
  player_.loop = MprisLoop::Playlist;
  player_.shuffle = true;
  service_->Refresh();
  ASSERT_TRUE(ProcessEventsUntil([&] { return spy.changes.size() >= 3; }));
  EXPECT_EQ(spy.changes[2], (QVariantMap{{"LoopStatus", "Playlist"}, {"Shuffle", true}}));

  Call(kMprisPlayerInterface, "Seek", {QVariant::fromValue<qlonglong>(1'000'000)});
  ASSERT_TRUE(ProcessEventsUntil([&] { return !spy.seeks.isEmpty(); }));
  EXPECT_EQ(spy.seeks[0], 3'000'000);
}

#ifdef TOVIRA_MPRIS_ART
// A picture is written once, named by its bytes, whichever file it came from; the front cover is
// preferred; a file without one, a missing file and a FIFO give none (and the FIFO is not waited on).
TEST(MprisArt, EmbeddedPicturesAreCachedOnceByTheirBytes) {
  test::TempDir dir;
  const QString cache = QString::fromStdString((dir.path() / "cache").string());
  const auto tagged = [&](const std::string& name, const std::vector<std::pair<std::string, bool>>& pictures) {
    const auto path = test::CopyFixture(dir.path() / name);
    TagLib::MPEG::File f(path.c_str(), false);
    for (const auto& [bytes, front] : pictures) {
      auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
      frame->setMimeType("image/png");
      frame->setType(front ? TagLib::ID3v2::AttachedPictureFrame::FrontCover : TagLib::ID3v2::AttachedPictureFrame::Artist);
      frame->setPicture(TagLib::ByteVector(bytes.data(), static_cast<unsigned>(bytes.size())));
      f.ID3v2Tag(true)->addFrame(frame);
    }
    EXPECT_TRUE(f.save(TagLib::MPEG::File::ID3v2));
    return QString::fromStdString(path.string());
  };
  const std::string cover = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(3000, '\x07');
  const QString a = tagged("a.mp3", {{"\x89PNG other", false}, {cover, true}});
  const QString b = tagged("b.mp3", {{cover, true}});
  const QString url = EmbeddedArtUrl(a, cache);
  ASSERT_TRUE(url.startsWith("file://")) << url.toStdString();
  const QString file = QUrl(url).toLocalFile();
  EXPECT_EQ(QFileInfo(file).fileName(),
            QCryptographicHash::hash(QByteArray::fromStdString(cover), QCryptographicHash::Sha256).toHex() + ".png");
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll().toStdString(), cover);
  EXPECT_EQ(EmbeddedArtUrl(b, cache), url);
  EXPECT_EQ(QDir(cache).entryList(QDir::Files).size(), 1) << "one file per picture";

  const QString fifo = QString::fromStdString((dir.path() / "fifo.mp3").string());
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  for (const QString& none : {tagged("plain.mp3", {}), fifo, QString::fromStdString((dir.path() / "nowhere.mp3").string())}) {
    EXPECT_TRUE(EmbeddedArtUrl(none, cache).isEmpty()) << none.toStdString();
  }
}
#endif

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
