#include "platform/local_data_files.h"

#include <sys/stat.h>

#include <QFile>
#include <QSaveFile>
#include <cstdio>

namespace qv {

bool LocalDataFiles::exists(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool LocalDataFiles::take(const QString& path) {
    if (!exists(path)) return false;
    std::remove(QFile::encodeName(path).constData());
    return true;
}

void LocalDataFiles::replace(const QString& path, const QByteArray& bytes) {
    // Written beside the old file and renamed over it, so the backend never reads half a file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(bytes);
    file.commit();
}

}  // namespace qv
