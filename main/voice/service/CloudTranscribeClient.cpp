#include "main/voice/service/CloudTranscribeClient.h"

#include <limits>

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QUrl>

#include <QCoroNetworkReply>

#include "main/common/BoundedReply.h"
#include "main/common/Clock.h"
#include "main/common/TextUtils.h"
#include "main/voice/service/TranscribeUploadForm.h"

namespace murmeli::voice {

namespace {

/// The worker address followed by path, when that is an http(s) URL with a host. The join is plain concatenation:
/// the worker address is configured without a trailing slash.
std::optional<QUrl> endpointUrl(const QString& workerURL, const QString& path)
{
    const QUrl url(workerURL + path, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        return std::nullopt;
    }
    return url;
}

QNetworkRequest authorisedRequest(const QUrl& url, const QString& token)
{
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    // Our own clock bounds the call; Qt's transfer limit would race it with a different error.
    request.setTransferTimeout(0);
    return request;
}

std::optional<QJsonObject> jsonObject(const QByteArray& body)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

CloudSTTError authErrorFrom(const QByteArray& body)
{
    if (const auto object = jsonObject(body)) {
        const QJsonValue reason = object->value(QStringLiteral("error"));
        if (reason.isString()) {
            return CloudSTTError::authError(reason.toString());
        }
    }
    return CloudSTTError::authError(QStringLiteral("unauthorized"));
}

} // namespace

CloudTranscribeClient::CloudTranscribeClient(QNetworkAccessManager& network, common::Clock& clock)
    : m_network(&network), m_clock(clock)
{
}

std::optional<int> CloudTranscribeClient::parseMinutesRemaining(const std::optional<QByteArray>& header)
{
    if (!header || header->isEmpty()) {
        return std::nullopt;
    }
    const std::optional<qint64> value = common::text::strictInteger(*header);
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

QCoro::Task<CloudTranscribeClient::Outcome<CloudTranscribeClient::Transcript>> CloudTranscribeClient::transcribe(
    QByteArray wav, STTContext context, QString token, QString workerURL)
{
    const std::optional<QUrl> url = endpointUrl(workerURL, QStringLiteral("/transcribe"));
    if (!url) {
        co_return CloudSTTError::badURL();
    }
    const QString boundary = TranscribeUploadForm::newBoundary();
    QNetworkRequest request = authorisedRequest(*url, token);
    request.setHeader(QNetworkRequest::ContentTypeHeader, TranscribeUploadForm::contentType(boundary));
    QByteArray body = TranscribeUploadForm::body(wav, TranscribeUploadForm::contextJson(context), boundary);

    auto sent = co_await send(request, std::move(body), uploadTimeoutMs);
    if (auto* error = std::get_if<CloudSTTError>(&sent)) {
        co_return *error;
    }
    const HttpReply& reply = std::get<HttpReply>(sent);
    switch (reply.status) {
    case 200:
        break;
    case 401:
        co_return authErrorFrom(reply.body);
    case 402:
        co_return CloudSTTError::quotaExceeded();
    default:
        co_return CloudSTTError::serverError(reply.status);
    }
    const auto object = jsonObject(reply.body);
    const QJsonValue transcript = object ? object->value(QStringLiteral("transcript")) : QJsonValue();
    if (!transcript.isString()) {
        co_return CloudSTTError::badResponse();
    }
    co_return Transcript { transcript.toString(), parseMinutesRemaining(reply.minutesHeader) };
}

QCoro::Task<CloudTranscribeClient::Outcome<CloudTranscribeClient::Account>> CloudTranscribeClient::fetchAccount(
    QString token, QString workerURL)
{
    const std::optional<QUrl> url = endpointUrl(workerURL, QStringLiteral("/account"));
    if (!url) {
        co_return CloudSTTError::badURL();
    }
    auto sent = co_await send(authorisedRequest(*url, token), std::nullopt, accountTimeoutMs);
    if (auto* error = std::get_if<CloudSTTError>(&sent)) {
        co_return *error;
    }
    const HttpReply& reply = std::get<HttpReply>(sent);
    if (reply.status == 401) {
        co_return authErrorFrom(reply.body);
    }
    if (reply.status != 200) {
        co_return CloudSTTError::serverError(reply.status);
    }
    const auto object = jsonObject(reply.body);
    if (!object) {
        co_return CloudSTTError::badResponse();
    }
    const QJsonValue email = object->value(QStringLiteral("email"));
    const QJsonValue minutes = object->value(QStringLiteral("minutes_left"));
    // A whole number only: 12.5 minutes or 1e20 is not an account the worker could have sent.
    const double minutesValue = minutes.toDouble();
    if (!email.isString() || !minutes.isDouble()
        || minutesValue != static_cast<double>(static_cast<int>(minutesValue))) {
        co_return CloudSTTError::badResponse();
    }
    co_return Account { email.toString(), static_cast<int>(minutesValue) };
}

QCoro::Task<std::variant<CloudTranscribeClient::HttpReply, CloudSTTError>> CloudTranscribeClient::send(
    QNetworkRequest request, std::optional<QByteArray> body, qint64 timeoutMs)
{
    if (!m_network) {
        co_return CloudSTTError::networkError();
    }
    // Nothing of this client is touched after the first suspension: it may be gone by the time the reply is.
    common::Clock& clock = m_clock;
    QPointer<QNetworkReply> reply = body ? m_network->post(request, *body) : m_network->get(request);
    const auto release = qScopeGuard([reply] {
        if (reply) {
            reply->deleteLater();
        }
    });

    const common::ReplyEnd end = co_await common::awaitBoundedReply(reply, clock, timeoutMs, maxReplyBytes);
    switch (end) {
    case common::ReplyEnd::Dropped:
        co_return CloudSTTError::networkError();
    case common::ReplyEnd::TimedOut:
        co_return CloudSTTError::timedOut();
    case common::ReplyEnd::Oversized:
        co_return CloudSTTError::badResponse();
    case common::ReplyEnd::Finished:
        break;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        // No HTTP exchange took place: the network layer's own failure, or a reply that was never HTTP.
        if (reply->error() != QNetworkReply::NoError) {
            co_return CloudSTTError::transportError(reply->errorString());
        }
        co_return CloudSTTError::networkError();
    }
    HttpReply result;
    result.status = status.toInt();
    result.body = reply->readAll();
    if (reply->hasRawHeader("X-Minutes-Remaining")) {
        result.minutesHeader = reply->rawHeader("X-Minutes-Remaining");
    }
    co_return result;
}

} // namespace murmeli::voice
