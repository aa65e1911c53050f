#pragma once

#include <optional>
#include <variant>

#include <QByteArray>
#include <QPointer>
#include <QString>

#include <QCoroTask>

#include "main/voice/service/CloudSTTError.h"
#include "main/voice/context/STTContext.h"

class QNetworkAccessManager;
class QNetworkRequest;

namespace murmeli::common {
class Clock;
}

namespace murmeli::voice {

/// The cloud worker's HTTP side: the batch upload of a finished take and the account query. Keeps no state between
/// calls; every call is bounded by its own time limit on the injected clock.
class CloudTranscribeClient final {
public:
    struct Transcript {
        QString text;
        /// The balance the worker reported with the reply; nullopt when it sent none we could read, which must not
        /// overwrite a known balance.
        std::optional<int> minutesRemaining;
        bool operator==(const Transcript&) const = default;
    };
    struct Account {
        QString email;
        int minutesLeft = 0;
        bool operator==(const Account&) const = default;
    };
    template <typename T> using Outcome = std::variant<T, CloudSTTError>;

    static constexpr qint64 uploadTimeoutMs = 30'000;
    static constexpr qint64 accountTimeoutMs = 15'000;
    /// Replies of these two endpoints are a few hundred bytes; anything far larger is not the worker talking.
    static constexpr qint64 maxReplyBytes = 1 << 20;

    /// Requests go out through network (the process's one HTTP session); time limits run on clock. Both must outlive
    /// the client's calls.
    CloudTranscribeClient(QNetworkAccessManager& network, common::Clock& clock);

    /// POSTs the take to workerURL + "/transcribe" as a multipart form with the bearer token.
    QCoro::Task<Outcome<Transcript>> transcribe(QByteArray wav, STTContext context, QString token, QString workerURL);
    /// GETs workerURL + "/account" with the bearer token.
    QCoro::Task<Outcome<Account>> fetchAccount(QString token, QString workerURL);

    /// The value of an "X-Minutes-Remaining" header: a decimal integer with an optional sign and nothing else;
    /// nullopt when the header is absent, malformed or out of range.
    static std::optional<int> parseMinutesRemaining(const std::optional<QByteArray>& header);

private:
    struct HttpReply {
        int status = 0;
        QByteArray body;
        std::optional<QByteArray> minutesHeader;
    };

    QCoro::Task<std::variant<HttpReply, CloudSTTError>> send(
        QNetworkRequest request, std::optional<QByteArray> body, qint64 timeoutMs);

    QPointer<QNetworkAccessManager> m_network;
    common::Clock& m_clock;
};

} // namespace murmeli::voice
