#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstring>
#include <functional>
#include <list>
#include <memory>

#include "QtTestApp.h"
#include "app/SingleInstance.h"

namespace tovira {
namespace {

using test::ProcessEventsUntil;

// The rules themselves are CommandLine's; here, that names beyond ASCII come through them whole.
TEST(HandOffPaths, AreTheCommandLinesPathsAsText) {
  const QString home = QString::fromUtf8("/home/Jürgen");
  EXPECT_EQ(HandOffPathsFromArguments({}, home), QStringList{});
  EXPECT_EQ(HandOffPathsFromArguments({QString::fromUtf8("\"Ärger.mp3\""), "", "file:///%E2%99%AA.mp3", "/a b.mp2"}, home),
            (QStringList{home + QString::fromUtf8("/Ärger.mp3"), QString::fromUtf8("/♪.mp3"), "/a b.mp2"}));
}

// A private folder for one test's socket, with the application made.
struct SocketFolder {
  SocketFolder() {
    test::QtApp();
    EXPECT_TRUE(dir.isValid());
  }
  QString Path() const { return dir.filePath("s"); }
  QTemporaryDir dir;
};

TEST(HandOff, WithNobodyListeningFailsAndTheStartRunsAlone) {
  SocketFolder folder;
  const QStringList paths{"/a.mp3"};
  EXPECT_FALSE(HandOffToRunningInstance(paths, folder.Path(), 5000));
  EXPECT_FALSE(HandOffToRunningInstance(paths, QString(), 5000));
  QFile plain(folder.Path());
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  EXPECT_FALSE(HandOffToRunningInstance(paths, folder.Path(), 5000));
  // No socket to listen on: no hand-off, and no failure either.
  InstanceServer nowhere(QString(), nullptr);
  EXPECT_EQ(ClaimInstance(nowhere, paths, 2000), InstanceRole::Alone);
  InstanceServer unreachable(folder.dir.path() + "/missing/folder/s", nullptr);
  EXPECT_EQ(ClaimInstance(unreachable, paths, 2000), InstanceRole::Alone);
}

TEST(InstanceSocketPath, LivesInThePrivateRuntimeFolder) {
  test::QtApp();
  QTemporaryDir runtime;
  ASSERT_TRUE(runtime.isValid());
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  ::chmod(QFile::encodeName(runtime.path()).constData(), 0700);
  const QString path = InstanceSocketPath();
  EXPECT_EQ(QFileInfo(path).path(), runtime.path());
  EXPECT_EQ(InstanceSocketPath(), path);
  // A folder others can enter is no place for it: either no socket, or one in a private folder.
  ::chmod(QFile::encodeName(runtime.path()).constData(), 0777);
  const QString elsewhere = InstanceSocketPath();
  EXPECT_FALSE(elsewhere.startsWith(runtime.path())) << elsewhere.toStdString();
  if (!elsewhere.isEmpty()) {
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(elsewhere).path()).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 0077, 0u);
  }
  qputenv("XDG_RUNTIME_DIR", saved);
}

// --- Several processes, as the desktop starts them -------------------------------------------

class Probe {
 public:
  Probe(const QString& mode, const QString& socket, const QStringList& arguments = {},
        const QString& workingDirectory = QString()) {
    process_.setWorkingDirectory(workingDirectory);
    process_.start(TOVIRA_INSTANCE_PROBE, QStringList{mode, socket} + arguments);
  }
  ~Probe() {
    process_.kill();  // SIGKILL: no chance to clean up, as in a crash
    process_.waitForFinished(10000);
  }
  bool WaitForLine(const QString& line, int ms = 30000) {
    return ProcessEventsUntil([&] { return Lines().contains(line); }, ms);
  }
  QStringList Lines() {
    process_.waitForReadyRead(5);
    output_ += QString::fromUtf8(process_.readAllStandardOutput());
    return output_.split('\n', Qt::SkipEmptyParts);
  }
  // The paths of each hand-off, in the order they came.
  QList<QStringList> Commands() {
    QList<QStringList> commands;
    for (const QString& line : Lines())
      if (line.startsWith("CMD ")) commands << line.mid(4).split(QChar(0), Qt::SkipEmptyParts);
    return commands;
  }
  // Exit status, or -1 if it did not end in time.
  int Wait(int ms = 60000) {
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(ms)) return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }

 private:
  QProcess process_;
  QString output_;
};

// Names with blanks and quotes; one far past any one-byte length, and not ASCII.
QString TrackName(int i) {
  QString name = QString("/music/track %1 \"live\"").arg(i, 2, 10, QChar('0'));
  while (i == 7 && name.size() < 5000) name += QString::fromUtf8("/Ordner mit Überlänge ") + QString::number(name.size());
  return name + ".mp3";
}

