#include "platform/runtime_once_per_login.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace qv {

RuntimeOncePerLogin::RuntimeOncePerLogin()
    : RuntimeOncePerLogin(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
                          currentLogin()) {}

RuntimeOncePerLogin::RuntimeOncePerLogin(QString folder, QString login)
    : folder_(std::move(folder)), login_(std::move(login)) {}

QString RuntimeOncePerLogin::currentLogin() {
    QFile boot(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    QString id;
    if (boot.open(QIODevice::ReadOnly)) id = QString::fromLatin1(boot.readAll()).trimmed();
    return id + QLatin1Char(' ') + qEnvironmentVariable("XDG_SESSION_ID");
}

QString RuntimeOncePerLogin::file(const QString& what) const {
    return QDir(folder_).filePath(QStringLiteral("quorvia-") + what);
}

bool RuntimeOncePerLogin::done(const QString& what) const {
    if (folder_.isEmpty()) return false;
    QFile mark(file(what));
    return mark.open(QIODevice::ReadOnly) && QString::fromUtf8(mark.readAll()) == login_;
}

void RuntimeOncePerLogin::markDone(const QString& what) {
    if (folder_.isEmpty()) return;
    QSaveFile mark(file(what));
    if (!mark.open(QIODevice::WriteOnly)) return;
    mark.write(login_.toUtf8());
    mark.commit();
}

}  // namespace qv
