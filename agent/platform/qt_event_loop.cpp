#include "platform/qt_event_loop.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

namespace qv {

double SystemClock::now() const {
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

namespace {

// A QTimer that lives exactly as long as its handle. A callback must not destroy its own handle.
class QtTimer : public Timer {
  public:
    QtTimer(double seconds, bool repeat, std::function<void()> fn) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setSingleShot(!repeat);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(fn));
        timer_.start(static_cast<int>(seconds * 1000));
    }

  private:
    QTimer timer_;
};

}  // namespace

std::unique_ptr<Timer> QtScheduler::every(double seconds, std::function<void()> fn) {
    return std::make_unique<QtTimer>(seconds, true, std::move(fn));
}

std::unique_ptr<Timer> QtScheduler::after(double seconds, std::function<void()> fn) {
    return std::make_unique<QtTimer>(seconds, false, std::move(fn));
}

void ThreadQueue::run(std::function<void()> work, std::function<void()> then) {
    pool_.start([work = std::move(work), then = std::move(then)] {
        work();
        QMetaObject::invokeMethod(QCoreApplication::instance(), then, Qt::QueuedConnection);
    });
}

}  // namespace qv
