// Collects what the code under test logs through Qt (qInfo, qWarning, ...) while it lives, from
// any thread; the messages go nowhere else meanwhile. One at a time.
#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

namespace qv::test {

class LogCapture {
  public:
    LogCapture() {
        instance() = this;
        previous_ = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(previous_);
        instance() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const {
        QMutexLocker lock(&mutex_);
        return lines_;
    }
    // The lines that contain `text`.
    QStringList containing(const QString& text) const { return lines().filter(text); }

  private:
    static LogCapture*& instance() {
        static LogCapture* current = nullptr;
        return current;
    }
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message) {
        if (LogCapture* self = instance()) {
            QMutexLocker lock(&self->mutex_);
            self->lines_ << message;
        }
    }

    mutable QMutex mutex_;
    QStringList lines_;
    QtMessageHandler previous_ = nullptr;
};

}  // namespace qv::test
