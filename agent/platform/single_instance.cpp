#include "platform/single_instance.h"

#include <unistd.h>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace qv {

namespace {
const QByteArray kReopen = "reopen\n";
}

QString SingleInstance::defaultFolder() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath() + QStringLiteral("/quorvia-%1").arg(getuid());
    return dir;
}

SingleInstance::SingleInstance(QString folder)
    : folder_(std::move(folder)), lock_(folder_ + "/quorvia.lock") {
    lock_.setStaleLockTime(0);  // a lock whose owner died is stale at once
}

bool SingleInstance::claim() {
    QDir().mkpath(folder_);
    if (lock_.tryLock(0)) {
        listen();
        return true;
    }
    askRunningToReopen();
    return false;
}

void SingleInstance::listen() {
    const QString path = folder_ + "/quorvia.sock";
    QLocalServer::removeServer(path);  // left behind by an instance that died
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(path);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->canReadLine() && peer->readLine() == kReopen) emit reopenRequested();
            });
        }
    });
}

bool SingleInstance::askRunningToReopen() {
    // The running instance may be between taking the lock and listening: try for a moment.
    for (int attempt = 0; attempt < 20; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(folder_ + "/quorvia.sock");
        if (socket.waitForConnected(250)) {
            socket.write(kReopen);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(100);
    }
    return false;
}

}  // namespace qv
