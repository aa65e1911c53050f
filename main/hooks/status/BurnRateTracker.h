#pragma once

#include <optional>

#include <QDateTime>

namespace murmeli::hooks {

/// How fast the active session fills its context window, and how long until it is full.
struct BurnRateTracker final {
    /// Smoothed context use in percentage points per minute; 0 until there is an estimate.
    double burnRatePerMin = 0.0;
    /// Whole minutes until the context is full; 0 when unknown.
    int estRemainingMin = 0;
    /// The percentage of the previous update; -1 before the first.
    int lastPercent = -1;
    std::optional<QDateTime> lastTime;

    /// Folds in a new reading; every reading becomes the reference for the next, whether or not it moved the rate.
    void update(int contextPercent, const QDateTime& now);
    /// Back to no estimate and no reference.
    void reset();

    friend bool operator==(const BurnRateTracker&, const BurnRateTracker&) = default;
};

} // namespace murmeli::hooks
