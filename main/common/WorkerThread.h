#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QObject>
#include <QSemaphore>
#include <QString>
#include <QThread>

namespace murmeli::common {

/// A worker object confined to its own named thread, for a component whose face stays on the owner's thread.
/// Calls reach the worker only as queued invocations; the worker reaches the owner through postToOwner(), whose
/// calls are dropped once this object is gone.
template <typename Worker> class WorkerThread final {
public:
    /// How long a worker that may be held in the kernel for good (by a read of a folder that stopped answering) is
    /// given to end: stop(leaveBehindAfterMs).
    static constexpr int leaveBehindAfterMs = 1500;

    /// Starts the thread under name and moves worker onto it; teardown runs there when stop() is called.
    WorkerThread(const QString& name, std::unique_ptr<Worker> worker, std::function<void(Worker&)> teardown = {})
        : m_thread(std::make_unique<QThread>()), m_context(std::make_unique<QObject>()), m_worker(worker.release()),
          m_teardown(std::move(teardown))
    {
        m_thread->setObjectName(name);
        m_worker->moveToThread(m_thread.get());
        // The worker's own children (timers, sockets) must die on the thread that owns them.
        QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread->start();
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
    /// nothing. With a limit, a worker that has not ended within it is left behind, its thread still held by what
    /// holds it, to run the teardown and end only once that lets go; false then. Only a worker that reaches its owner
    /// through nothing that dies with this object may be left behind.
    bool stop(std::optional<int> limitMs = std::nullopt)
    {
        if (!m_thread) {
            return true;
        }
        if (!limitMs) {
            if (m_teardown && m_thread->isRunning()) {
                run(m_teardown);
            }
            m_thread->quit();
            m_thread->wait();
            m_thread.reset();
            m_context.reset();
            return true;
        }
        const QDeadlineTimer deadline(*limitMs);
        bool tornDown = true;
        if (m_teardown && m_thread->isRunning()) {
            auto done = std::make_shared<QSemaphore>();
            QMetaObject::invokeMethod(
                m_worker,
                [worker = m_worker, teardown = m_teardown, done] {
                    teardown(*worker);
                    done->release();
                },
                Qt::QueuedConnection);
            tornDown = done->tryAcquire(1, int(deadline.remainingTime()));
        }
        m_thread->quit();
        const bool ended = tornDown && m_thread->wait(deadline);
        m_context.reset();
        if (ended) {
            m_thread.reset();
            return true;
        }
        // Destroying a QThread that still runs would end the process; it is kept where it stays reachable.
        static auto* const leftBehind = new std::vector<QThread*>;
        leftBehind->push_back(m_thread.release());
        return false;
    }

private:
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<QObject> m_context;
    Worker* m_worker = nullptr; // owned by the thread: deleted there when it finishes
    std::function<void(Worker&)> m_teardown;
};

} // namespace murmeli::common
