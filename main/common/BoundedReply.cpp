#include "main/common/BoundedReply.h"

#include <memory>

#include <QCoroNetworkReply>

namespace murmeli::common {

QCoro::Task<ReplyEnd> awaitBoundedReply(QPointer<QNetworkReply> reply, Clock& clock, qint64 timeoutMs, qint64 maxBytes)
{
    if (!reply) {
        co_return ReplyEnd::Dropped;
    }
    auto timedOut = std::make_shared<bool>(false);
    auto oversized = std::make_shared<bool>(false);
    const Clock::TimerId timer = clock.schedule(timeoutMs, [reply, timedOut] {
        if (reply && !reply->isFinished()) {
            *timedOut = true;
            reply->abort();
        }
    });
    QObject::connect(
        reply, &QNetworkReply::downloadProgress, reply, [reply, oversized, maxBytes](qint64 received, qint64) {
            if (received > maxBytes && !*oversized) {
                *oversized = true;
                reply->abort();
            }
        });

    co_await qCoro(reply.data()).waitForFinished();
    clock.cancel(timer);
    if (!reply) {
        co_return ReplyEnd::Dropped;
    }
    if (*timedOut) {
        co_return ReplyEnd::TimedOut;
    }
    if (*oversized) {
        co_return ReplyEnd::Oversized;
    }
    co_return ReplyEnd::Finished;
}

} // namespace murmeli::common
