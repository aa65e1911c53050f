#pragma once

#include <optional>

#include <QString>

#include <QCoroTask>

namespace murmeli::voice {

/// Carries one polish request to the worker and brings back its reply frame.
class EnhanceTransport {
public:
    EnhanceTransport() = default;
    virtual ~EnhanceTransport() = default;
    EnhanceTransport(const EnhanceTransport&) = delete;
    EnhanceTransport& operator=(const EnhanceTransport&) = delete;

    /// Sends requestJson to workerURL with the bearer token; the raw text of the reply frame that ends the exchange,
    /// or nullopt on any failure or after timeoutMs. Completes exactly once, on the caller's thread.
    virtual QCoro::Task<std::optional<QString>> send(
        QString requestJson, QString workerURL, QString token, int timeoutMs)
        = 0;
};

} // namespace murmeli::voice
