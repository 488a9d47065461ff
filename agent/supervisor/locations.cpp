#include "supervisor/locations.h"

#include <QCoreApplication>
#include <QDir>

namespace qv {

Locations Locations::ofThisProcess() {
    Locations out;
    const QString override = qEnvironmentVariable("QUORVIA_RESOURCES");
    out.res = !override.isEmpty()
                  ? QDir(override).absolutePath()
                  : QDir::cleanPath(QCoreApplication::applicationDirPath() + "/" QV_RES_FROM_BIN);
    out.home = QDir::homePath();
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    // The XDG base-directory rules ignore relative paths.
    out.appSupport = (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) ? QDir::cleanPath(xdg)
                                                                   : out.home + "/.local/share";
    return out;
}

}  // namespace qv
