#pragma once

#include <QStringList>

namespace murmeli::hooks {

/// What the session's transcript says about it.
struct TranscriptData {
    /// Tools whose use has started and not yet returned a result.
    QStringList runningTools;
    /// Whole seconds since 1970 of the last transcript update; 0 or less when never.
    qint64 lastUpdateTs = 0;

    bool operator==(const TranscriptData&) const = default;
};

} // namespace murmeli::hooks
