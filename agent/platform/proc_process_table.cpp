#include "platform/proc_process_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <QList>
#include <array>
#include <cstdio>

#include "platform/unique_fd.h"

namespace qv {

namespace {

// The first few hundred bytes of a small /proc file (the parent comes early in "stat").
QByteArray readHead(const char* path) {
    const UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return {};
    std::array<char, 512> buffer;
    const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
    return n > 0 ? QByteArray(buffer.data(), n) : QByteArray();
}

}  // namespace

int32_t ProcProcessTable::parentPid(int32_t pid) {
    if (pid <= 0) return 0;
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    return parentFromStat(readHead(path));
}

int32_t parentFromStat(const QByteArray& stat) {
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0) return 0;
    // ") S 1234 ..." : state, then the parent.
    const QList<QByteArray> fields = stat.mid(close + 1).simplified().split(' ');
    if (fields.size() < 2) return 0;
    bool ok = false;
    const int32_t parent = fields[1].toInt(&ok);
    return ok && parent >= 0 ? parent : 0;
}

}  // namespace qv
