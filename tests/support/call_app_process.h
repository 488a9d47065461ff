// The stand-in call application (agent/tests/call_app.cpp) as a child process of a test: a
// window of the given class, and a microphone capture it starts and ends on request. Main
// thread; asked to quit (then killed) when the object goes away.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include "support/qt_wait.h"

namespace qv::test {

class CallAppProcess {
  public:
    CallAppProcess(const QString& program, const QString& windowClass,
                   const QProcessEnvironment& env) {
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(program, {windowClass});
        process_.waitForStarted();
    }
    ~CallAppProcess() {
        command("quit");
        if (!process_.waitForFinished(5000)) process_.kill();
    }
    // Sends a command ("capture microphone", "end", "quit") and waits for its answer line.
    QString command(const QByteArray& line) {
        process_.write(line + "\n");
        return answer();
    }
    // The next line it writes ("ready" first, once its window is up).
    QString answer() {
        waitFor([&] { return process_.canReadLine() || process_.state() == QProcess::NotRunning; },
                10000);
        return QString::fromUtf8(process_.readLine()).trimmed();
    }

  private:
    QProcess process_;
};

}  // namespace qv::test
