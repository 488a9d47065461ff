#include "platform/qt_event_loop.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

namespace qv {

double SystemClock::now() const {
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

void QtScheduler::every(double seconds, std::function<void()> fn) {
    auto* timer = new QTimer(&owner_);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, &owner_, std::move(fn));
    timer->start(static_cast<int>(seconds * 1000));
}

void QtScheduler::after(double seconds, std::function<void()> fn) {
    QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &owner_, std::move(fn));
}

void ThreadQueue::run(std::function<void()> work, std::function<void()> then) {
    pool_.start([work = std::move(work), then = std::move(then)] {
        work();
        QMetaObject::invokeMethod(QCoreApplication::instance(), then, Qt::QueuedConnection);
    });
}

}  // namespace qv