TEST(SingleInstanceProcesses, TwentyConcurrentStartsAllReachTheFirstInstance) {
  SocketFolder folder;
  Probe first("start", folder.Path());
  ASSERT_TRUE(first.WaitForLine("FIRST"));
  InstanceServer intruder(folder.Path(), nullptr);  // a live socket is not taken over
  ASSERT_FALSE(intruder.Listen());
  std::vector<std::unique_ptr<Probe>> later;
  QSet<QStringList> expected;
  for (int i = 0; i < 20; ++i) {
    later.push_back(std::make_unique<Probe>("start", folder.Path(), QStringList{TrackName(i)}));
    expected.insert({TrackName(i)});
  }
  for (auto& p : later) EXPECT_EQ(p->Wait(), 0) << "a later start did not hand over and exit";
  ASSERT_TRUE(ProcessEventsUntil([&] {
    const QList<QStringList> got = first.Commands();
    return QSet<QStringList>(got.begin(), got.end()) == expected;
  }, 30000)) << first.Lines().join('|').left(2000).toStdString();
  EXPECT_EQ(first.Commands().size(), 20);
  EXPECT_EQ(first.Lines().count("ACT"), 20);
}

// Whatever a local client sends, nothing but a well-formed message is passed on, and clients
// that stop half-way hold nobody else up.
TEST(SingleInstanceProcesses, MalformedMessagesAreDroppedUnread) {
  SocketFolder folder;
  Probe first("start", folder.Path());
  ASSERT_TRUE(first.WaitForLine("FIRST"));
  std::list<QLocalSocket> clients;
  for (const QByteArray& message :
       {QByteArray("HTTP/1.0 GET /\r\n\r\n"), QByteArray("TVR1\x7f\xff\xff\xff", 8) + QByteArray(64, 'x'),
        QByteArray("TVR1\0\0\0\x20/short", 14), QByteArray("TV"), QByteArray("TVR1\0\0\0\x04/\xff\xfe\x80", 12)}) {
    QLocalSocket& raw = clients.emplace_back();
    raw.connectToServer(folder.Path());
    ASSERT_TRUE(raw.waitForConnected(5000));
    raw.write(message);
    ASSERT_TRUE(raw.waitForBytesWritten(5000));
  }
  Probe ok("send", folder.Path(), {"/ok.mp3"});
  EXPECT_EQ(ok.Wait(), 0);
  ASSERT_TRUE(first.WaitForLine("CMD /ok.mp3"));
  QThread::msleep(1500);  // time for a wrongly accepted message to show
  EXPECT_EQ(first.Commands(), QList<QStringList>{{"/ok.mp3"}});
  EXPECT_EQ(first.Lines().count("ACT"), 1);
}

TEST(SingleInstanceProcesses, StartsRacingWithNoInstanceSettleOnOne) {
  SocketFolder folder;
  std::vector<std::unique_ptr<Probe>> starts;
  for (int i = 0; i < 6; ++i) starts.push_back(std::make_unique<Probe>("start", folder.Path(), QStringList{TrackName(i)}));
  // Exactly one stays as the first instance; the others hand over to it and end.
  ASSERT_TRUE(ProcessEventsUntil([&] {
    int ended = 0;
    for (auto& p : starts) ended += p->Wait(1) == 0 ? 1 : 0;
    return ended == 5;
  }, 60000));
  Probe* firstOne = nullptr;
  for (auto& p : starts) {
    if (p->Wait(0) == 0) continue;  // handed over and ended
    EXPECT_EQ(firstOne, nullptr) << "two first instances";
    firstOne = p.get();
  }
  ASSERT_NE(firstOne, nullptr);
  ASSERT_TRUE(firstOne->WaitForLine("FIRST"));
  ASSERT_TRUE(ProcessEventsUntil([&] { return firstOne->Commands().size() == 5; }));
}

TEST(SingleInstanceProcesses, SocketOfACrashedInstanceIsTakenOver) {
  SocketFolder folder;
  {
    Probe crashed("start", folder.Path());
    ASSERT_TRUE(crashed.WaitForLine("FIRST"));
  }  // killed
  struct stat st {};
  ASSERT_EQ(::lstat(QFile::encodeName(folder.Path()).constData(), &st), 0) << "the dead instance left no socket";
  Probe next("start", folder.Path(), {"/music/after crash.mp3"});
  ASSERT_TRUE(next.WaitForLine("FIRST")) << "the stale socket was obeyed: " << next.Lines().join('|').toStdString();
  Probe later("send", folder.Path(), {"/music/later.mp3"});
  EXPECT_EQ(later.Wait(), 0);
  EXPECT_TRUE(next.WaitForLine("CMD /music/later.mp3"));
}

