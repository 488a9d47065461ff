// The one-time copy of an older installation's data (~/Halcyra/app/data) into the data folder.
//
// Copies are made through directory descriptors with O_NOFOLLOW, so a symbolic link is copied as
// a link (same target text) and never followed, neither out of the legacy folder nor into an
// existing destination. An entry whose destination exists is skipped whole: nothing is merged.
// The legacy folder is only read.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "supervisor/no_replace_rename.h"
#include "supervisor/server.h"

namespace qv {

namespace {

// An open descriptor, closed when it goes.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_;
};

bool copyEntry(int fromDir, int toDir, const std::string& name);

void keepTimes(int fd, const struct stat& st) {
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(fd, times);
}

bool copyBytes(int from, int to) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer + done, n - done);
            if (w < 0 && errno != EINTR) return false;
            if (w > 0) done += w;
        }
    }
}

// Copies into a temporary name and renames it into place without replacing anything (also on
// file systems without an atomic no-replace rename), so that a copy cut short (disk full, read
// error) never leaves a truncated file, least of all a truncated database that would stop the
// migration from being tried again.
bool copyFile(int fromDir, int toDir, const std::string& name, const struct stat& st) {
    struct stat existing;
    if (::fstatat(toDir, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) return false;
    Fd from(::openat(fromDir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!from) return false;
    const std::string partial = "." + name + ".migrating";
    ::unlinkat(toDir, partial.c_str(), 0);  // left by an earlier attempt that was cut short
    Fd to(::openat(toDir, partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   st.st_mode & 0777));
    if (!to) return false;
    bool ok = copyBytes(from.get(), to.get()) && ::fsync(to.get()) == 0;
    keepTimes(to.get(), st);
    ok = ok && renameNoReplace(toDir, partial.c_str(), name.c_str()) == 0;
    if (!ok) ::unlinkat(toDir, partial.c_str(), 0);
    return ok;
}

bool copyLink(int fromDir, int toDir, const std::string& name) {
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(fromDir, name.c_str(), target, sizeof target - 1);
    if (n < 0) return false;
    target[n] = '\0';
    return ::symlinkat(target, toDir, name.c_str()) == 0;
}

bool copyFolder(int fromDir, int toDir, const std::string& name, const struct stat& st) {
    Fd from(::openat(fromDir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!from) return false;
    // Private while it fills; the legacy folder's mode is applied at the end.
    if (::mkdirat(toDir, name.c_str(), 0700) != 0) return false;
    Fd to(::openat(toDir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!to) return false;
    DIR* listing = ::fdopendir(from.release());
    if (!listing) return false;
    bool ok = true;
    while (const dirent* e = ::readdir(listing)) {
        const std::string child = e->d_name;
        if (child == "." || child == "..") continue;
        ok = copyEntry(::dirfd(listing), to.get(), child) && ok;
    }
    ::closedir(listing);
    ::fchmod(to.get(), st.st_mode & 0777);
    keepTimes(to.get(), st);
    return ok;
}

// Copies one entry of `fromDir` to the same name in `toDir`. Sockets, pipes and devices are
// not data and are left out.
bool copyEntry(int fromDir, int toDir, const std::string& name) {
    struct stat st;
    if (::fstatat(fromDir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISLNK(st.st_mode)) return copyLink(fromDir, toDir, name);
    if (S_ISDIR(st.st_mode)) return copyFolder(fromDir, toDir, name, st);
    if (S_ISREG(st.st_mode)) return copyFile(fromDir, toDir, name, st);
    return false;
}

bool anythingAt(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

std::vector<std::string> entries(int dir) {
    std::vector<std::string> names;
    const int copy = ::dup(dir);
    if (copy < 0) return names;
    DIR* listing = ::fdopendir(copy);
    if (!listing) {
        ::close(copy);
        return names;
    }
    while (const dirent* e = ::readdir(listing)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(listing);
    return names;
}

}  // namespace

void Server::migrate() const {
    const QString data = dataDir();
    if (anythingAt(data + "/halcyra.db")) return;  // the data folder is already in use
    const QString legacy = where_.home + "/Halcyra/app/data";
    if (!anythingAt(legacy + "/halcyra.db")) return;  // nothing to migrate

    Fd from(::open(QFile::encodeName(legacy).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    Fd to(::open(QFile::encodeName(data).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!from || !to) return;
    // Each entry on its own: one that fails (its destination exists, say) is skipped.
    for (const std::string& name : entries(from.get())) copyEntry(from.get(), to.get(), name);
}

}  // namespace qv
