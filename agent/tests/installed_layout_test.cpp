// The install rules and the installed agent agree on where the bundle's parts lie: installed
// under DESTDIR to the prefix /usr, as a distribution installs it, the agent launches its backend
// from the installed resources folder and tells it where hc-screen is.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "main/constants.h"
#include "platform/xdg_autostart.h"
#include "support/agent_process.h"
#include "support/port_lock.h"

using namespace qv::test;

namespace {

// `cmake --install` of this build tree to the prefix /usr under a private DESTDIR.
class InstalledTree {
  public:
    QString path(const QString& sub) const { return dir_.filePath(sub); }

    // True when every install rule ran; the output is kept for the failure message.
    bool install() {
        QProcess cmake;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DESTDIR", dir_.path());
        cmake.setProcessEnvironment(env);
        cmake.setProcessChannelMode(QProcess::MergedChannels);
        cmake.start(QV_CMAKE, {"--install", QV_BUILD_DIR, "--prefix", "/usr"});
        const bool done = cmake.waitForFinished(180000);
        output = QString::fromLocal8Bit(cmake.readAll());
        return done && cmake.exitStatus() == QProcess::NormalExit && cmake.exitCode() == 0;
    }
    QString output;

  private:
    QTemporaryDir dir_;
};

// The pids of the children of `parent`, from /proc.
QList<qint64> childrenOf(qint64 parent) {
    QList<qint64> out;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric) continue;
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        // pid (comm) state ppid ...: the command may hold spaces and parentheses.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest[1].toLongLong() == parent) out << pid;
    }
    return out;
}

QStringList nulSeparated(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList out;
    for (const QByteArray& part : f.readAll().split('\0'))
        if (!part.isEmpty()) out << QString::fromLocal8Bit(part);
    return out;
}

QString variableOf(const QStringList& environ, const QString& name) {
    for (const QString& entry : environ)
        if (entry.startsWith(name + '=')) return entry.mid(name.size() + 1);
    return QString();
}

TEST(InstalledLayout, AgentInstalledUnderUsrLaunchesTheBackendFromItsResourcesFolder) {
    PortLock port;
    InstalledTree tree;
    ASSERT_TRUE(tree.install()) << tree.output.toStdString();
    const QString res = tree.path("usr/lib/quorvia");
    ASSERT_TRUE(QFileInfo(tree.path("usr/bin/quorvia")).isExecutable());

    AgentWorld world;
    AgentProcess agent(world, tree.path("usr/bin/quorvia"));
    ASSERT_TRUE(agent.process.waitForStarted());
    // The first answer of the backend opens its home or setup page.
    ASSERT_TRUE(waitFor([&] { return !world.opened().isEmpty(); }, 90000))
        << "the installed agent's backend never answered";
    EXPECT_TRUE(world.opened().first().startsWith(qv::WEB + "/"))
        << world.opened().first().toStdString();

    QString interpreter, binDir;
    for (qint64 child : childrenOf(agent.process.processId())) {
        const QStringList command = nulSeparated(QString("/proc/%1/cmdline").arg(child));
        if (command.contains("uvicorn")) {
            interpreter = command.first();
            binDir = variableOf(nulSeparated(QString("/proc/%1/environ").arg(child)), "QV_BIN_DIR");
        }
    }
    EXPECT_EQ(interpreter, res + "/python/bin/python3");
    EXPECT_EQ(binDir, res + "/bin");
    EXPECT_TRUE(QFileInfo(binDir + "/hc-screen").isExecutable());
}

TEST(InstalledLayout, HcScreenOnThePathIsTheOneInTheResourcesFolder) {
    InstalledTree tree;
    ASSERT_TRUE(tree.install()) << tree.output.toStdString();
    const QFileInfo link(tree.path("usr/bin/hc-screen"));
    ASSERT_TRUE(link.isSymLink());
    EXPECT_EQ(link.symLinkTarget(), tree.path("usr/lib/quorvia/bin/hc-screen"));

    QProcess screen;
    screen.start(link.filePath(), {"--version"});
    ASSERT_TRUE(screen.waitForFinished(30000));
    EXPECT_EQ(screen.exitCode(), 0);
    EXPECT_EQ(QString::fromLocal8Bit(screen.readAllStandardOutput()), "hc-screen " QV_VERSION "\n");
}

TEST(InstalledLayout, LoginItemOfTheInstalledAgentIsMadeFromTheInstalledDesktopEntry) {
    InstalledTree tree;
    ASSERT_TRUE(tree.install()) << tree.output.toStdString();
    QFile installed(tree.path("usr/share/applications/" + qv::APP_ID + ".desktop"));
    ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(installed.readAll());

    QTemporaryDir config;
    const QString program = tree.path("usr/bin/quorvia");
    qv::XdgAutostart login(config.path(), program);
    login.enable();
    ASSERT_TRUE(login.enabled());
    QFile autostart(login.entryPath());
    ASSERT_TRUE(autostart.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(autostart.readAll()), qv::autostartEntryFrom(entry, program));
    EXPECT_TRUE(entry.contains("\nIcon=" + qv::APP_ID + "\n"));
}

}  // namespace