// A later start's files come in one hand-off, in their order, each whole: a blank or a letter
// beyond ASCII splits nothing, and a relative name is one of the later start's own folder.
TEST(SingleInstanceProcesses, SeveralFilesOfOneStartArriveTogetherInOrderAndNoneOnlyActivates) {
  SocketFolder folder;
  Probe first("start", folder.Path());
  ASSERT_TRUE(first.WaitForLine("FIRST"));
  const QString space = "/music/My Song.mp3";
  const QString accented = QString::fromUtf8("/music/Café über/日本.mp2");
  const QString here = QFileInfo(folder.dir.path()).canonicalFilePath();  // the probe's own folder
  Probe second("start", folder.Path(), {space, "list.m3u", accented}, here);
  EXPECT_EQ(second.Wait(), 0);
  ASSERT_TRUE(first.WaitForLine("ACT"));
  EXPECT_EQ(first.Commands(), (QList<QStringList>{{space, here + "/list.m3u", accented}}));
  EXPECT_EQ(first.Lines().count("ACT"), 1);
  // A start without arguments only activates: a hand-off of no paths.
  Probe third("start", folder.Path());
  EXPECT_EQ(third.Wait(), 0);
  ASSERT_TRUE(ProcessEventsUntil([&] { return first.Lines().count("ACT") == 2; }));
  EXPECT_EQ(first.Commands(), (QList<QStringList>{{space, here + "/list.m3u", accented}, {}}));
}

// --- Another user on the same machine (needs root to become that user) ------------------------

// A child process running `body` as the user nobody; it exits with 10 when it cannot switch.
pid_t ForkAsNobody(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(::setgid(65534) != 0 || ::setuid(65534) != 0 ? 10 : body());
  return pid;
}

// Waits for a forked child while serving this thread's events; its exit status, or -1.
int WaitChild(pid_t pid) {
  int status = 0;
  pid_t done = 0;
  ProcessEventsUntil([&] { return (done = ::waitpid(pid, &status, WNOHANG)) != 0; }, 30000);
  if (done != pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

sockaddr_un Address(const QString& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const QByteArray p = QFile::encodeName(path);
  std::memcpy(addr.sun_path, p.constData(), std::min<size_t>(p.size(), sizeof addr.sun_path - 1));
  return addr;
}

TEST(SingleInstanceUsers, AnotherUserCannotHandAnythingOver) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  SocketFolder folder;
  // Even where the folder and socket let everyone in, the server listens to its own user only.
  ::chmod(QFile::encodeName(folder.dir.path()).constData(), 0777);
  Probe first("start", folder.Path());
  ASSERT_TRUE(first.WaitForLine("FIRST"));
  ::chmod(QFile::encodeName(folder.Path()).constData(), 0777);
  sockaddr_un addr = Address(folder.Path());
  const int status = WaitChild(ForkAsNobody([&] {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const char message[] = "TVR1\0\0\0\x06/x.mp3";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return 11;
    if (::write(fd, message, sizeof message - 1) < 0) return 12;
    pollfd p{fd, POLLIN, 0};
    char ack = 0;
    return ::poll(&p, 1, 10000) == 1 && ::read(fd, &ack, 1) == 1 && ack == 'A' ? 0 : 13;
  }));
  EXPECT_NE(status, 10) << "could not become another user";
  EXPECT_NE(status, 0) << "the server acknowledged another user's hand-off";
  EXPECT_EQ(first.Lines(), QStringList{"FIRST"});
}

TEST(SingleInstanceUsers, NothingIsHandedToAnotherUsersSocket) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  SocketFolder folder;
  ::chmod(QFile::encodeName(folder.dir.path()).constData(), 0777);
  sockaddr_un addr = Address(folder.Path());
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  // Another user's process squatting on the name answers like an instance would.
  const pid_t child = ForkAsNobody([&] {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) return 11;
    ::chmod(addr.sun_path, 0777);
    if (::write(ready[1], "r", 1) != 1) return 12;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1) return 0;  // nobody came
    const int conn = ::accept(fd, nullptr, nullptr);
    char buf[64];
    pollfd q{conn, POLLIN, 0};
    const bool gotData = ::poll(&q, 1, 3000) == 1 && ::read(conn, buf, sizeof buf) > 0;
    (void)!::send(conn, "A", 1, MSG_NOSIGNAL);
    return gotData ? 1 : 0;
  });
  char r = 0;
  ASSERT_EQ(::read(ready[0], &r, 1), 1);
  EXPECT_FALSE(HandOffToRunningInstance({"/music/private.mp3"}, folder.Path(), 5000));
  EXPECT_EQ(WaitChild(child), 0) << "the file name reached another user's process";
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
}  // namespace tovira
