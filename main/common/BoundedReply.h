#pragma once

#include <QNetworkReply>
#include <QPointer>

#include <qcoro/qcorotask.h>

#include "main/common/Clock.h"

namespace murmeli::common {

/// How a bounded wait for a network reply ended.
enum class ReplyEnd {
    Finished, ///< the reply finished by itself (with or without a network error)
    Dropped, ///< the reply object went away while it was awaited
    TimedOut, ///< the clock's limit ran out first and the reply was aborted
    Oversized, ///< the reply sent more than allowed and was aborted
};

/// Waits for the reply, aborting it once timeoutMs have passed on the clock or once more than maxBytes have come in.
/// The clock must outlive the wait; the caller keeps ownership of the reply.
QCoro::Task<ReplyEnd> awaitBoundedReply(QPointer<QNetworkReply> reply, Clock& clock, qint64 timeoutMs, qint64 maxBytes);

} // namespace murmeli::common
