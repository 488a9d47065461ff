// Server's locations, listen address, environment and the one-time migration, over folders the
// test makes: the resources folder, the user's data home and the home folder are all injected.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/local_data_files.h"
#include "platform/posix_process.h"
#include "platform/qt_http_client.h"
#include "supervisor/server.h"

using qv::httpAlive;
using qv::LocalDataFiles;
using qv::Locations;
using qv::PosixLauncher;
using qv::Server;

namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

mode_t modeOf(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Every entry under `root` with its kind and content, to compare whole trees.
QStringList snapshot(const QString& root) {
    QStringList out;
    QDir dir(root);
    const auto filters = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QFileInfo& e : dir.entryInfoList(filters, QDir::Name)) {
        if (e.isSymLink()) {
            out << e.fileName() + " -> " + e.symLinkTarget();
        } else if (e.isDir()) {
            out << e.fileName() + "/";
            for (const QString& inner : snapshot(e.filePath())) out << e.fileName() + "/" + inner;
        } else {
            out << e.fileName() + " = " + QString::fromUtf8(readFile(e.filePath()));
        }
    }
    return out;
}

struct Folders {
    QTemporaryDir tmp;
    QString res = tmp.filePath("bundle/lib/quorvia");
    QString share = tmp.filePath("share");
    QString home = tmp.filePath("home");
    QString data = share + "/Quorvia";
    QString legacy = home + "/Halcyra/app/data";
    PosixLauncher launcher;
    LocalDataFiles files;
    Server server{Locations{res, share, home}, {launcher, files, httpAlive}};
};

TEST(ServerLocations, BundlePathsAreAbsoluteWithoutTrailingSlash) {
    Folders f;
    EXPECT_EQ(f.server.python(), f.res + "/python/bin/python3");
    EXPECT_EQ(f.server.appDir(), f.res + "/app");
    EXPECT_EQ(f.server.binDir(), f.res + "/bin");
    EXPECT_EQ(f.server.dataDir(), f.data);
    EXPECT_FALSE(QFileInfo::exists(f.res));  // naming the bundle's parts creates nothing
}

TEST(ServerLocations, DataFolderIsCreatedPrivateOnFirstReadAndThenLeftAlone) {
    Folders f;
    ASSERT_FALSE(QFileInfo::exists(f.share));
    EXPECT_EQ(f.server.dataDir(), f.data);
    EXPECT_TRUE(QFileInfo(f.data).isDir());
    EXPECT_EQ(modeOf(f.data), 0700u);  // it will hold recordings
    EXPECT_EQ(modeOf(f.share), 0700u);

    writeFile(f.data + "/keep", "x");
    ASSERT_EQ(::chmod(QFile::encodeName(f.data).constData(), 0750), 0);
    EXPECT_EQ(f.server.dataDir(), f.data);
    EXPECT_EQ(modeOf(f.data), 0750u);  // an existing folder keeps the mode its owner gave it
    EXPECT_EQ(readFile(f.data + "/keep"), "x");
}

TEST(ServerLocations, WantedHostFollowsAnythingNamedRemoteAccess) {
    struct Case {
        const char* what;
        std::function<void(const QString&)> make;
    };
    const Case cases[] = {
        {"a file", [](const QString& p) { writeFile(p, "yes"); }},
        {"an empty file", [](const QString& p) { writeFile(p, ""); }},
        {"a folder", [](const QString& p) { QDir().mkpath(p); }},
    };
    for (const Case& c : cases) {
        Folders f;
        const QString marker = f.server.dataDir() + "/remote_access";
        EXPECT_EQ(f.server.wantedHost(), "127.0.0.1") << c.what;
        c.make(marker);
        EXPECT_EQ(f.server.wantedHost(), "0.0.0.0") << c.what;
        ASSERT_TRUE(QFileInfo(marker).isDir() ? QDir(marker).removeRecursively()
                                              : QFile::remove(marker));
        EXPECT_EQ(f.server.wantedHost(), "127.0.0.1") << c.what;
        EXPECT_EQ(f.server.host(), "127.0.0.1") << c.what;  // nothing launched, nothing changed
    }
}

TEST(ServerLocations, EnvSetsTheBundleVariablesOverAnInheritedEnvironment) {
    Folders f;
    qputenv("PATH", "/somewhere/else:/usr/bin");
    qputenv("HALCYRA_DATA", "/inherited/data");
    qputenv("QV_TEST_PASSED_THROUGH", "kept as it is");
    qputenv("PYTHONNOUSERSITE", "0");
    const QMap<QString, QString> env = f.server.env();
    EXPECT_EQ(env.value("PATH"),
              f.res + "/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin");
    EXPECT_EQ(env.value("HALCYRA_DATA"), f.data);
    EXPECT_EQ(env.value("PYTHONNOUSERSITE"), "1");
    EXPECT_EQ(env.value("PYTHONDONTWRITEBYTECODE"), "1");
    EXPECT_EQ(env.value("HF_HUB_DISABLE_XET"), "1");
    EXPECT_EQ(env.value("PLAYWRIGHT_BROWSERS_PATH"), f.data + "/pdf-engine");
    EXPECT_EQ(env.value("QV_BIN_DIR"), f.res + "/bin");
    EXPECT_EQ(env.value("QV_TEST_PASSED_THROUGH"), "kept as it is");
    EXPECT_EQ(env.value("HOME"), qEnvironmentVariable("HOME"));
    EXPECT_TRUE(QFileInfo(f.data).isDir());                   // reading dataDir made it
    EXPECT_FALSE(QFileInfo::exists(f.data + "/pdf-engine"));  // only named
}

