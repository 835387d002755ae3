#pragma once

#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>

// A thread, not yet started, that runs work; once work has returned and the thread has
// finished, done runs on context's thread and may take what work left behind. Qt orders
// the two inside its own libraries (the QThread::finished signal, queued through its
// event queue), where ThreadSanitizer cannot see it; a flag stored as work returns and
// loaded before done runs states the same order in our code, at the cost of one atomic
// store and load.
template <typename Work, typename Done>
QThread *createWorkerThread(QObject *context, Work work, Done done)
{
    auto handedOver = std::make_shared<std::atomic<bool>>(false);
    QThread *thread = QThread::create([work = std::move(work), handedOver]() mutable {
        work();
        handedOver->store(true, std::memory_order_release);
    });
    QObject::connect(thread, &QThread::finished, context,
                     [done = std::move(done), handedOver]() mutable {
                         (void)handedOver->load(std::memory_order_acquire);
                         done();
                     });
    return thread;
}
