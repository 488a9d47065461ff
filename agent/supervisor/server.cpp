// Launching, watching and stopping the backend and the local model server.
#include "supervisor/server.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <thread>

#include "main/constants.h"

namespace qv {

namespace {

const QString kOllamaProbe = QStringLiteral("http://127.0.0.1:11434/api/version");
const QString kOllamaHost = QStringLiteral("127.0.0.1:11434");

QString readinessUrl() {
    return BASE + "/api/status";
}

// A fresh, private "server.log" for this launch: a new file (mode 0600) in place of the old
// one, so that a process still holding the old file cannot write into this launch's log, and a
// link planted at that name is replaced rather than followed. -1 when it cannot be made.
int freshLog(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    ::unlink(native.constData());
    return ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

}  // namespace

Server::Server(Locations where, Services services, ServerTimings timings)
    : where_(std::move(where)),
      launcher_(services.launcher),
      files_(services.files),
      probe_(std::move(services.probe)),
      timings_(timings) {}

std::shared_ptr<ChildProcess> Server::proc() const {
    std::lock_guard lock(mutex_);
    return proc_;
}

std::shared_ptr<ChildProcess> Server::ollama() const {
    std::lock_guard lock(mutex_);
    return ollama_;
}

bool Server::launchedBackend() const {
    return proc() != nullptr;
}

QString Server::host() const {
    std::lock_guard lock(mutex_);
    return host_;
}

bool Server::stopping() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

void Server::recordLaunch(std::shared_ptr<ChildProcess> process, const QString& listenAddress) {
    std::lock_guard lock(mutex_);
    proc_ = std::move(process);
    host_ = listenAddress;
    goneNoted_ = false;
}

void Server::start() {
    if (stopping()) return;
    migrate();
    startOllama();
    if (probe_(readinessUrl())) {  // some backend already serves the port
        qInfo().noquote()
            << QStringLiteral("a backend already answers on port %1: using it").arg(PORT);
        return;
    }
    if (!launchBackend()) return;
    waitUntilReady();
}

void Server::startOllama() {
    const QString executable = binDir() + "/ollama";
    if (!QFileInfo::exists(executable)) return;
    // The one this agent launched still runs (perhaps not answering yet): a second one would
    // replace its handle, and the first would never be stopped.
    if (const auto launched = ollama(); launched && launched->running()) return;
    if (probe_(kOllamaProbe)) return;  // a model server already runs
    ProcessSpec spec{executable, {"serve"}, {}, env(), -1};
    spec.environment.insert("OLLAMA_HOST", kOllamaHost);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    spec.outputFd = devNull;
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) ollama_ = launcher_.launch(spec);
    }
    if (devNull >= 0) ::close(devNull);
}

// Launches the backend unless a stop() came first; false when it did.
bool Server::launchBackend() {
    const int log = freshLog(dataDir() + "/server.log");
    const QString address = wantedHost();
    const ProcessSpec spec{
        python(),
        {"-m", "uvicorn", "app.main:app", "--host", address, "--port", QString::number(PORT)},
        appDir(),
        env(),
        log};
    bool launched = false;
    {
        // Under the lock, so that a stop() either sees this process or prevents it.
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            proc_ = launcher_.launch(spec);
            host_ = address;
            goneNoted_ = false;
            launched = true;
        }
    }
    if (log >= 0) ::close(log);
    if (launched) noteLaunch(address);
    return launched;
}

void Server::noteLaunch(const QString& address) {
    const std::shared_ptr<ChildProcess> process = proc();
    if (!process || process->pid() < 0) {
        qWarning().noquote()
            << QStringLiteral("the backend could not be launched: %1 does not run").arg(python());
        return;
    }
    qInfo().noquote() << QStringLiteral("backend launched (pid %1) on %2:%3, its output in %4")
                             .arg(process->pid())
                             .arg(address)
                             .arg(PORT)
                             .arg(dataDir() + "/server.log");
}

void Server::noticeGone() {
    const std::shared_ptr<ChildProcess> process = proc();
    if (!process || process->pid() < 0 || stopping() || process->running()) return;
    {
        std::lock_guard lock(mutex_);
        if (goneNoted_) return;
        goneNoted_ = true;
    }
    const int sig = process->endedBySignal();
    qWarning().noquote() << QStringLiteral("the backend (pid %1) is gone%2; see %3")
                                .arg(process->pid())
                                .arg(sig > 0 ? QStringLiteral(", ended by signal %1").arg(sig)
                                             : QString())
                                .arg(dataDir() + "/server.log");
}

void Server::waitUntilReady() {
    for (int round = 0; round < timings_.readyRounds; ++round) {
        if (stopping()) return;
        if (probe_(readinessUrl())) return;
        if (!pause(timings_.readyPause)) return;
    }
    qWarning().noquote()
        << QStringLiteral("the backend has not answered after %1 probes").arg(timings_.readyRounds);
}

bool Server::pause(double seconds) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::duration<double>(seconds),
                           [this] { return stopping_; });
}

void Server::stopBackend(const std::shared_ptr<ChildProcess>& process) {
    if (!process || !process->running()) return;
    process->terminate();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timings_.grace);
    while (process->running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::duration<double>(timings_.stopPoll));
    if (!process->running()) return;
    process->kill();
    // SIGKILL cannot be refused; wait the moment it takes, so the child is reaped here.
    for (int i = 0; i < 50 && process->running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void Server::stopServer() {
    stopBackend(proc());
    std::lock_guard lock(mutex_);
    proc_.reset();
}

void Server::restartServer() {
    qInfo().noquote() << QStringLiteral("restarting the backend to listen on %1").arg(wantedHost());
    stopServer();
    start();
}

void Server::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    stopBackend(proc());
    if (const auto model = ollama(); model && model->running()) model->terminate();
}

}  // namespace qv
