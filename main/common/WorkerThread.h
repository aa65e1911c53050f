#pragma once

#include <functional>
#include <memory>
#include <utility>

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThread>

namespace murmeli::common {

/// A worker object confined to its own named thread, for a component whose face stays on the owner's thread.
/// Calls reach the worker only as queued invocations; the worker reaches the owner through postToOwner(), whose
/// calls are dropped once this object is gone.
template <typename Worker> class WorkerThread final {
public:
    /// Starts the thread under name and moves worker onto it; teardown runs there, blocking, when stop() is called.
    WorkerThread(const QString& name, std::unique_ptr<Worker> worker, std::function<void(Worker&)> teardown = {})
        : m_context(std::make_unique<QObject>()), m_worker(worker.release()), m_teardown(std::move(teardown))
    {
        m_thread.setObjectName(name);
        m_worker->moveToThread(&m_thread);
        // The worker's own children (timers, sockets) must die on the thread that owns them.
        QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread.start();
    }

    ~WorkerThread() { stop(); }

    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    /// Queues call(worker) on the worker's thread and returns at once.
    template <typename Fn> void post(Fn call)
    {
        QMetaObject::invokeMethod(
            m_worker, [worker = m_worker, call = std::move(call)]() mutable { call(*worker); }, Qt::QueuedConnection);
    }

    /// Runs call(worker) on the worker's thread and waits for it. Never from the worker's thread itself.
    template <typename Fn> void run(Fn&& call)
    {
        QMetaObject::invokeMethod(
            m_worker, [worker = m_worker, &call] { call(*worker); }, Qt::BlockingQueuedConnection);
    }

    /// Queues call on the thread that built this object; any thread may post. Dropped after stop().
    template <typename Fn> void postToOwner(Fn call)
    {
        QMetaObject::invokeMethod(m_context.get(), std::move(call), Qt::QueuedConnection);
    }

    /// Lives on the owner's thread until stop(): a QPointer to it tells an owner-side call whether its owner is
    /// still there.
    QObject* ownerContext() const { return m_context.get(); }

    /// Runs the teardown on the worker's thread, ends the thread and drops what was still queued for the owner.
    /// Call from the owner's thread before anything the worker's callbacks touch is destroyed; later calls do
    /// nothing.
    void stop()
    {
        if (!m_thread.isRunning()) {
            return;
        }
        if (m_teardown) {
            run(m_teardown);
        }
        m_thread.quit();
        m_thread.wait();
        m_context.reset();
    }

private:
    QThread m_thread;
    std::unique_ptr<QObject> m_context;
    Worker* m_worker = nullptr; // owned by the thread: deleted there when it finishes
    std::function<void(Worker&)> m_teardown;
};

} // namespace murmeli::common
