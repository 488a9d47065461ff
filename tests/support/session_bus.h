// A private D-Bus session bus (dbus-daemon) for one test: no service activation, so nothing of
// the machine's own desktop (notification daemons, panels) can start on it. The daemon is
// killed when the object goes away.
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace qv::test {

class SessionBus {
  public:
    SessionBus();
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    bool running() const { return !address_.isEmpty(); }
    // For DBUS_SESSION_BUS_ADDRESS.
    const QString& address() const { return address_; }
    // A new connection of this process to the bus, under a name of its own; each one is a
    // separate client with its own unique name.
    QDBusConnection connect(const QString& name);
    // Closes a connection made by connect(): its names are released as when a process exits.
    static void disconnect(const QString& name);

  private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

}  // namespace qv::test
