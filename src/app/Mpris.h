#pragma once
// Media keys and the desktop's sound controls: the player on the session bus through the MPRIS
// interfaces (org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player).

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace tovira {

// The track being played, as the bus shows it.
struct MprisTrack {
  quint64 serial = 0;  // changes with every opened file; 0 when none
  QString url;         // file:// URL
  QString title;
  QString artist;
  QString album;
  qint64 lengthUs = 0;
  QString artUrl;  // file:// URL of the track's picture; empty when it has none
  bool operator==(const MprisTrack&) const = default;
};

enum class MprisStatus { Stopped, Playing, Paused };
// LoopStatus: "None", "Track" (repeat one), "Playlist" (repeat all).
enum class MprisLoop { None, Track, Playlist };

// What the bus may see and do of the player. Everything is called on the UI thread.
class MprisPlayer {
 public:
  virtual ~MprisPlayer() = default;
  virtual void Play() = 0;
  virtual void Pause() = 0;
  virtual void PlayPause() = 0;
  virtual void Stop() = 0;
  virtual void Next() = 0;
  virtual void Previous() = 0;
  virtual void SeekTo(qint64 positionUs) = 0;
  virtual void SetVolume(double volume) = 0;  // 0.0 .. 1.0
  virtual void Raise() = 0;
  virtual void Quit() = 0;
  virtual void OpenFile(const QString& path) = 0;
  virtual void SetLoop(MprisLoop loop) = 0;
  virtual void SetShuffle(bool on) = 0;

  virtual MprisStatus Status() const = 0;
  virtual qint64 PositionUs() const = 0;
  virtual double Volume() const = 0;
  virtual MprisTrack Track() const = 0;
  virtual bool CanGoNext() const = 0;
  virtual bool CanGoPrevious() const = 0;
  virtual bool CanPlay() const = 0;
  virtual bool CanPause() const = 0;
  virtual bool CanSeek() const = 0;
  virtual MprisLoop Loop() const = 0;
  virtual bool Shuffle() const = 0;
};

inline constexpr char kMprisObjectPath[] = "/org/mpris/MediaPlayer2";
inline constexpr char kMprisServiceName[] = "org.mpris.MediaPlayer2.tovira";
inline constexpr char kMprisRootInterface[] = "org.mpris.MediaPlayer2";
inline constexpr char kMprisPlayerInterface[] = "org.mpris.MediaPlayer2.Player";

QString MprisStatusText(MprisStatus status);
QString MprisLoopText(MprisLoop loop);
// nullopt for a text that is none of the three.
std::optional<MprisLoop> MprisLoopFromText(const QString& text);

// Whether this session has a bus to offer the player on: its address is set, or the user's
// runtime folder holds the standard socket. Without one the player does not try to start a bus.
bool SessionBusExpected();
// The Metadata map of `track`: mpris:trackid, mpris:length, mpris:artUrl, xesam:title,
// xesam:artist (a list), xesam:album, xesam:url; empty when no track is open.
QVariantMap MprisMetadata(const MprisTrack& track);
QString MprisTrackId(quint64 serial);

// Puts a player on a bus. Property changes are looked for on a timer and after every command,
// and announced with PropertiesChanged.
class MprisService : public QObject {
  Q_OBJECT
 public:
  MprisService(MprisPlayer& player, const QDBusConnection& connection, QObject* parent = nullptr);
  ~MprisService() override;

  // Registers the object and the bus name (org.mpris.MediaPlayer2.tovira, or with an
  // ".instance<pid>" suffix when that is taken). False, and nothing changes for the player,
  // when the bus cannot be reached.
  bool Start();
  QString ServiceName() const { return serviceName_; }

  // Compares what the bus last saw with the player and announces what changed. The owner calls it
  // whenever the player changes (there is no poll).
  void Refresh();
  // Tells the bus that the position jumped (the player's own seek bar, for example).
  void NotifySeeked(qint64 positionUs);

  MprisPlayer& Player() const { return player_; }

 private:
  struct Snapshot {
    MprisStatus status = MprisStatus::Stopped;
    double volume = 0;
    MprisTrack track;
    MprisLoop loop = MprisLoop::None;
    bool shuffle = false;
    bool canGoNext = false, canGoPrevious = false, canPlay = false, canPause = false, canSeek = false;
  };
  Snapshot Take() const;

  MprisPlayer& player_;
  QDBusConnection connection_;
  QObject* root_ = nullptr;  // carries the two adaptors
  QString serviceName_;
  Snapshot last_;
};

}  // namespace tovira
