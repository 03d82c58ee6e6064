#include "app/Mpris.h"

#include <unistd.h>

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>

#include "app/FileTypes.h"

namespace tovira {

bool SessionBusExpected() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

QString MprisStatusText(MprisStatus status) {
  switch (status) {
    case MprisStatus::Playing:
      return QStringLiteral("Playing");
    case MprisStatus::Paused:
      return QStringLiteral("Paused");
    case MprisStatus::Stopped:
      break;
  }
  return QStringLiteral("Stopped");
}

QString MprisLoopText(MprisLoop loop) {
  switch (loop) {
    case MprisLoop::Track:
      return QStringLiteral("Track");
    case MprisLoop::Playlist:
      return QStringLiteral("Playlist");
    case MprisLoop::None:
      break;
  }
  return QStringLiteral("None");
}

std::optional<MprisLoop> MprisLoopFromText(const QString& text) {
  for (MprisLoop loop : {MprisLoop::None, MprisLoop::Track, MprisLoop::Playlist}) {
    if (text == MprisLoopText(loop)) return loop;
  }
  return std::nullopt;
}

QString MprisTrackId(quint64 serial) {
  return serial == 0 ? QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")
                     : QStringLiteral("/org/tovira/track/%1").arg(serial);
}

QVariantMap MprisMetadata(const MprisTrack& track) {
  QVariantMap map;
  if (track.serial == 0) return map;
  map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(MprisTrackId(track.serial))));
  if (track.lengthUs > 0) map.insert(QStringLiteral("mpris:length"), QVariant::fromValue<qlonglong>(track.lengthUs));
  if (!track.url.isEmpty()) map.insert(QStringLiteral("xesam:url"), track.url);
  if (!track.title.isEmpty()) map.insert(QStringLiteral("xesam:title"), track.title);
  if (!track.artist.isEmpty()) map.insert(QStringLiteral("xesam:artist"), QStringList{track.artist});
  if (!track.album.isEmpty()) map.insert(QStringLiteral("xesam:album"), track.album);
  if (!track.artUrl.isEmpty()) map.insert(QStringLiteral("mpris:artUrl"), track.artUrl);
  return map;
}

// org.mpris.MediaPlayer2: who we are, raise and quit.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ CanQuit)
  Q_PROPERTY(bool CanRaise READ CanRaise)
  Q_PROPERTY(bool HasTrackList READ HasTrackList)
  Q_PROPERTY(QString Identity READ Identity)
  Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

 public:
  MprisRootAdaptor(QObject* parent, MprisService* service) : QDBusAbstractAdaptor(parent), service_(service) {}
  bool CanQuit() const { return true; }
  bool CanRaise() const { return true; }
  bool HasTrackList() const { return false; }
  QString Identity() const { return QStringLiteral("Tovira"); }
  QString DesktopEntry() const { return QStringLiteral("io.github.tovira.tovira"); }
  QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
  QStringList SupportedMimeTypes() const { return PlayerMimeTypes(); }

 public slots:
  void Raise() { service_->Player().Raise(); }
  void Quit() { service_->Player().Quit(); }

 private:
  MprisService* service_;
};

// org.mpris.MediaPlayer2.Player: transport, position, volume and the track's tags.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
  Q_PROPERTY(double Rate READ Rate WRITE SetRate)
  Q_PROPERTY(QVariantMap Metadata READ Metadata)
  Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
  Q_PROPERTY(qlonglong Position READ Position)
  Q_PROPERTY(double MinimumRate READ Rate)
  Q_PROPERTY(double MaximumRate READ Rate)
  Q_PROPERTY(bool CanGoNext READ CanGoNext)
  Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
  Q_PROPERTY(bool CanPlay READ CanPlay)
  Q_PROPERTY(bool CanPause READ CanPause)
  Q_PROPERTY(bool CanSeek READ CanSeek)
  Q_PROPERTY(bool CanControl READ CanControl)
  Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
  Q_PROPERTY(bool Shuffle READ Shuffle WRITE SetShuffle)

 public:
  MprisPlayerAdaptor(QObject* parent, MprisService* service) : QDBusAbstractAdaptor(parent), service_(service) {}

  QString PlaybackStatus() const { return MprisStatusText(P().Status()); }
  double Rate() const { return 1.0; }
  void SetRate(double) {}  // one speed only
  QVariantMap Metadata() const { return MprisMetadata(P().Track()); }
  double Volume() const { return P().Volume(); }
  void SetVolume(double volume) {
    P().SetVolume(std::clamp(volume, 0.0, 1.0));
    service_->Refresh();
  }
  qlonglong Position() const { return P().PositionUs(); }
  bool CanGoNext() const { return P().CanGoNext(); }
  bool CanGoPrevious() const { return P().CanGoPrevious(); }
  bool CanPlay() const { return P().CanPlay(); }
  bool CanPause() const { return P().CanPause(); }
  bool CanSeek() const { return P().CanSeek(); }
  bool CanControl() const { return true; }
  QString LoopStatus() const { return MprisLoopText(P().Loop()); }
  void SetLoopStatus(const QString& text) {
    if (const auto loop = MprisLoopFromText(text)) P().SetLoop(*loop);  // anything else is ignored
    service_->Refresh();
  }
  bool Shuffle() const { return P().Shuffle(); }
  void SetShuffle(bool on) {
    P().SetShuffle(on);
    service_->Refresh();
  }

 public slots:
  void Next() { Then(&MprisPlayer::Next); }
  void Previous() { Then(&MprisPlayer::Previous); }
  void Pause() { Then(&MprisPlayer::Pause); }
  void PlayPause() { Then(&MprisPlayer::PlayPause); }
  void Stop() { Then(&MprisPlayer::Stop); }
  void Play() { Then(&MprisPlayer::Play); }

  void Seek(qlonglong Offset) {
    if (!P().CanSeek()) return;
    const qint64 length = P().Track().lengthUs;
    qint64 target = P().PositionUs() + Offset;
    if (target < 0) target = 0;
    if (length > 0 && target > length) return Next();  // past the end: on to the next track
    P().SeekTo(target);
    service_->NotifySeeked(target);
  }

  void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
    const MprisTrack track = P().Track();
    if (!P().CanSeek() || track.serial == 0 || TrackId.path() != MprisTrackId(track.serial)) return;
    if (Position < 0 || (track.lengthUs > 0 && Position > track.lengthUs)) return;
    P().SeekTo(Position);
    service_->NotifySeeked(Position);
  }

  void OpenUri(const QString& Uri) {
    const QUrl url(Uri);
    if (url.isLocalFile()) P().OpenFile(url.toLocalFile());
  }

 signals:
  void Seeked(qlonglong Position);

 private:
  MprisPlayer& P() const { return service_->Player(); }
  void Then(void (MprisPlayer::*command)()) {
    (P().*command)();
    service_->Refresh();
  }

  MprisService* service_;
};

