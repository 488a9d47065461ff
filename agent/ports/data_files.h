// Files the agent and the backend pass each other in the data folder: markers, whose existence is
// the message, and small files that are replaced whole. Paths are whole paths. Stateless; any
// thread.
#pragma once

#include <QByteArray>
#include <QString>

namespace qv {

class DataFiles {
  public:
    virtual ~DataFiles() = default;
    // Whether anything exists at `path`; a symbolic link counts as itself, wherever it points.
    virtual bool exists(const QString& path) = 0;
    // Removes what is at `path`. True when something was there, also when it could not be
    // removed (it is then found again next time).
    virtual bool take(const QString& path) = 0;
    // Replaces the file at `path` with `bytes` at once: a reader sees the old file or the new one,
    // never a part. A failure leaves the old file and is not reported.
    virtual void replace(const QString& path, const QByteArray& bytes) = 0;
};

}  // namespace qv
