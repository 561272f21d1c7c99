#include "app/EventLoopQueue.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace intercom {

void EventLoopQueue::async(dispatch::Work work) {
    // Work that arrives after the application object is gone has nowhere left to run.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
    }
}

void EventLoopQueue::after(dispatch::Duration delay, dispatch::Work work) {
    const auto ms = std::max(std::chrono::ceil<std::chrono::milliseconds>(delay),
                             std::chrono::milliseconds::zero());
    // Timers belong to the thread that starts them, so the timer is started on the
    // interface thread whatever thread asks.
    async([ms, work = std::move(work)]() mutable {
        QTimer::singleShot(ms, Qt::PreciseTimer, QCoreApplication::instance(), std::move(work));
    });
}

bool EventLoopQueue::isCurrent() const {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

}  // namespace intercom
