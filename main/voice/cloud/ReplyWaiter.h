#pragma once

#include <coroutine>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

#include <QCoroTask>

#include "main/common/Clock.h"

namespace murmeli::voice {

/// Why a wait for a reply ended without one.
enum class WaitFailure {
    TimedOut, ///< the wait's time limit passed
    Replaced, ///< a newer wait took the slot
    Closed, ///< the source of replies ended (socket gone, owner gone)
};

/// One awaited reply from a socket, with a time limit that cannot be left out. There is one slot: a new wait first
/// resumes the one it replaces with Replaced, so no waiter is ever left hanging. The awaiting coroutine is resumed
/// inside deliver()/close()/the timer, and the waiter is not touched after that, so the coroutine may end its
/// owner's life there.
template <typename T> class ReplyWaiter final {
public:
    using Result = std::variant<T, WaitFailure>;

    explicit ReplyWaiter(common::Clock& clock) : m_clock(clock) { }
    ReplyWaiter(const ReplyWaiter&) = delete;
    ReplyWaiter& operator=(const ReplyWaiter&) = delete;
    ~ReplyWaiter() { close(); }

    /// The next delivered value, or why none came within timeoutMs. After close() every wait fails at once.
    QCoro::Task<Result> wait(qint64 timeoutMs)
    {
        if (m_closed) {
            co_return WaitFailure::Closed;
        }
        resolve(m_pending, WaitFailure::Replaced);
        auto slot = std::make_shared<Slot>();
        m_pending = slot;
        slot->timer = m_clock.schedule(timeoutMs, [this, weak = std::weak_ptr<Slot>(slot)] {
            if (auto expired = weak.lock()) {
                expired->timer.reset();
                resolve(expired, WaitFailure::TimedOut);
            }
        });
        // A named awaiter: g++ 12 mishandles the lifetime of a temporary one inside co_await.
        Awaiter awaiter { slot };
        Result result = co_await awaiter;
        co_return result;
    }

    /// Hands value to the pending wait; false, and the value dropped, when nobody waits.
    bool deliver(T value) { return resolve(m_pending, std::move(value)); }

    /// Ends the pending wait and every later one with Closed.
    void close()
    {
        m_closed = true;
        resolve(m_pending, WaitFailure::Closed);
    }

    bool isWaiting() const { return m_pending != nullptr; }

private:
    struct Slot {
        std::optional<Result> result;
        std::coroutine_handle<> handle;
        std::optional<common::Clock::TimerId> timer;
    };

    struct Awaiter {
        std::shared_ptr<Slot> slot;
        bool await_ready() const noexcept { return slot->result.has_value(); }
        void await_suspend(std::coroutine_handle<> handle) noexcept { slot->handle = handle; }
        Result await_resume() { return std::move(*slot->result); }
    };

    bool resolve(std::shared_ptr<Slot> slot, Result result)
    {
        if (!slot || slot->result) {
            return false;
        }
        if (m_pending == slot) {
            m_pending.reset();
        }
        if (slot->timer) {
            m_clock.cancel(*std::exchange(slot->timer, std::nullopt));
        }
        slot->result = std::move(result);
        // Last: the resumed coroutine may destroy this waiter.
        if (auto handle = std::exchange(slot->handle, {})) {
            handle.resume();
        }
        return true;
    }

    common::Clock& m_clock;
    std::shared_ptr<Slot> m_pending;
    bool m_closed = false;
};

} // namespace murmeli::voice
