#pragma once
// A session bus of the test's own: a dbus-daemon started for the test and ended with it, so no
// test talks to (or is disturbed by) the desktop's bus.

#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

namespace tovira::test {

class PrivateBus {
 public:
  PrivateBus() {
    const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
    if (daemon.isEmpty()) return;
    process_.start(daemon, {"--session", "--nofork", "--print-address=1"});
    if (!process_.waitForStarted(10000)) return;
    while (!address_.contains('\n') && process_.waitForReadyRead(10000)) address_ += process_.readAllStandardOutput();
    address_ = address_.trimmed();
  }
  ~PrivateBus() {
    for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
    process_.kill();
    process_.waitForFinished(10000);
  }
  bool IsUp() const { return !address_.isEmpty(); }
  QString Address() const { return QString::fromUtf8(address_); }

  // A new connection to the bus under `name` (unique within the process).
  QDBusConnection Connect(const QString& name) {
    names_ << name;
    return QDBusConnection::connectToBus(Address(), name);
  }

 private:
  QProcess process_;
  QByteArray address_;
  QStringList names_;
};

}  // namespace tovira::test
