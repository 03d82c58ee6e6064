#include "app/SingleInstance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace tovira {
namespace {

constexpr char kMagic[] = "TVR1";
constexpr int kHeaderSize = 8;
constexpr char kAck = 'A';
// A command line's paths: exec passes a program at most 2 MiB of arguments by default, and relative
// paths grow when made absolute. Anything longer is not from a later start of ours.
constexpr qsizetype kMaxMessageBytes = qsizetype{8} << 20;
// Between two paths of a message: no path can hold it.
constexpr QChar kPathSeparator = QChar(0);
constexpr int kConnectionPatienceMs = 10000;
constexpr int kLockPatienceMs = 5000;

// The uid at the other end of a connected local socket, or -1 when it cannot be told.
long PeerUid(qintptr descriptor) {
  if (descriptor < 0) return -1;
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return -1;
  return static_cast<long>(cred.uid);
}

bool IsSameUser(qintptr descriptor) { return PeerUid(descriptor) == static_cast<long>(::geteuid()); }

// The payload of a message with `paths`.
QByteArray PathsPayload(const QStringList& paths) {
  QString text;
  bool first = true;
  for (const QString& path : paths) {
    if (path.isEmpty() || path.contains(kPathSeparator)) continue;
    if (!first) text += kPathSeparator;
    text += path;
    first = false;
  }
  return text.toUtf8();
}

QByteArray Encode(const QByteArray& utf8) {
  QByteArray message(kMagic, 4);
  const quint32 n = static_cast<quint32>(utf8.size());
  message.append(static_cast<char>((n >> 24) & 0xFF));
  message.append(static_cast<char>((n >> 16) & 0xFF));
  message.append(static_cast<char>((n >> 8) & 0xFF));
  message.append(static_cast<char>(n & 0xFF));
  return message + utf8;
}

int Remaining(const QDeadlineTimer& deadline) {
  return static_cast<int>(std::max<qint64>(1, deadline.remainingTime()));
}

// Reads one message from a later start, answers it and goes away.
class Connection : public QObject {
 public:
  Connection(QLocalSocket* socket, InstanceServer* server) : QObject(server), socket_(socket), server_(server) {
    socket_->setParent(this);
    connect(socket_, &QLocalSocket::readyRead, this, [this] { Read(); });
    connect(socket_, &QLocalSocket::disconnected, this, [this] { deleteLater(); });
    // A peer that never finishes its message does not hold the connection for ever.
    QTimer::singleShot(kConnectionPatienceMs, this, [this] { Drop(); });
    Read();
  }

 private:
  void Drop() {
    socket_->abort();
    deleteLater();
  }

  void Read() {
    if (done_) return;
    buffer_ += socket_->readAll();
    if (buffer_.size() < kHeaderSize) return;
    if (!buffer_.startsWith(kMagic)) return Drop();
    const auto* b = reinterpret_cast<const unsigned char*>(buffer_.constData());
    const quint32 n = (quint32{b[4]} << 24) | (quint32{b[5]} << 16) | (quint32{b[6]} << 8) | quint32{b[7]};
    if (n > static_cast<quint32>(kMaxMessageBytes)) return Drop();
    if (buffer_.size() < kHeaderSize + static_cast<qsizetype>(n)) return;
    done_ = true;
    // A byte order mark would be part of the first path, not a marker to skip.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = utf8.decode(QByteArrayView(buffer_).sliced(kHeaderSize, static_cast<qsizetype>(n)));
    if (utf8.hasError()) return Drop();
    const QStringList paths = text.split(kPathSeparator, Qt::SkipEmptyParts);
    QPointer<Connection> alive(this);
    emit server_->filesReceived(paths);
    emit server_->activateRequested();
    if (!alive) return;
    socket_->write(&kAck, 1);
    socket_->flush();
    socket_->disconnectFromServer();
  }

  QLocalSocket* socket_;
  InstanceServer* server_;
  QByteArray buffer_;
  bool done_ = false;
};

}  // namespace

