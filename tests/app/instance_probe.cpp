// A stand-in for the player's start-up in the single-instance tests: it turns its arguments into
// paths and runs the same claim as the player and, as the first instance, prints what it is handed.
//   instance_probe start SOCKET [ARG...]   hand the paths over, or become the first instance
//   instance_probe send SOCKET [ARG...]    hand the paths over only; exit 0 when taken, 3 when not
// The first instance prints "FIRST", then for each hand-off "CMD " and the paths it got separated
// by NUL bytes (nothing after "CMD " for none), and "ACT"; it runs until killed.
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <cstdio>

#include "app/SingleInstance.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 3) return 2;
  const QString socketPath = args[2];
  const QStringList paths = tovira::HandOffPathsFromArguments(args.mid(3), QDir::currentPath());

  if (args[1] == "send") return tovira::HandOffToRunningInstance(paths, socketPath) ? 0 : 3;
  if (args[1] != "start") return 2;

  tovira::InstanceServer server(socketPath, nullptr);
  QTextStream out(stdout);
  QObject::connect(&server, &tovira::InstanceServer::filesReceived, [&out](const QStringList& got) {
    out << "CMD " << got.join(QChar(0)) << "\n";
    out.flush();
  });
  QObject::connect(&server, &tovira::InstanceServer::activateRequested, [&out] {
    out << "ACT\n";
    out.flush();
  });
  switch (tovira::ClaimInstance(server, paths)) {
    case tovira::InstanceRole::HandedOver:
      return 0;
    case tovira::InstanceRole::Alone:
      out << "ALONE\n";
      out.flush();
      return 4;
    case tovira::InstanceRole::First:
      break;
  }
  out << "FIRST\n";
  out.flush();
  return app.exec();
}
