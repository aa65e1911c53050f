#pragma once

#include <memory>

#include <QHash>
#include <QString>

#include "main/common/Clock.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::hooks {

/// The all-time and today's token counters, kept in the user defaults. Agents report each session's running
/// total, so the store remembers the last total per session (in memory only) and counts only the growth.
class TokenStore final {
public:
    static constexpr const char* cumulativeKey = "tokens.cumulative.v1";
    static constexpr const char* todayKey = "tokens.today.v1";
    static constexpr const char* todayDateKey = "tokens.today.date.v1";

    /// Starts today's count again when the stored day is not the clock's local date; a null clock means the system
    /// one.
    explicit TokenStore(
        platform::Defaults& defaults, std::shared_ptr<common::Clock> clock = std::make_shared<common::SystemClock>());

    /// The all-time count; 0 when absent or not a whole number.
    qint64 cumulative() const;
    /// Today's count, after starting it again when the day has changed.
    qint64 today();
    /// The day today's count belongs to, "" when absent.
    QString todayDate() const;

    /// Adds n (when at least 1) to both counters; they stop at the largest qint64 instead of wrapping.
    void addTokens(qint64 n);
    /// Adds the growth of a session's running total since its last report; the first report only sets the baseline.
    void recordSessionSnapshot(const QString& sessionId, qint64 totalTokens);
    /// Removes the three keys and forgets every session's baseline.
    void reset();

    /// Short text for the device: "999", "1.9k", "10k", "1.9M", "12M"; negative counts show as "0".
    static QString formatTokensDisplay(qint64 n);

private:
    void rollOverDay();
    QString currentDateString() const;
    qint64 counter(const char* key) const;

    platform::Defaults& m_defaults;
    std::shared_ptr<common::Clock> m_clock;
    QHash<QString, qint64> m_lastSeenPerSession;
};

} // namespace murmeli::hooks
