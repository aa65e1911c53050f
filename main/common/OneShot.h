#pragma once

#include <coroutine>
#include <memory>
#include <optional>
#include <utility>

namespace murmeli::common {

/// A value delivered once to one awaiting coroutine; the awaiting side resumes inside fulfil(). Copies share
/// the same slot, so the producer can keep one copy and hand the other to the waiter.
template <typename T> class OneShot final {
public:
    OneShot() : m_state(std::make_shared<State>()) { }

    /// Stores the value and resumes the waiter, if any; later calls are ignored. Returns whether it took effect.
    bool fulfil(T value)
    {
        if (m_state->value) {
            return false;
        }
        m_state->value = std::move(value);
        if (auto waiter = std::exchange(m_state->waiter, {})) {
            waiter.resume();
        }
        return true;
    }

    bool isFulfilled() const { return m_state->value.has_value(); }

    auto operator co_await() const
    {
        struct Awaiter {
            std::shared_ptr<State> state;
            bool await_ready() const noexcept { return state->value.has_value(); }
            void await_suspend(std::coroutine_handle<> waiter) noexcept { state->waiter = waiter; }
            T await_resume() { return *state->value; }
        };
        return Awaiter { m_state };
    }

private:
    struct State {
        std::optional<T> value;
        std::coroutine_handle<> waiter;
    };
    std::shared_ptr<State> m_state;
};

} // namespace murmeli::common
