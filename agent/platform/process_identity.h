// What /proc tells about the application a process belongs to: the Flatpak sandbox it runs in,
// and the desktop application its systemd unit was started for. Stateless; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace qv {

// The Flatpak application id of the sandbox that `pid` runs in (its /.flatpak-info), or empty.
QString flatpakAppId(int32_t pid);
// The application id in the text of a .flatpak-info file, or empty.
QString flatpakAppIdFromInfo(const QByteArray& info);

// The application ids that the systemd unit of `pid` may name (/proc/PID/cgroup), most likely
// first; empty when the process does not run in an application's unit.
QStringList unitAppIds(int32_t pid);
// The same from the text of a cgroup file. Units started for an application are named
// "app[-LAUNCHER]-ID-RANDOM.scope" or "app[-LAUNCHER]-ID[@RANDOM].service", with "-" inside
// ID written as "\x2d"; launchers that do not escape are met by also offering every shorter
// tail of the name, for the caller to check against the installed applications.
QStringList unitAppIdsFromCgroup(const QByteArray& cgroup);

// Whether a host name, as a client reports where it runs, names this machine (its short name
// and its fully qualified name both do).
bool isThisMachine(const QByteArray& hostName);

// The ids of all processes now.
std::vector<int32_t> allProcessIds();

}  // namespace qv