// The migration as a table of worlds: what the legacy and data folders hold before, and after.
struct MigrateCase {
    const char* name;
    QStringList legacyBefore;  // "path=content", or "path/" for a folder
    QStringList dataBefore;
    QStringList dataAfter;  // as snapshot() lists it
};

void build(const QString& root, const QStringList& entries) {
    QDir().mkpath(root);
    for (const QString& e : entries) {
        if (e.endsWith('/')) {
            QDir().mkpath(root + "/" + e);
        } else {
            const int eq = e.indexOf('=');
            writeFile(root + "/" + e.left(eq), e.mid(eq + 1).toUtf8());
        }
    }
}

TEST(ServerMigrate, CopiesOnceAndNeverOverwrites) {
    const MigrateCase cases[] = {
        {"database already present",
         {"halcyra.db=newer", "notes.txt=legacy"},
         {"halcyra.db=current"},
         {"halcyra.db = current"}},
        {"legacy folder without a database",
         {"notes.txt=legacy", "meetings/a/screen.mp4=video"},
         {},
         {}},
        {"database, hidden file and a sub-folder the data folder already has",
         {"halcyra.db=db", ".secret=hidden", "meetings/a/screen.mp4=video"},
         {"meetings/b/screen.mp4=mine"},
         {".secret = hidden", "halcyra.db = db", "meetings/", "meetings/b/",
          "meetings/b/screen.mp4 = mine"}},
        {"database and a new sub-folder",
         {"halcyra.db=db", "meetings/a/screen.mp4=video"},
         {},
         {"halcyra.db = db", "meetings/", "meetings/a/", "meetings/a/screen.mp4 = video"}},
    };
    for (const MigrateCase& c : cases) {
        Folders f;
        build(f.legacy, c.legacyBefore);
        build(f.data, c.dataBefore);
        const QStringList legacyBefore = snapshot(f.legacy);
        f.server.migrate();
        EXPECT_EQ(snapshot(f.data), c.dataAfter) << c.name;
        EXPECT_EQ(snapshot(f.legacy), legacyBefore) << c.name;
    }
}

TEST(ServerMigrate, CopiesLinksAsLinksAndNeverFollowsThemOut) {
    Folders f;
    const QString outside = f.tmp.filePath("outside");
    build(outside, {"private.txt=not to be copied"});
    build(f.legacy, {"halcyra.db=db", "inner/file=x"});
    ASSERT_TRUE(QFile::link(outside, f.legacy + "/escape"));
    ASSERT_TRUE(QFile::link(outside + "/private.txt", f.legacy + "/inner/private"));
    ASSERT_TRUE(QFile::link("file", f.legacy + "/inner/relative"));

    f.server.migrate();
    EXPECT_TRUE(QFileInfo(f.data + "/escape").isSymLink());
    EXPECT_EQ(QFileInfo(f.data + "/escape").symLinkTarget(), outside);
    EXPECT_TRUE(QFileInfo(f.data + "/inner/private").isSymLink());
    char target[64] = {};
    ASSERT_GT(::readlink(QFile::encodeName(f.data + "/inner/relative").constData(), target,
                         sizeof target - 1),
              0);
    EXPECT_STREQ(target, "file");  // the link's own text, not a resolved path
    EXPECT_EQ(snapshot(outside), QStringList{"private.txt = not to be copied"});
}

TEST(ServerMigrate, KeepsModesAndDoesNotFollowALinkAtTheDestination) {
    Folders f;
    build(f.legacy, {"halcyra.db=db", "key.pem=secret"});
    ::chmod(QFile::encodeName(f.legacy + "/key.pem").constData(), 0600);
    // A link planted in the data folder under an entry's name must not be written through.
    const QString victim = f.tmp.filePath("victim");
    writeFile(victim, "untouched");
    QDir().mkpath(f.data);
    ASSERT_TRUE(QFile::link(victim, f.data + "/key.pem"));

    f.server.migrate();
    EXPECT_EQ(readFile(f.data + "/halcyra.db"), "db");
    EXPECT_EQ(readFile(victim), "untouched");
    EXPECT_TRUE(QFileInfo(f.data + "/key.pem").isSymLink());

    Folders g;
    build(g.legacy, {"halcyra.db=db", "key.pem=secret"});
    ::chmod(QFile::encodeName(g.legacy + "/key.pem").constData(), 0600);
    g.server.migrate();
    EXPECT_EQ(modeOf(g.data + "/key.pem"), 0600u);
    EXPECT_EQ(snapshot(g.data), (QStringList{"halcyra.db = db", "key.pem = secret"}));
}

}  // namespace
