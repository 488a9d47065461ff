#include "support/session_bus.h"

#include <sys/prctl.h>

#include <QFile>
#include <csignal>

namespace qv::test {

SessionBus::SessionBus() {
    const QString socket = dir_.filePath("bus");
    QFile config(dir_.filePath("session.conf"));
    if (!config.open(QIODevice::WriteOnly)) return;
    config.write(QStringLiteral(
                     "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                     "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:path=%1</listen>"
                     "<auth>EXTERNAL</auth><policy context=\"default\">"
                     "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                     .arg(socket)
                     .toUtf8());
    config.close();
    daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test killed at its time-out takes its bus with it.
    daemon_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    daemon_.start("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork", "--nopidfile",
                                  "--print-address=1"});
    // It prints its address once it accepts clients.
    if (!daemon_.waitForStarted(10000)) return;
    while (!daemon_.canReadLine()) {
        if (!daemon_.waitForReadyRead(20000)) return;
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

SessionBus::~SessionBus() {
    if (daemon_.state() == QProcess::NotRunning) return;
    daemon_.kill();
    daemon_.waitForFinished(5000);
}

QDBusConnection SessionBus::connect(const QString& name) {
    return QDBusConnection::connectToBus(address_, name);
}

void SessionBus::disconnect(const QString& name) {
    QDBusConnection::disconnectFromBus(name);
}

}  // namespace qv::test
