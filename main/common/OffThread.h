#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <QFuture>
#include <QPromise>
#include <QThreadPool>

#include <QCoroFuture>
#include <QCoroTask>

#include "main/common/Clock.h"

namespace murmeli::common {

/// Runs work on a pool thread and resumes the awaiting coroutine on its own thread, whose event loop delivers the
/// completion. The work must own everything it touches: the awaiting side may have gone by the time it ends.
template <typename T> QCoro::Task<T> runOffThread(std::function<T()> work)
{
    // Shared because QPromise cannot be copied and the pool wants a copyable callable.
    auto promise = std::make_shared<QPromise<T>>();
    QFuture<T> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)] {
        try {
            promise->addResult(work());
        } catch (...) {
            // Without this a throwing job would leave the awaiting coroutine suspended for ever.
            promise->setException(std::current_exception());
        }
        promise->finish();
    });
    co_return co_await future;
}

namespace detail {

/// The answer of a wait that two sides race to give: the first one settles it, the other is dropped.
template <typename T> struct Race {
    QPromise<T> promise;
    std::atomic_flag settled;

    void settle(T value)
    {
        if (!settled.test_and_set()) {
            promise.addResult(std::move(value));
            promise.finish();
        }
    }
};

} // namespace detail

/// Threads of their own for looks at the processes, which read /proc alone and never a folder: never the global
/// pool's, which the panel's sync, the jump and speech share, nor the folders'. With all of them taken a look gets
/// none. Made once and never destroyed, so that the end of the process waits for no stuck thread.
QThreadPool& lookPool();

/// Threads of their own for looks at folders the agents sent, which may block in the kernel without end (at a folder
/// on a network mount that stopped answering): never the looks', so that folders that do not answer cost no look at
/// the processes. A folder that does not answer keeps its one thread, and with all of them taken a folder is not
/// looked at. Made once and never destroyed, like lookPool().
QThreadPool& folderPool();

/// Whether future ended within limitMs on clock; the clock is used only as the wait begins.
QCoro::Task<bool> endedWithin(QFuture<void> future, Clock& clock, qint64 limitMs);

/// runOffThread with a time limit: when the work has not ended after limitMs on clock, the awaiting coroutine
/// resumes with fallback and the work's late result is dropped. A work that throws also gives fallback. The work
/// must own everything it touches. The clock is used only as the wait begins: its owner may be gone by the time the
/// work ends, and its timer, left to run out, then settles nothing. With a pool, a work that finds none of its
/// threads free gives fallback at once rather than wait behind work that may never end. With after, the work starts
/// only once that has ended, on no thread of the pool meanwhile; the time limit counts from the call all the same.
template <typename T>
QCoro::Task<T> runOffThreadWithin(std::function<T()> work, Clock& clock, qint64 limitMs, T fallback,
    QThreadPool* pool = nullptr, std::optional<QFuture<void>> after = std::nullopt)
{
    auto race = std::make_shared<detail::Race<T>>();
    QFuture<T> future = race->promise.future();
    race->promise.start();
    clock.schedule(limitMs, [race, fallback] { race->settle(fallback); });
    auto job = [race, fallback, work = std::move(work)] {
        try {
            race->settle(work());
        } catch (...) {
            race->settle(fallback);
        }
    };
    auto start = [race, fallback, pool, job = std::move(job)] {
        if (race->settled.test()) {
            return;
        }
        if (!pool) {
            QThreadPool::globalInstance()->start(job);
        } else if (!pool->tryStart(job)) {
            race->settle(fallback);
        }
    };
    if (after) {
        // Runs where after ends, at once where it has.
        after->then(std::move(start));
    } else {
        start();
    }
    co_return co_await future;
}

} // namespace murmeli::common