QString InstanceSocketPath(const QString& identifier) {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) return {};
  // The runtime folder must be this user's alone, or another user could answer in our place.
  struct stat st {};
  const QByteArray native = QFile::encodeName(folder);
  if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
      (st.st_mode & 0077) != 0) {
    return {};
  }
  return QDir(folder).filePath(QStringLiteral("tovira-") + identifier);
}

QStringList HandOffPathsFromArguments(const QStringList& arguments, const QString& workingDirectory) {
  std::vector<std::string> args;
  args.reserve(static_cast<size_t>(arguments.size()));
  for (const QString& a : arguments) args.push_back(a.toStdString());
  QStringList paths;
  for (const std::string& path : StartupFilesFromArguments(args, workingDirectory.toStdString()))
    paths << QString::fromStdString(path);
  return paths;
}

bool HandOffToRunningInstance(const QStringList& paths) {
  return HandOffToRunningInstance(paths, InstanceSocketPath());
}

bool HandOffToRunningInstance(const QStringList& paths, const QString& socketPath, int timeoutMs) {
  if (socketPath.isEmpty()) return false;
  const QByteArray payload = PathsPayload(paths);
  if (payload.size() > kMaxMessageBytes) return false;  // the running instance would refuse it
  struct stat st {};
  if (::lstat(QFile::encodeName(socketPath).constData(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;

  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(Remaining(deadline))) return false;
  // Never hand a file name to a process of another user.
  if (!IsSameUser(socket.socketDescriptor())) {
    socket.abort();
    return false;
  }
  socket.write(Encode(payload));
  while (socket.bytesToWrite() > 0) {
    if (deadline.hasExpired() || !socket.waitForBytesWritten(Remaining(deadline))) return false;
  }
  while (socket.bytesAvailable() < 1) {
    if (deadline.hasExpired() || !socket.waitForReadyRead(Remaining(deadline))) return false;
  }
  char ack = 0;
  return socket.read(&ack, 1) == 1 && ack == kAck;
}

InstanceServer::InstanceServer(QObject* parent) : InstanceServer(InstanceSocketPath(), parent) {}

InstanceServer::InstanceServer(const QString& socketPath, QObject* parent)
    : QObject(parent), path_(socketPath), server_(new QLocalServer(this)) {
  connect(server_, &QLocalServer::newConnection, this, [this] { AcceptPending(); });
}

InstanceServer::~InstanceServer() { server_->close(); }

bool InstanceServer::IsListening() const { return server_->isListening(); }

bool InstanceServer::Listen() {
  if (path_.isEmpty()) return false;
  if (server_->isListening()) return true;
  // Starts racing for the socket take turns, so a fresh socket is never removed as stale.
  QLockFile lock(path_ + QStringLiteral(".lock"));
  const bool locked = lock.tryLock(kLockPatienceMs);

  struct stat st {};
  const QByteArray native = QFile::encodeName(path_);
  if (::lstat(native.constData(), &st) == 0) {
    QLocalSocket probe;
    probe.connectToServer(path_);
    if (probe.waitForConnected(1000)) {
      probe.abort();
      return false;  // a live instance owns it
    }
    // Left behind by an instance that died: nobody answers, so it is taken over.
    QLocalServer::removeServer(path_);
  }
  const bool ok = server_->listen(path_);
  if (ok) ::chmod(native.constData(), 0600);
  if (locked) lock.unlock();
  return ok;
}

void InstanceServer::AcceptPending() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    if (!IsSameUser(socket->socketDescriptor())) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    new Connection(socket, this);
  }
}

InstanceRole ClaimInstance(InstanceServer& server, const QStringList& paths, int timeoutMs) {
  if (HandOffToRunningInstance(paths, server.SocketPath(), timeoutMs)) return InstanceRole::HandedOver;
  if (server.Listen()) return InstanceRole::First;
  // Another start won the race for the socket while this one looked: hand over to it.
  if (HandOffToRunningInstance(paths, server.SocketPath(), timeoutMs)) return InstanceRole::HandedOver;
  return InstanceRole::Alone;
}

}  // namespace tovira
