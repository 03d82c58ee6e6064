// A stand-in for the player's start-up in the single-instance tests: it runs the same claim as
// the player and, as the first instance, prints what it is handed.
//   instance_probe start SOCKET TEXT   hand TEXT over, or become the first instance
//   instance_probe send SOCKET TEXT    hand TEXT over only; exit 0 when taken, 3 when not
// The first instance prints "FIRST", then "CMD <text>" and "ACT" for each hand-off, and runs
// until killed. Text is taken literally ("-" for the empty text).
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include "app/SingleInstance.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() != 4) return 2;
  const QString socketPath = args[2];
  const QString text = args[3] == "-" ? QString() : args[3];

  if (args[1] == "send") return tovira::HandOffToRunningInstance(text, socketPath) ? 0 : 3;
  if (args[1] != "start") return 2;

  tovira::InstanceServer server(socketPath, nullptr);
  QTextStream out(stdout);
  QObject::connect(&server, &tovira::InstanceServer::commandLineReceived, [&out](const QString& t) {
    out << "CMD " << t << "\n";
    out.flush();
  });
  QObject::connect(&server, &tovira::InstanceServer::activateRequested, [&out] {
    out << "ACT\n";
    out.flush();
  });
  switch (tovira::ClaimInstance(server, text)) {
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
