#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <cstring>
#include <memory>
#include <thread>

#include "QtTestApp.h"
#include "app/SingleInstance.h"

namespace tovira {
namespace {

using test::ProcessEventsUntil;

struct HandOffCase {
  const char* name;
  QStringList arguments;
  const char* workingDirectory;
  const char* expected;
};

class HandOffText : public ::testing::TestWithParam<HandOffCase> {};

TEST_P(HandOffText, NamesOneAbsoluteFile) {
  const HandOffCase& c = GetParam();
  EXPECT_EQ(HandOffTextFromArguments(c.arguments, c.workingDirectory), QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, HandOffText,
    ::testing::Values(HandOffCase{"None", {}, "/home/u", ""},
                      HandOffCase{"Absolute", {"/music/a.mp3"}, "/home/u", "/music/a.mp3"},
                      HandOffCase{"QuotedWithBlank", {"\"/music/My Song.mp3\""}, "/x", "/music/My Song.mp3"},
                      HandOffCase{"SplitAtBlanks", {"/music/My", "Song.mp3"}, "/x", "/music/My Song.mp3"},
                      HandOffCase{"Relative", {"songs/a.mp3"}, "/home/u", "/home/u/songs/a.mp3"},
                      HandOffCase{"RelativeUp", {"../b.mp2"}, "/home/u/music", "/home/u/b.mp2"},
                      HandOffCase{"OnlyQuotes", {"\"\""}, "/home/u", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A private folder for one test's socket.
class SocketFolder {
 public:
  SocketFolder() { EXPECT_TRUE(dir_.isValid()); }
  QString Path() const { return dir_.filePath("s"); }
  QString Folder() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
};

// Runs a blocking hand-off on its own thread while this thread serves the socket.
bool HandOffWhileServing(const QString& text, const QString& path, int timeoutMs = 20000) {
  std::atomic<int> result{-1};
  std::thread sender([&] { result = HandOffToRunningInstance(text, path, timeoutMs) ? 1 : 0; });
  ProcessEventsUntil([&] { return result.load() >= 0; }, timeoutMs + 20000);
  sender.join();
  return result.load() == 1;
}

struct Received {
  QStringList texts;
  int activations = 0;
  void Attach(InstanceServer& server) {
    QObject::connect(&server, &InstanceServer::commandLineReceived, [this](const QString& t) { texts << t; });
    QObject::connect(&server, &InstanceServer::activateRequested, [this] { ++activations; });
  }
};

class HandOffWhole : public ::testing::TestWithParam<std::pair<const char*, QString>> {};

TEST_P(HandOffWhole, RunningInstanceGetsTheTextUnchangedAndComesForward) {
  test::QtApp();
  SocketFolder folder;
  InstanceServer server(folder.Path(), nullptr);
  Received got;
  got.Attach(server);
  ASSERT_TRUE(server.Listen());
  const QString text = GetParam().second;
  EXPECT_TRUE(HandOffWhileServing(text, folder.Path()));
  ASSERT_EQ(got.texts.size(), 1);
  EXPECT_EQ(got.texts[0], text);
  EXPECT_EQ(got.activations, 1);
}

QString LongPath() {
  QString path = "/music";
  while (path.size() < 5000) path += QString::fromUtf8("/Ordner mit Überlänge ") + QString::number(path.size());
  return path + ".mp3";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HandOffWhole,
    ::testing::Values(std::make_pair("Empty", QString()), std::make_pair("Plain", QString("/music/a.mp3")),
                      std::make_pair("LongerThan255", QString("/m/") + QString(300, 'x') + ".mp3"),
                      std::make_pair("VeryLongUnicode", LongPath())),
    [](const auto& info) { return std::string(info.param.first); });

TEST(HandOff, NothingToHandToFailsAtOnce) {
  test::QtApp();
  SocketFolder folder;
  EXPECT_FALSE(HandOffToRunningInstance("/a.mp3", folder.Path(), 5000));
  EXPECT_FALSE(HandOffToRunningInstance("/a.mp3", QString(), 5000));
  QFile plain(folder.Path());
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  EXPECT_FALSE(HandOffToRunningInstance("/a.mp3", folder.Path(), 5000));
}

TEST(InstanceServer, SecondServerOnALiveSocketRefuses) {
  test::QtApp();
  SocketFolder folder;
  InstanceServer first(folder.Path(), nullptr);
  ASSERT_TRUE(first.Listen());
  InstanceServer second(folder.Path(), nullptr);
  EXPECT_FALSE(second.Listen());
  // The first one still answers.
  Received got;
  got.Attach(first);
  EXPECT_TRUE(HandOffWhileServing("/b.mp3", folder.Path()));
  EXPECT_EQ(got.texts, QStringList{"/b.mp3"});
}

TEST(InstanceSocketPath, LivesInThePrivateRuntimeFolder) {
  test::QtApp();
  QTemporaryDir runtime;
  ASSERT_TRUE(runtime.isValid());
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  ::chmod(QFile::encodeName(runtime.path()).constData(), 0700);
  EXPECT_EQ(InstanceSocketPath(), runtime.filePath("tovira-7F3A91C2-4B6E-4d28-A5C1-93E0B7D4F21A"));
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

TEST(InstanceServer, WithoutASocketTheStartRunsAlone) {
  test::QtApp();
  InstanceServer nowhere(QString(), nullptr);
  EXPECT_EQ(ClaimInstance(nowhere, "/a.mp3", 2000), InstanceRole::Alone);
  SocketFolder folder;
  InstanceServer unreachable(folder.Folder() + "/missing/folder/s", nullptr);
  EXPECT_EQ(ClaimInstance(unreachable, "/a.mp3", 2000), InstanceRole::Alone);
}

// Whatever a local client sends, nothing but a well-formed message is passed on.
class Malformed : public ::testing::TestWithParam<std::pair<const char*, QByteArray>> {};

TEST_P(Malformed, MessageIsDroppedUnread) {
  test::QtApp();
  SocketFolder folder;
  InstanceServer server(folder.Path(), nullptr);
  Received got;
  got.Attach(server);
  ASSERT_TRUE(server.Listen());
  QLocalSocket raw;
  raw.connectToServer(folder.Path());
  ASSERT_TRUE(raw.waitForConnected(5000));
  raw.write(GetParam().second);
  raw.flush();
  // The server closes the connection (or leaves it waiting) and passes nothing on.
  ProcessEventsUntil([&] { return raw.state() == QLocalSocket::UnconnectedState; }, 1500);
  QApplication::processEvents();
  EXPECT_TRUE(got.texts.isEmpty());
  EXPECT_EQ(got.activations, 0);
  // It still serves a proper hand-off afterwards.
  EXPECT_TRUE(HandOffWhileServing("/ok.mp3", folder.Path()));
  EXPECT_EQ(got.texts, QStringList{"/ok.mp3"});
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Malformed,
    ::testing::Values(std::make_pair("WrongMagic", QByteArray("HTTP/1.0 GET /\r\n\r\n")),
                      std::make_pair("Oversized", QByteArray("TVR1\x7f\xff\xff\xff", 8) + QByteArray(64, 'x')),
                      std::make_pair("Truncated", QByteArray("TVR1\0\0\0\x20/short", 14)),
                      std::make_pair("HeaderOnlyHalf", QByteArray("TV"))),
    [](const auto& info) { return std::string(info.param.first); });

// --- Several processes, as the desktop starts them -------------------------------------------

class Probe {
 public:
  Probe(const QString& mode, const QString& socket, const QString& text) {
    process_.setProgram(TOVIRA_INSTANCE_PROBE);
    process_.setArguments({mode, socket, text.isEmpty() ? QString("-") : text});
    process_.start();
  }
  ~Probe() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(10000);
    }
  }
  bool WaitForLine(const QString& line, int ms = 30000) {
    return ProcessEventsUntil(
        [&] {
          Collect();
          return Lines().contains(line);
        },
        ms);
  }
  void Collect() {
    process_.waitForReadyRead(5);
    output_ += QString::fromUtf8(process_.readAllStandardOutput());
  }
  QStringList Lines() const { return output_.split('\n', Qt::SkipEmptyParts); }
  QStringList Commands() const {
    QStringList cmds;
    for (const QString& l : Lines())
      if (l.startsWith("CMD ")) cmds << l.mid(4);
    return cmds;
  }
  // Exit status, or -1 if it did not end in time.
  int Wait(int ms = 60000) {
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(ms)) return -1;
    if (process_.exitStatus() != QProcess::NormalExit) return -1;
    output_ += QString::fromUtf8(process_.readAllStandardOutput());
    return process_.exitCode();
  }
  void KillHard() {
    ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
    process_.waitForFinished(10000);
  }

 private:
  QProcess process_;
  QString output_;
};

QString TrackName(int i) { return QString("/music/track %1 \"live\".mp3").arg(i, 2, 10, QChar('0')); }

TEST(SingleInstanceProcesses, TwentyConcurrentStartsAllReachTheFirstInstance) {
  test::QtApp();
  SocketFolder folder;
  Probe first("start", folder.Path(), "");
  ASSERT_TRUE(first.WaitForLine("FIRST"));

  std::vector<std::unique_ptr<Probe>> later;
  for (int i = 0; i < 20; ++i) later.push_back(std::make_unique<Probe>("start", folder.Path(), TrackName(i)));
  for (auto& p : later) EXPECT_EQ(p->Wait(), 0) << "a later start did not hand over and exit";

  QSet<QString> expected;
  for (int i = 0; i < 20; ++i) expected.insert(TrackName(i));
  ASSERT_TRUE(ProcessEventsUntil([&] {
    first.Collect();
    const QStringList got = first.Commands();
    return QSet<QString>(got.begin(), got.end()) == expected;
  }, 30000))
      << first.Lines().join('|').toStdString();
  EXPECT_EQ(first.Commands().size(), 20);
  EXPECT_EQ(first.Lines().count("ACT"), 20);
}

TEST(SingleInstanceProcesses, StartsRacingWithNoInstanceSettleOnOne) {
  test::QtApp();
  SocketFolder folder;
  std::vector<std::unique_ptr<Probe>> starts;
  for (int i = 0; i < 6; ++i) starts.push_back(std::make_unique<Probe>("start", folder.Path(), TrackName(i)));
  // Exactly one stays as the first instance; the others hand over to it and end.
  ASSERT_TRUE(ProcessEventsUntil([&] {
    int ended = 0;
    for (auto& p : starts) ended += p->Wait(1) == 0 ? 1 : 0;
    return ended == 5;
  }, 60000));
  Probe* firstOne = nullptr;
  for (auto& p : starts) {
    if (p->WaitForLine("FIRST", 1000)) {
      EXPECT_EQ(firstOne, nullptr) << "two first instances";
      firstOne = p.get();
    }
  }
  ASSERT_NE(firstOne, nullptr);
  ASSERT_TRUE(ProcessEventsUntil([&] {
    firstOne->Collect();
    return firstOne->Commands().size() == 5;
  }));
}

TEST(SingleInstanceProcesses, SocketOfACrashedInstanceIsTakenOver) {
  test::QtApp();
  SocketFolder folder;
  {
    Probe crashed("start", folder.Path(), "");
    ASSERT_TRUE(crashed.WaitForLine("FIRST"));
    crashed.KillHard();
  }
  struct stat st {};
  ASSERT_EQ(::lstat(QFile::encodeName(folder.Path()).constData(), &st), 0) << "the dead instance left no socket";

  Probe next("start", folder.Path(), "/music/after crash.mp3");
  ASSERT_TRUE(next.WaitForLine("FIRST")) << "the stale socket was obeyed: " << next.Lines().join('|').toStdString();
  Probe later("send", folder.Path(), "/music/later.mp3");
  EXPECT_EQ(later.Wait(), 0);
  EXPECT_TRUE(next.WaitForLine("CMD /music/later.mp3"));
}

TEST(SingleInstanceProcesses, SecondStartWithoutArgumentsOnlyActivates) {
  test::QtApp();
  SocketFolder folder;
  Probe first("start", folder.Path(), "");
  ASSERT_TRUE(first.WaitForLine("FIRST"));
  Probe second("start", folder.Path(), "");
  EXPECT_EQ(second.Wait(), 0);
  ASSERT_TRUE(first.WaitForLine("ACT"));
  EXPECT_EQ(first.Commands(), QStringList{""});
}

// --- Another user on the same machine (needs root to become that user) ------------------------

constexpr uid_t kNobody = 65534;

sockaddr_un Address(const QString& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const QByteArray p = QFile::encodeName(path);
  std::memcpy(addr.sun_path, p.constData(), std::min<size_t>(p.size(), sizeof addr.sun_path - 1));
  return addr;
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

TEST(SingleInstanceUsers, AnotherUserCannotHandAnythingOver) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  test::QtApp();
  SocketFolder folder;
  // Even where the folder and socket let everyone in, the server listens to its own user only.
  ::chmod(QFile::encodeName(folder.Folder()).constData(), 0777);
  InstanceServer server(folder.Path(), nullptr);
  Received got;
  got.Attach(server);
  ASSERT_TRUE(server.Listen());
  ::chmod(QFile::encodeName(folder.Path()).constData(), 0777);

  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(10);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = Address(folder.Path());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) ::_exit(11);
    const char message[] = "TVR1\0\0\0\x06/x.mp3";
    if (::write(fd, message, sizeof message - 1) < 0) ::_exit(12);
    pollfd p{fd, POLLIN, 0};
    char ack = 0;
    if (::poll(&p, 1, 10000) == 1 && ::read(fd, &ack, 1) == 1 && ack == 'A') ::_exit(0);
    ::_exit(13);
  }
  const int status = WaitChild(child);
  EXPECT_NE(status, 10) << "could not become another user";
  EXPECT_NE(status, 0) << "the server acknowledged another user's hand-off";
  QApplication::processEvents();
  EXPECT_TRUE(got.texts.isEmpty());
  EXPECT_EQ(got.activations, 0);
}

TEST(SingleInstanceUsers, NothingIsHandedToAnotherUsersSocket) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  test::QtApp();
  SocketFolder folder;
  ::chmod(QFile::encodeName(folder.Folder()).constData(), 0777);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    // Another user's process squatting on the name answers like an instance would.
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(10);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = Address(folder.Path());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) ::_exit(11);
    ::chmod(addr.sun_path, 0777);
    if (::write(ready[1], "r", 1) != 1) ::_exit(12);
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1) ::_exit(0);  // nobody came
    const int conn = ::accept(fd, nullptr, nullptr);
    char buf[64];
    pollfd q{conn, POLLIN, 0};
    const bool gotData = ::poll(&q, 1, 3000) == 1 && ::read(conn, buf, sizeof buf) > 0;
    (void)!::send(conn, "A", 1, MSG_NOSIGNAL);
    ::_exit(gotData ? 1 : 0);
  }
  char r = 0;
  ASSERT_EQ(::read(ready[0], &r, 1), 1);
  EXPECT_FALSE(HandOffToRunningInstance("/music/private.mp3", folder.Path(), 5000));
  EXPECT_EQ(WaitChild(child), 0) << "the file name reached another user's process";
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
}  // namespace tovira
