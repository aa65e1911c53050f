#include "main/voice/streaming/FinalTextWaiter.h"

#include <utility>

namespace murmeli::voice {

FinalTextWaiter::FinalTextWaiter(common::Clock& clock, qint64 limitMs) : m_clock(clock), m_limitMs(limitMs) { }

FinalTextWaiter::~FinalTextWaiter()
{
    finish({ std::nullopt, QStringLiteral("the streaming session went away before the final text") });
}

common::OneShot<FinalTextOutcome> FinalTextWaiter::arm()
{
    finish({ std::nullopt, QStringLiteral("a newer take replaced this wait for the final text") });
    common::OneShot<FinalTextOutcome> waiter;
    m_waiter = waiter;
    m_limitTimer = m_clock.schedule(m_limitMs, [this] {
        m_limitTimer = 0;
        finish({ std::nullopt, QStringLiteral("no final text within %1 ms").arg(m_limitMs) });
    });
    return waiter;
}

bool FinalTextWaiter::deliver(const QString& text)
{
    return finish({ text, {} });
}

bool FinalTextWaiter::fail(const QString& error)
{
    return finish({ std::nullopt, error });
}

bool FinalTextWaiter::finish(FinalTextOutcome outcome)
{
    if (!m_waiter) {
        return false;
    }
    if (m_limitTimer != 0) {
        m_clock.cancel(std::exchange(m_limitTimer, 0));
    }
    // Cleared before the waiter resumes: what it does next (even a new wait) finds this one gone.
    common::OneShot<FinalTextOutcome> waiter = std::move(*m_waiter);
    m_waiter.reset();
    waiter.fulfil(std::move(outcome));
    return true;
}

} // namespace murmeli::voice
