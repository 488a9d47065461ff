#include "platform/process_identity.h"

#include <dirent.h>
#include <unistd.h>

#include <QFile>
#include <memory>

namespace qv {

namespace {

QByteArray readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(64 * 1024);
}

// Undoes systemd's escaping of unit names: "\xHH" is the byte HH.
QString unescapeUnit(const QByteArray& name) {
    QByteArray out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            bool ok = false;
            const int byte = name.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += static_cast<char>(byte);
                i += 3;
                continue;
            }
        }
        out += name[i];
    }
    return QString::fromUtf8(out);
}

// The ids a unit named for an application may carry; empty for any other unit.
QStringList idsOfUnit(QByteArray unit) {
    const bool scope = unit.endsWith(".scope");
    if (!unit.startsWith("app-") || !(scope || unit.endsWith(".service"))) return {};
    unit = unit.mid(4, unit.lastIndexOf('.') - 4);
    if (scope) {
        const qsizetype random = unit.lastIndexOf('-');
        if (random > 0) unit.truncate(random);
    } else if (const qsizetype at = unit.indexOf('@'); at >= 0) {
        unit.truncate(at);
    }
    QStringList ids;
    for (qsizetype from = 0; from >= 0 && from < unit.size();) {
        const QString id = unescapeUnit(unit.mid(from));
        if (!id.isEmpty()) ids << id;
        const qsizetype dash = unit.indexOf('-', from);
        from = dash < 0 ? -1 : dash + 1;
    }
    return ids;
}

// Whether `id` is written as application ids are (a D-Bus name: at least two dot-separated
// elements of ASCII letters, digits, "_" and "-", 255 bytes at most). Anything else in a
// sandbox's info file was not written by the sandbox's maker and names no application.
bool isApplicationId(const QByteArray& id) {
    if (id.isEmpty() || id.size() > 255) return false;
    const QList<QByteArray> elements = id.split('.');
    if (elements.size() < 2) return false;
    for (const QByteArray& element : elements) {
        if (element.isEmpty()) return false;
        for (char c : element) {
            const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (c >= '0' && c <= '9') || c == '_' || c == '-';
            if (!ok) return false;
        }
    }
    return true;
}

}  // namespace

QString flatpakAppId(int32_t pid) {
    if (pid <= 0) return {};
    return flatpakAppIdFromInfo(
        readSmallFile(QStringLiteral("/proc/%1/root/.flatpak-info").arg(pid)));
}

QString flatpakAppIdFromInfo(const QByteArray& info) {
    bool inApplication = false;
    for (const QByteArray& raw : info.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inApplication = line == "[Application]";
            continue;
        }
        if (inApplication && line.startsWith("name=")) {
            const QByteArray id = line.mid(5);
            return isApplicationId(id) ? QString::fromLatin1(id) : QString();
        }
    }
    return {};
}

QStringList unitAppIds(int32_t pid) {
    if (pid <= 0) return {};
    return unitAppIdsFromCgroup(readSmallFile(QStringLiteral("/proc/%1/cgroup").arg(pid)));
}

QStringList unitAppIdsFromCgroup(const QByteArray& cgroup) {
    for (const QByteArray& line : cgroup.split('\n')) {
        // "ID:CONTROLLERS:PATH"; the innermost unit of the path is the one that started it.
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() < 3) continue;
        const QList<QByteArray> path = parts.mid(2).join(':').split('/');
        for (auto it = path.crbegin(); it != path.crend(); ++it) {
            const QStringList ids = idsOfUnit(*it);
            if (!ids.isEmpty()) return ids;
        }
    }
    return {};
}

bool isThisMachine(const QByteArray& hostName) {
    static const QByteArray self = [] {
        char name[256] = {};
        return gethostname(name, sizeof name - 1) == 0 ? QByteArray(name) : QByteArray();
    }();
    if (hostName == self) return true;
    const auto firstLabel = [](const QByteArray& s) { return s.left(s.indexOf('.')); };
    // A short name against the fully qualified one.
    return !self.isEmpty() && firstLabel(hostName) == firstLabel(self) &&
           (!hostName.contains('.') || !self.contains('.'));
}

std::vector<int32_t> allProcessIds() {
    std::vector<int32_t> pids;
    const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), &::closedir);
    if (!proc) return pids;
    while (const dirent* entry = ::readdir(proc.get())) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && pid > 0)
            pids.push_back(static_cast<int32_t>(pid));
    }
    return pids;
}

}  // namespace qv
