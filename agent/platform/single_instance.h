// One agent per user: the first process owns a lock and a local socket in the user's runtime
// folder; a later one asks it to reopen and exits.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace qv {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // `folder` holds the lock and the socket; by default the XDG runtime folder.
    explicit SingleInstance(QString folder = defaultFolder());
    // True when this process is now the running instance. False when another one runs: it
    // has then been asked to reopen (or could not be reached), and this process should exit.
    bool claim();
    static QString defaultFolder();

  signals:
    // Another process asked the running instance to reopen. Main thread.
    void reopenRequested();

  private:
    void listen();
    bool askRunningToReopen();

    QString folder_;
    QLockFile lock_;
    QLocalServer server_;
};

}  // namespace qv
