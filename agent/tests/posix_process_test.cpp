// The child-process handle with real children: what the child gets, reaping, signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include "platform/posix_process.h"
#include "support/qt_wait.h"

using qv::Process;
using qv::ProcessSpec;
using qv::test::waitFor;

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool pidExists(pid_t pid) {
    return QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

ProcessSpec shell(const QString& script, int outputFd = -1) {
    return ProcessSpec{"/bin/sh", {"-c", script}, {}, {{"PATH", "/usr/bin:/bin"}}, outputFd};
}

TEST(Process, ChildGetsItsFolderEnvironmentOutputAndNothingElseOfTheAgent) {
    QTemporaryDir dir;
    const QString out = dir.filePath("out.log");
    const int fd = ::open(QFile::encodeName(out).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    // A descriptor the agent forgot to mark close-on-exec.
    const int leaky = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaky, 0);
    ProcessSpec spec = shell(QStringLiteral("pwd; echo \"$GREETING\"; echo to-stderr >&2; "
                                            "readlink /proc/$$/fd/0; "
                                            "test -e /proc/$$/fd/%1 && echo leaked; "
                                            "cut -d' ' -f5 /proc/$$/stat; echo end")
                                 .arg(leaky),
                             fd);
    spec.workingDirectory = dir.path();
    spec.environment.insert("GREETING", "hello there");
    auto p = Process::launch(spec);
    ::close(fd);
    ::close(leaky);
    ASSERT_GT(p->pid(), 0);
    ASSERT_TRUE(waitFor([&] { return !p->running(); }));
    const QList<QByteArray> lines = readFile(out).trimmed().split('\n');
    const QList<QByteArray> expected = {
        QFile::encodeName(QFileInfo(dir.path()).canonicalFilePath()),
        "hello there",
        "to-stderr",
        "/dev/null",
        QByteArray::number(p->pid()),  // its own process group
        "end"};
    EXPECT_EQ(lines, expected);
}

TEST(Process, EndedChildIsReapedByRunning) {
    auto p = Process::launch(shell("exit 3"));
    ASSERT_GT(p->pid(), 0);
    ASSERT_TRUE(waitFor([&] { return !p->running(); }));
    EXPECT_FALSE(pidExists(p->pid()));  // no zombie left behind
    EXPECT_EQ(p->endedBySignal(), 0);
    p->terminate();  // no longer ours: nothing is sent
    p->kill();
}

TEST(Process, TerminateAndKillReachTheChildEvenIfTheAgentIgnoresSignals) {
    // An ignored signal would be inherited through exec; the child must start with defaults.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGTERM, &ignore, &previous);
    auto p = Process::launch({"/bin/sleep", {"30"}, {}, {}, -1});
    ::sigaction(SIGTERM, &previous, nullptr);
    ASSERT_TRUE(p->running());
    p->terminate();
    ASSERT_TRUE(waitFor([&] { return !p->running(); }));
    EXPECT_EQ(p->endedBySignal(), SIGTERM);

    QTemporaryDir dir;
    const QString trapped = dir.filePath("trapped");
    auto q = Process::launch(
        shell("trap '' TERM; touch '" + trapped + "'; while :; do sleep 0.1; done"));
    ASSERT_TRUE(waitFor([&] { return QFile::exists(trapped); }));
    q->terminate();
    QThread::msleep(300);
    EXPECT_TRUE(q->running());
    q->kill();
    ASSERT_TRUE(waitFor([&] { return !q->running(); }));
    EXPECT_EQ(q->endedBySignal(), SIGKILL);
}

TEST(Process, FailedLaunchGivesAHandleThatNeverRuns) {
    auto p = Process::launch({"/nonexistent/python3", {}, {}, {}, -1});
    EXPECT_EQ(p->pid(), -1);
    EXPECT_FALSE(p->running());
    p->terminate();
    p->kill();
    EXPECT_EQ(p->endedBySignal(), 0);
}

TEST(Process, DroppingARunningHandleLeavesTheChildRunningAndStillReapsIt) {
    pid_t pid;
    {
        auto p = Process::launch({"/bin/sleep", {"30"}, {}, {}, -1});
        pid = p->pid();
        ASSERT_GT(pid, 0);
    }
    QThread::msleep(100);
    ASSERT_TRUE(pidExists(pid));
    ::kill(pid, SIGKILL);
    EXPECT_TRUE(waitFor([&] { return !pidExists(pid); }));
}

}  // namespace
