// Moving a finished file into place without replacing anything, with the kernel's atomic rename
// and, where the file system lacks it, with a link and an unlink.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>

#include "supervisor/no_replace_rename.h"

using namespace qv;

namespace {

int g_fakeErrno = 0;
int g_fakeCalls = 0;
// renameat2 as a file system without RENAME_NOREPLACE answers it.
int failingRename(int, const char*, int, const char*, unsigned int) {
    ++g_fakeCalls;
    errno = g_fakeErrno;
    return -1;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(RenameNoReplace, MovesIntoAFreeNameAndNeverOverAnExistingOne) {
    enum class Target { None, File, DanglingLink };
    struct Case {
        const char* name;
        int kernelErrno;  // 0: the real renameat2; else what a stand-in fails with
        Target target;
        int result;
    };
    const Case cases[] = {
        {"atomic rename, free name", 0, Target::None, 0},
        {"atomic rename, name taken", 0, Target::File, EEXIST},
        {"no RENAME_NOREPLACE (EINVAL), free name", EINVAL, Target::None, 0},
        {"no RENAME_NOREPLACE (EINVAL), name taken", EINVAL, Target::File, EEXIST},
        {"no RENAME_NOREPLACE (EINVAL), dangling link there", EINVAL, Target::DanglingLink, EEXIST},
        {"no renameat2 at all (ENOSYS), free name", ENOSYS, Target::None, 0},
        {"another failure is not worked around", EACCES, Target::None, EACCES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString from = dir.filePath(".data.db.migrating"), to = dir.filePath("data.db");
        write(from, "new");
        if (c.target == Target::File) write(to, "old");
        if (c.target == Target::DanglingLink)
            ASSERT_EQ(::symlink("nowhere", QFile::encodeName(to).constData()), 0);
        const int fd = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(fd, 0);
        g_fakeErrno = c.kernelErrno;
        g_fakeCalls = 0;
        const int result = renameNoReplace(fd, ".data.db.migrating", "data.db",
                                           c.kernelErrno ? failingRename : nullptr);
        ::close(fd);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(g_fakeCalls, c.kernelErrno ? 1 : 0);
        // Moved: only the new name holds the file. Not moved: both stay exactly as they were.
        const QStringList names =
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        if (c.result == 0) {
            EXPECT_EQ(names, QStringList{"data.db"});
            EXPECT_EQ(contents(to), "new");
        } else {
            EXPECT_EQ(contents(from), "new");
            if (c.target == Target::File) EXPECT_EQ(contents(to), "old");
            if (c.target == Target::DanglingLink) EXPECT_TRUE(QFileInfo(to).isSymLink());
            if (c.target == Target::None) EXPECT_FALSE(QFileInfo::exists(to));
        }
    }
}

TEST(RenameNoReplace, WhereNeitherWayWorksNothingChanges) {
    // No hard links either (here: a folder, which cannot be linked): a clear failure, and
    // nothing moved or lost.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("partial"));
    write(dir.filePath("partial/inside"), "kept");
    const int fd = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY);
    g_fakeErrno = EINVAL;
    EXPECT_EQ(renameNoReplace(fd, "partial", "final", failingRename), EPERM);
    ::close(fd);
    EXPECT_EQ(contents(dir.filePath("partial/inside")), "kept");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("final")));
}

}  // namespace
