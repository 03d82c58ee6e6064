// tovira: the player window program.
//
// Start-up, in order: hand the command line to a running instance (and end) or become the one
// instance; make the playback session and the player window and show it; once it is painted, make
// the playlist and equaliser windows, register the file types (on a thread), hand the session the
// command line's files (without any, it resumes the last run) and offer the media keys.
// SIGTERM and SIGINT close the window like the user would, so the settings, the playlist and the
// place to resume are saved.

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QSocketNotifier>
#include <QStringList>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/CommandLine.h"
#include "app/FileTypes.h"
#include "app/Mpris.h"
#include "app/PlayerMpris.h"
#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "ui/controls/AfterFirstPaint.h"
#include "ui/controls/HelpViewer.h"
#include "session/PlaybackSession.h"
#include "ui/Companions.h"
#include "ui/player/PlayerDialog.h"
#include "ui/playlist/QSettingsStore.h"
#include "ui/playlist/WindowDock.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminate(int) {
  const char byte = 1;
  // Only async-signal-safe work here: one byte for the event loop.
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

bool InstallCloseOnSignals() {
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction sa {};
  sa.sa_handler = OnTerminate;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  return ::sigaction(SIGTERM, &sa, nullptr) == 0 && ::sigaction(SIGINT, &sa, nullptr) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  QStringList arguments;
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(argv[i]);
    arguments << QString::fromLocal8Bit(argv[i]);
  }
  // A later start hands its files over before it needs a display, so one started where there is
  // none (a terminal, a script) still reaches the running player.
  const QStringList handOff = tovira::HandOffPathsFromArguments(arguments, QDir::currentPath());
  if (tovira::HandOffToRunningInstance(handOff)) return 0;

  // The playlist and equaliser windows dock to the player: under Wayland, XWayland lets them be
  // placed.
  tovira::PreferPlaceableWindows();
  // The window repaints a few small rectangles per frame. Through shared memory each flush waits
  // for the X server's completion event (a wake-up of the event reader and of the UI thread every
  // frame); sent over the socket they cost less than that wait.
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Tovira"));
  QCoreApplication::setApplicationName(QStringLiteral("tovira"));
  tovira::InstallTranslations(QLocale());

  tovira::InstanceServer instance;
  if (tovira::ClaimInstance(instance, handOff) == tovira::InstanceRole::HandedOver) return 0;

  tovira::QSettingsStore settings;
  tovira::SessionOptions sessionOptions;
  sessionOptions.settings = &settings;
  tovira::PlaybackSession session(std::move(sessionOptions));

  tovira::PlayerOptions options;
  // A signal (logout, shutdown) ends the program without asking; the user's own close asks first
  // when the playlist could not be saved.
  bool terminating = false;
  options.confirmQuit = [&terminating](QWidget* parent, const QString& question) {
    return terminating || tovira::PlayerDialog::AskToQuit(parent, question);
  };
  options.showHelp = [](QWidget* parent) { return tovira::ShowHelpTopic(parent, QStringLiteral("Welcome.html")); };
  const std::unique_ptr<tovira::Companions>* companionWindows = nullptr;
  options.chooseFiles = [&companionWindows](QWidget* parent) {
    return *companionWindows ? (*companionWindows)->ChooseFilesToLoad(parent) : QStringList();
  };
  tovira::PlayerDialog player(session, settings, std::move(options));
  // Made once the player is on screen: they dock to it, and it is shown the sooner.
  std::unique_ptr<tovira::Companions> companions;
  companionWindows = &companions;
  if (InstallCloseOnSignals()) {
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &player, [&player, &terminating] {
      char buf[16];
      while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
      }
      terminating = true;
      player.close();
    });
  }
  QObject::connect(&instance, &tovira::InstanceServer::filesReceived, &session,
                   [&session](const QStringList& files) { session.QueueHandOff(files); });
  QObject::connect(&instance, &tovira::InstanceServer::activateRequested, &player,
                   [&player] { player.BringToFront(); });
  player.show();
  // What the window does not need to be seen comes after its first paint: the other two windows,
  // the file types (which may wait seconds for the desktop's MIME database) on a thread of their
  // own, the media keys' D-Bus service, and the track to play.
  std::thread registration;
  std::unique_ptr<tovira::PlayerMpris> remote;
  std::unique_ptr<tovira::MprisService> mpris;
  tovira::AfterFirstPaint afterShown(player, [&] {
    companions = std::make_unique<tovira::Companions>(player, session, settings);
    registration = std::thread([program = QCoreApplication::applicationFilePath()] { tovira::RegisterFileTypes(program); });
    // How the settings were found (set aside, or not kept at all) is told once, on the error line.
    if (const QString notice = settings.Notice(); !notice.isEmpty()) session.Report(QString(), notice);
    QStringList startup;
    for (const auto& f : tovira::StartupFilesFromArguments(args, QDir::currentPath().toStdString())) {
      startup << QString::fromStdString(f);
    }
    // Files on the command line play as they always have; without any, the last run's place comes
    // back.
    if (startup.isEmpty()) {
      session.ResumeLastRun();
    } else {
      session.OpenCommandLine(startup);
    }
    // Media keys and the desktop's sound controls, where a session bus is running.
    remote = std::make_unique<tovira::PlayerMpris>(session, [&player] { player.BringToFront(); },
                                                   [&player] { player.close(); });
    mpris = std::make_unique<tovira::MprisService>(
        *remote, tovira::SessionBusExpected() ? QDBusConnection::sessionBus() : QDBusConnection(QStringLiteral("no-bus")));
    if (!mpris->Start()) return;
    tovira::MprisService* m = mpris.get();
    const auto refresh = [m] { m->Refresh(); };
    QObject::connect(&session, &tovira::PlaybackSession::stateChanged, m, refresh);
    QObject::connect(&session, &tovira::PlaybackSession::nowPlayingChanged, m, refresh);
    QObject::connect(&session, &tovira::PlaybackSession::volumeChanged, m, refresh);
    QObject::connect(&session, &tovira::PlaybackSession::orderChanged, m, refresh);
    QObject::connect(&session, &tovira::PlaybackSession::playlistChanged, m, refresh);
    QObject::connect(&session, &tovira::PlaybackSession::seeked, m, [m](qint64 ms) { m->NotifySeeked(ms * 1000); });
    // What changed before the service was there.
    m->Refresh();
  });
  const int status = app.exec();
  if (registration.joinable()) registration.join();
  mpris.reset();
  remote.reset();
  return status;
}
