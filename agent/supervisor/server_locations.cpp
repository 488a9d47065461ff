// Where the backend's parts lie, its listen address and its environment.
#include <sys/stat.h>

#include <QDir>
#include <QProcessEnvironment>
#include <cerrno>

#include "supervisor/server.h"

namespace qv {

namespace {

const QString kDataFolder = QStringLiteral("Quorvia");
const QString kFixedPath =
    QStringLiteral(":/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin");

// Creates `path` and its missing parents with mode 0700, as the XDG rules ask for the folders an
// application creates under the user's data home; existing folders keep their mode.
void makePrivateFolder(const QString& path) {
    QString prefix;
    for (const QString& part : QDir::cleanPath(path).split('/', Qt::SkipEmptyParts)) {
        prefix += '/' + part;
        const QByteArray native = QFile::encodeName(prefix);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) return;
    }
}

}  // namespace

QString Server::python() const {
    return where_.res + "/python/bin/python3";
}

QString Server::appDir() const {
    return where_.res + "/app";
}

QString Server::binDir() const {
    return where_.res + "/bin";
}

QString Server::dataDir() const {
    const QString dir = QDir::cleanPath(where_.appSupport + '/' + kDataFolder);
    makePrivateFolder(dir);
    return dir;
}

QString Server::wantedHost() const {
    return files_.exists(dataDir() + "/remote_access") ? QStringLiteral("0.0.0.0")
                                                       : QStringLiteral("127.0.0.1");
}

QMap<QString, QString> Server::env() const {
    QMap<QString, QString> out;
    const QProcessEnvironment own = QProcessEnvironment::systemEnvironment();
    for (const QString& key : own.keys()) out.insert(key, own.value(key));
    const QString data = dataDir();
    out.insert("PATH", binDir() + kFixedPath);
    out.insert("HALCYRA_DATA", data);
    out.insert("PYTHONNOUSERSITE", "1");
    out.insert("PYTHONDONTWRITEBYTECODE", "1");
    out.insert("HF_HUB_DISABLE_XET", "1");
    out.insert("PLAYWRIGHT_BROWSERS_PATH", data + "/pdf-engine");
    out.insert("QV_BIN_DIR", binDir());
    return out;
}

}  // namespace qv
