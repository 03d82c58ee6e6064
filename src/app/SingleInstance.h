#pragma once
// One running player per user: a later start hands its command line to the running instance over
// a local socket in the user's private runtime folder, and exits.
//
// The message is "TVR1", a 32-bit big-endian length and that many bytes of UTF-8: the later
// start's paths in order, separated by U+0000, the one character no path can hold. No bytes at all
// is no paths: the later start only asks the player to come to the front. The running instance
// answers one byte once it has passed the paths on, so the later process exits only when its files
// are safely with the first one.

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace tovira {

inline constexpr char kInstanceIdentifier[] = "7F3A91C2-4B6E-4d28-A5C1-93E0B7D4F21A";

// How long a later start waits for the running instance to take its paths.
inline constexpr int kHandOffTimeoutMs = 10000;

// The socket for `identifier` in the user's runtime folder (XDG_RUNTIME_DIR, or the per-user
// folder Qt makes when that is unset); empty when there is no private folder to put it in.
QString InstanceSocketPath(const QString& identifier = QString::fromLatin1(kInstanceIdentifier));

// The paths a later start hands over: those named by the arguments after the program name, by
// StartupFilesFromArguments's rules (absolute, because the running instance lives in another
// folder). Empty for no arguments.
QStringList HandOffPathsFromArguments(const QStringList& arguments, const QString& workingDirectory);

// True when a running instance of this user took all of `paths`, in one message (the caller then
// exits with 0). Empty paths, and any holding U+0000, name no file and are left out. False when
// none answers, the socket belongs to someone else, the paths are more than a message may carry, or
// the hand-off does not complete within `timeoutMs`; the caller then starts as a first instance.
bool HandOffToRunningInstance(const QStringList& paths);
bool HandOffToRunningInstance(const QStringList& paths, const QString& socketPath,
                              int timeoutMs = kHandOffTimeoutMs);

// The first instance's end of the socket.
class InstanceServer : public QObject {
  Q_OBJECT
 public:
  explicit InstanceServer(QObject* parent = nullptr);
  InstanceServer(const QString& socketPath, QObject* parent);
  ~InstanceServer() override;

  // Starts listening. A socket left by an instance that has died is taken over; false when a
  // live instance answers on it, or the socket cannot be made.
  bool Listen();
  bool IsListening() const;
  QString SocketPath() const { return path_; }

 signals:
  // A later start's paths, in its order (none when it was started without files). Connections of
  // another user are refused unread; messages too long or not UTF-8 are dropped unanswered.
  void filesReceived(const QStringList& paths);
  // Follows every hand-off: the later start asks the player to come to the front.
  void activateRequested();

 private:
  void AcceptPending();

  QString path_;
  QLocalServer* server_ = nullptr;
};

// What the start-up does with the single-instance check.
enum class InstanceRole {
  HandedOver,  // a running instance took the paths: exit with status 0
  First,       // this process is the first instance and `server` listens
  Alone,       // no hand-off and no socket: run without the single-instance service
};

// Hands `paths` to a running instance or becomes the first one. Two starts racing with no
// instance running settle on one first instance; the other hands over to it.
InstanceRole ClaimInstance(InstanceServer& server, const QStringList& paths, int timeoutMs = kHandOffTimeoutMs);

}  // namespace tovira
