#pragma once

#include <optional>
#include <variant>

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include "main/cloud/api/CloudHttpClient.h"
#include "main/voice/context/STTContext.h"
#include "main/voice/service/CloudSTTError.h"

class QNetworkAccessManager;

namespace murmeli::common {
class Clock;
}

namespace murmeli::voice {

/// The cloud worker's HTTP side: the batch upload of a finished take and the account query, sent through the cloud
/// service's one HTTP client. Keeps no state between calls; every call is bounded by its own time limit on the
/// injected clock.
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
    /// The largest take file read for upload: over eight minutes of take audio, where a take lasts at most a minute.
    static constexpr qint64 maxWavFileBytes = 16 * 1024 * 1024;

    /// Requests take network's proxy (the process's one HTTP session); time limits run on clock. Both must outlive the
    /// client's calls.
    CloudTranscribeClient(QNetworkAccessManager& network, common::Clock& clock);

    /// POSTs the take to workerURL + "/transcribe" as a multipart form with the bearer token.
    QCoro::Task<Outcome<Transcript>> transcribe(QByteArray wav, STTContext context, QString token, QString workerURL);
    /// GETs workerURL + "/account" with the bearer token.
    QCoro::Task<Outcome<Account>> fetchAccount(QString token, QString workerURL);

    /// The value of an "X-Minutes-Remaining" header: a decimal integer with an optional sign and nothing else;
    /// nullopt when the header is absent, malformed or out of range.
    static std::optional<int> parseMinutesRemaining(const std::optional<QByteArray>& header);

private:
    using Reply = cloud::CloudHttpClient::Reply;

    /// The request with the bearer token, sent once; a reply of any status, or the error of a request that got none.
    QCoro::Task<std::variant<Reply, CloudSTTError>> send(QByteArray method, QUrl url, QString token,
        QList<cloud::CloudHttpClient::Header> headers, std::optional<QByteArray> body, qint64 timeoutMs);

    cloud::CloudHttpClient m_http;
};

} // namespace murmeli::voice
