// The real `quorvia` from the staged install layout, in a private desktop world: its own
// HOME, XDG folders and runtime folder, no session bus, and an `xdg-open` that records the URLs
// it is given.
// Main thread; the process is terminated (SIGTERM, then SIGKILL) when the object goes away.
#pragma once

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include "support/qt_wait.h"

namespace qv::test {

class AgentWorld {
  public:
    AgentWorld() {
        for (const char* sub : {"home", "data", "config", "runtime", "bin"})
            QDir(root.path()).mkpath(sub);
        QFile::setPermissions(path("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile opener(path("bin/xdg-open"));
        opener.open(QIODevice::WriteOnly);
        opener.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + path("opened").toUtf8() + "\"\n");
        opener.close();
        opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString path(const QString& sub) const { return root.filePath(sub); }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", path("home"));
        env.insert("XDG_DATA_HOME", path("data"));
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_RUNTIME_DIR", path("runtime"));
        env.insert("PATH", path("bin") + ":" + env.value("PATH"));
        if (!env.contains("QT_QPA_PLATFORM")) env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("HALCYRA_DATA");
        // No session bus unless the test gives one: the agent must never reach the desktop's
        // own panel or notification service.
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path("runtime/no-bus"));
        env.remove("WAYLAND_DISPLAY");
        env.remove("XDG_SESSION_TYPE");
        for (auto it = variables.cbegin(); it != variables.cend(); ++it)
            env.insert(it.key(), it.value());
        return env;
    }
    // Variables the test sets for the agent (a display, for example), applied last.
    QHash<QString, QString> variables;

    // The URLs handed to the desktop's opener so far, in order.
    QStringList opened() const {
        QFile f(path("opened"));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir root;
};

class AgentProcess {
  public:
    AgentProcess(const AgentWorld& world, const QString& program = QStringLiteral(QV_AGENT)) {
        process.setProcessEnvironment(world.environment());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, {});
    }
    ~AgentProcess() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(30000)) process.kill();
        process.waitForFinished(5000);
    }
    QProcess process;
};

}  // namespace qv::test
