#pragma once

#include <memory>
#include <optional>

#include <QCoroTask>

namespace murmeli::test {

/// Lets a started task run on the event loop and keeps its result when it ends, so a test can drive a clock or a
/// peer while the task waits, and then look.
template <typename T> std::shared_ptr<std::optional<T>> keepResult(QCoro::Task<T> task)
{
    auto result = std::make_shared<std::optional<T>>();
    [](QCoro::Task<T> running, std::shared_ptr<std::optional<T>> out) -> QCoro::Task<> {
        T value = co_await running;
        *out = std::move(value);
    }(std::move(task), result);
    return result;
}

} // namespace murmeli::test
