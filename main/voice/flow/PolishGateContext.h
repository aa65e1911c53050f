#pragma once

#include <QMap>
#include <QString>

namespace murmeli::voice {

/// What the controller knows at the end of a take that decides and addresses its polish.
struct PolishGateContext final {
    /// A cloud session token is held.
    bool cloudLoggedIn = false;
    /// The backend the take actually used.
    QString effectiveBackendId;
    /// The user's polish switch.
    bool aiOptimizationOn = false;
    /// The take's recognition context's hotwords with their weights.
    QMap<QString, int> hotwords;
    QString cloudWorkerURL;
    QString cloudToken;

    bool operator==(const PolishGateContext&) const = default;
};

} // namespace murmeli::voice