MprisService::MprisService(MprisPlayer& player, const QDBusConnection& connection, QObject* parent)
    : QObject(parent), player_(player), connection_(connection) {}

MprisService::~MprisService() {
  if (root_) {
    if (!serviceName_.isEmpty()) connection_.unregisterService(serviceName_);
    connection_.unregisterObject(QString::fromLatin1(kMprisObjectPath));
  }
}

bool MprisService::Start() {
  if (root_) return true;
  if (!connection_.isConnected()) return false;
  auto* root = new QObject(this);
  new MprisRootAdaptor(root, this);
  new MprisPlayerAdaptor(root, this);
  if (!connection_.registerObject(QString::fromLatin1(kMprisObjectPath), root)) {
    delete root;
    return false;
  }
  // A second player of ours on the same bus (another session's start) takes an instance name.
  for (const QString& name : {QString::fromLatin1(kMprisServiceName),
                              QStringLiteral("%1.instance%2").arg(QLatin1String(kMprisServiceName)).arg(::getpid())}) {
    if (connection_.registerService(name)) {
      serviceName_ = name;
      break;
    }
  }
  if (serviceName_.isEmpty()) {
    connection_.unregisterObject(QString::fromLatin1(kMprisObjectPath));
    delete root;
    return false;
  }
  root_ = root;
  last_ = Take();
  return true;
}

MprisService::Snapshot MprisService::Take() const {
  Snapshot s;
  s.status = player_.Status();
  s.volume = player_.Volume();
  s.track = player_.Track();
  s.loop = player_.Loop();
  s.shuffle = player_.Shuffle();
  s.canGoNext = player_.CanGoNext();
  s.canGoPrevious = player_.CanGoPrevious();
  s.canPlay = player_.CanPlay();
  s.canPause = player_.CanPause();
  s.canSeek = player_.CanSeek();
  return s;
}

void MprisService::Refresh() {
  if (!root_) return;
  const Snapshot now = Take();
  QVariantMap changed;
  if (now.status != last_.status) changed.insert(QStringLiteral("PlaybackStatus"), MprisStatusText(now.status));
  if (now.volume != last_.volume) changed.insert(QStringLiteral("Volume"), now.volume);
  if (!(now.track == last_.track)) changed.insert(QStringLiteral("Metadata"), MprisMetadata(now.track));
  if (now.loop != last_.loop) changed.insert(QStringLiteral("LoopStatus"), MprisLoopText(now.loop));
  if (now.shuffle != last_.shuffle) changed.insert(QStringLiteral("Shuffle"), now.shuffle);
  if (now.canGoNext != last_.canGoNext) changed.insert(QStringLiteral("CanGoNext"), now.canGoNext);
  if (now.canGoPrevious != last_.canGoPrevious) changed.insert(QStringLiteral("CanGoPrevious"), now.canGoPrevious);
  if (now.canPlay != last_.canPlay) changed.insert(QStringLiteral("CanPlay"), now.canPlay);
  if (now.canPause != last_.canPause) changed.insert(QStringLiteral("CanPause"), now.canPause);
  if (now.canSeek != last_.canSeek) changed.insert(QStringLiteral("CanSeek"), now.canSeek);
  last_ = now;
  if (changed.isEmpty()) return;
  QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kMprisObjectPath),
                                                   QStringLiteral("org.freedesktop.DBus.Properties"),
                                                   QStringLiteral("PropertiesChanged"));
  signal << QString::fromLatin1(kMprisPlayerInterface) << changed << QStringList();
  connection_.send(signal);
}

void MprisService::NotifySeeked(qint64 positionUs) {
  if (!root_) return;
  if (auto* adaptor = root_->findChild<MprisPlayerAdaptor*>()) emit adaptor->Seeked(positionUs);
}

}  // namespace tovira

#include "Mpris.moc"
