#pragma once

#include <optional>

#include <QString>

#include "main/common/Clock.h"
#include "main/common/OneShot.h"

namespace murmeli::voice {

/// How the wait for a turn's final text ended: the text, or why there is none.
struct FinalTextOutcome final {
    std::optional<QString> text;
    QString error; // set exactly when text is absent

    bool operator==(const FinalTextOutcome&) const = default;
};

/// Holds the one waiter for the final text of a streaming turn. Every wait ends: with the final text, with an
/// error when a newer wait replaces it or when the time limit passes, so that the take falls back rather than
/// hanging. A final that arrives with nobody waiting is dropped.
class FinalTextWaiter final {
public:
    /// How long a turn may wait for its final text after the end of turn was sent.
    static constexpr qint64 defaultLimitMs = 10000;

    explicit FinalTextWaiter(common::Clock& clock, qint64 limitMs = defaultLimitMs);
    /// A wait still open is ended with an error; the awaiting coroutine must not assume its owner still exists.
    ~FinalTextWaiter();
    FinalTextWaiter(const FinalTextWaiter&) = delete;
    FinalTextWaiter& operator=(const FinalTextWaiter&) = delete;

    /// Starts a wait and returns what to co_await. A wait still open is ended first, with an error.
    common::OneShot<FinalTextOutcome> arm();
    /// Ends the open wait with text; false when nobody waits (the text is dropped).
    bool deliver(const QString& text);
    /// Ends the open wait with an error; false when nobody waits.
    bool fail(const QString& error);
    bool isWaiting() const { return m_waiter.has_value(); }
    qint64 limitMs() const { return m_limitMs; }

private:
    bool finish(FinalTextOutcome outcome);

    common::Clock& m_clock;
    qint64 m_limitMs;
    std::optional<common::OneShot<FinalTextOutcome>> m_waiter;
    common::Clock::TimerId m_limitTimer = 0;
};

} // namespace murmeli::voice
