#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <utility>

#include <QFuture>
#include <QPromise>
#include <QThreadPool>

#include <QCoroFuture>
#include <QCoroTask>

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

} // namespace murmeli::common
