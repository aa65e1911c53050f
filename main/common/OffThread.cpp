#include "main/common/OffThread.h"

namespace murmeli::common {

namespace {

QThreadPool* madePool(int threads, const QString& name)
{
    auto* made = new QThreadPool;
    made->setMaxThreadCount(threads);
    made->setObjectName(name);
    return made;
}

} // namespace

QThreadPool& lookPool()
{
    // Enough for the looks of several sessions at once.
    static QThreadPool* const pool = madePool(4, QStringLiteral("murmeli.looks"));
    return *pool;
}

QThreadPool& folderPool()
{
    // Each folder that stops answering costs one; beyond them folders count as written, and looks go on.
    static QThreadPool* const pool = madePool(4, QStringLiteral("murmeli.folders"));
    return *pool;
}

QCoro::Task<bool> endedWithin(QFuture<void> future, Clock& clock, qint64 limitMs)
{
    auto race = std::make_shared<detail::Race<bool>>();
    QFuture<bool> answer = race->promise.future();
    race->promise.start();
    clock.schedule(limitMs, [race] { race->settle(false); });
    future.then([race] { race->settle(true); });
    co_return co_await answer;
}

} // namespace murmeli::common
