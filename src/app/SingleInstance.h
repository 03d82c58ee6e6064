#pragma once
// One running player per user: a later start hands its command line to the running instance over
// a local socket in the user's private runtime folder, and exits.
//
// The message is "TVR1", a 32-bit big-endian length and that many bytes of UTF-8; the running
// instance answers one byte once it has passed the text on, so the later process exits only when
// its file is safely with the first one.

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace tovira {

inline constexpr char kInstanceIdentifier[] = "7F3A91C2-4B6E-4d28-A5C1-93E0B7D4F21A";

// How long a later start waits for the running instance to take its command line.
inline constexpr int kHandOffTimeoutMs = 10000;

// The socket for `identifier` in the user's runtime folder (XDG_RUNTIME_DIR, or the per-user
// folder Qt makes when that is unset); empty when there is no private folder to put it in.
QString InstanceSocketPath(const QString& identifier = QString::fromLatin1(kInstanceIdentifier));

// The text a later start hands over: the file named by the arguments after the program name (one
// path, quotes around it removed), made absolute against `workingDirectory` because the running
// instance lives in another folder. Empty for no arguments.
QString HandOffTextFromArguments(const QStringList& arguments, const QString& workingDirectory);

// True when a running instance of this user took `commandLine` (the caller then exits with 0).
// False when none answers, the socket belongs to someone else, or the hand-off does not complete
// within `timeoutMs`; the caller then starts as a first instance.
bool HandOffToRunningInstance(const QString& commandLine);
bool HandOffToRunningInstance(const QString& commandLine, const QString& socketPath,
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
  // A later start's text (possibly empty); connections of another user are refused unread.
  void commandLineReceived(const QString& commandLine);
  // Follows every hand-off: the later start asks the player to come to the front.
  void activateRequested();

 private:
  void AcceptPending();

  QString path_;
  QLocalServer* server_ = nullptr;
};

// What the start-up does with the single-instance check.
enum class InstanceRole {
  HandedOver,  // a running instance took the text: exit with status 0
  First,       // this process is the first instance and `server` listens
  Alone,       // no hand-off and no socket: run without the single-instance service
};

// Hands `handOffText` to a running instance or becomes the first one. Two starts racing with no
// instance running settle on one first instance; the other hands over to it.
InstanceRole ClaimInstance(InstanceServer& server, const QString& handOffText,
                           int timeoutMs = kHandOffTimeoutMs);

}  // namespace tovira
