#include "main/hooks/status/BurnRateTracker.h"

#include <algorithm>

namespace murmeli::hooks {

namespace {

// Readings closer together than this are too noisy to give a rate.
constexpr double minimumElapsedSeconds = 5.0;
// The newest reading counts for less than the running rate, so one burst does not swing the estimate.
constexpr double newestWeight = 0.3;
constexpr double runningWeight = 0.7;
// Below this the estimate would be absurdly far out, so we show none.
constexpr double minimumRate = 0.01;

} // namespace

void BurnRateTracker::update(int contextPercent, const QDateTime& now)
{
    if (lastPercent >= 0 && lastTime) {
        const double elapsedSeconds = static_cast<double>(lastTime->msecsTo(now)) / 1000.0;
        if (elapsedSeconds > minimumElapsedSeconds && lastPercent < contextPercent) {
            const double instant
                = (static_cast<double>(contextPercent) - static_cast<double>(lastPercent)) / (elapsedSeconds / 60.0);
            burnRatePerMin = burnRatePerMin == 0.0 ? instant : instant * newestWeight + burnRatePerMin * runningWeight;
            if (burnRatePerMin > minimumRate) {
                // A reading past 100 % would otherwise show minutes below zero.
                const double minutes = (100.0 - static_cast<double>(contextPercent)) / burnRatePerMin;
                estRemainingMin = static_cast<int>(std::max(minutes, 0.0));
            } else {
                estRemainingMin = 0;
            }
        }
    }
    lastPercent = contextPercent;
    lastTime = now;
}

void BurnRateTracker::reset()
{
    *this = BurnRateTracker {};
}

} // namespace murmeli::hooks
