#pragma once
// A session bus of the test's own: a dbus-daemon started for the test and ended with it, so no
// test talks to (or is disturbed by) the desktop's bus.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include "QtTestApp.h"
#include "app/Mpris.h"

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

// A call to the player's MPRIS object, serving this thread's events meanwhile (the player may
// live on this thread).
inline QDBusMessage MprisCall(const QDBusConnection& bus, const QString& interface, const QString& method,
                              const QVariantList& args = {}) {
  QDBusMessage msg = QDBusMessage::createMethodCall(kMprisServiceName, kMprisObjectPath, interface, method);
  msg.setArguments(args);
  QDBusPendingCall pending = bus.asyncCall(msg, 20000);
  ProcessEventsUntil([&] { return pending.isFinished(); });
  return pending.reply();
}

inline QVariant MprisGet(const QDBusConnection& bus, const QString& property,
                         const QString& interface = kMprisPlayerInterface) {
  const QDBusMessage reply = MprisCall(bus, "org.freedesktop.DBus.Properties", "Get", {interface, property});
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return reply.arguments()[0].value<QDBusVariant>().variant();
}

// The Metadata map out of its D-Bus wrapping.
inline QVariantMap MetadataMap(const QVariant& v) {
  QVariantMap map;
  v.value<QDBusArgument>() >> map;
  return map;
}

}  // namespace tovira::test
