// Where the agent's parts lie: the bundle's resources folder and the user's folders.
#pragma once

#include <QString>

namespace qv {

struct Locations {
    QString res;         // the resources folder: <prefix>/lib/quorvia, beside <prefix>/bin
    QString appSupport;  // the user's application-data folder (XDG data home)
    QString home;        // the user's home folder

    // The folders of this process: `res` from QUORVIA_RESOURCES when set (tests), else from the
    // executable's own location by the install layout's rule (<prefix>/bin/quorvia ->
    // <prefix>/lib/quorvia, whatever the prefix); `appSupport` from
    // $XDG_DATA_HOME, else ~/.local/share; `home` from $HOME.
    static Locations ofThisProcess();
};

}  // namespace qv
