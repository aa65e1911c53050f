#include "main/voice/service/CloudTranscribeClient.h"

#include <limits>

#include <QJsonObject>

#include "main/cloud/api/JsonFields.h"
#include "main/common/TextUtils.h"
#include "main/voice/service/TranscribeUploadForm.h"

namespace murmeli::voice {

namespace {

CloudSTTError authErrorFrom(const QByteArray& body)
{
    if (const auto object = cloud::JsonFields::object(body)) {
        const QJsonValue reason = object->value(QStringLiteral("error"));
        if (reason.isString()) {
            return CloudSTTError::authError(reason.toString());
        }
    }
    return CloudSTTError::authError(QStringLiteral("unauthorized"));
}

} // namespace

CloudTranscribeClient::CloudTranscribeClient(QNetworkAccessManager& network, common::Clock& clock)
    : m_http(network, clock)
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
    // The worker address is configured without a trailing slash; the join is plain concatenation.
    const std::optional<QUrl> url = cloud::CloudHttpClient::endpoint(workerURL, QStringLiteral("/transcribe"));
    if (!url) {
        co_return CloudSTTError::badURL();
    }
    const QString boundary = TranscribeUploadForm::newBoundary();
    QByteArray body = TranscribeUploadForm::body(wav, TranscribeUploadForm::contextJson(context), boundary);

    const QList<cloud::CloudHttpClient::Header> headers { { "Content-Type",
        TranscribeUploadForm::contentType(boundary) } };
    auto sent = co_await send("POST", *url, std::move(token), headers, std::move(body), uploadTimeoutMs);
    if (auto* error = std::get_if<CloudSTTError>(&sent)) {
        co_return *error;
    }
    const Reply& reply = std::get<Reply>(sent);
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
    const auto object = cloud::JsonFields::object(reply.body);
    const QJsonValue transcript = object ? object->value(QStringLiteral("transcript")) : QJsonValue();
    if (!transcript.isString()) {
        co_return CloudSTTError::badResponse();
    }
    co_return Transcript { transcript.toString(), parseMinutesRemaining(reply.header("X-Minutes-Remaining")) };
}

QCoro::Task<CloudTranscribeClient::Outcome<CloudTranscribeClient::Account>> CloudTranscribeClient::fetchAccount(
    QString token, QString workerURL)
{
    const std::optional<QUrl> url = cloud::CloudHttpClient::endpoint(workerURL, QStringLiteral("/account"));
    if (!url) {
        co_return CloudSTTError::badURL();
    }
    auto sent = co_await send("GET", *url, std::move(token), {}, std::nullopt, accountTimeoutMs);
    if (auto* error = std::get_if<CloudSTTError>(&sent)) {
        co_return *error;
    }
    const Reply& reply = std::get<Reply>(sent);
    if (reply.status == 401) {
        co_return authErrorFrom(reply.body);
    }
    if (reply.status != 200) {
        co_return CloudSTTError::serverError(reply.status);
    }
    const auto object = cloud::JsonFields::object(reply.body);
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

QCoro::Task<std::variant<CloudTranscribeClient::Reply, CloudSTTError>> CloudTranscribeClient::send(QByteArray method,
    QUrl url, QString token, QList<cloud::CloudHttpClient::Header> headers, std::optional<QByteArray> body,
    qint64 timeoutMs)
{
    using Failure = cloud::CloudHttpClient::Failure;
    cloud::CloudHttpClient::Request request;
    request.method = std::move(method);
    request.url = std::move(url);
    request.headers = std::move(headers);
    request.headers.prepend({ "Authorization", "Bearer " + token.toUtf8() });
    request.body = std::move(body);
    request.timeoutMs = timeoutMs;
    request.maxReplyBytes = maxReplyBytes;
    cloud::CloudHttpClient::Outcome outcome = co_await m_http.send(std::move(request));
    if (auto* reply = std::get_if<Reply>(&outcome)) {
        co_return std::move(*reply);
    }
    const Failure& failure = std::get<Failure>(outcome);
    switch (failure.kind) {
    case Failure::Kind::Transport:
        co_return CloudSTTError::transportError(failure.description);
    case Failure::Kind::TimedOut:
        co_return CloudSTTError::timedOut();
    case Failure::Kind::NotHttp:
        co_return CloudSTTError::networkError();
    case Failure::Kind::Oversized:
        co_return CloudSTTError::badResponse();
    }
    co_return CloudSTTError::networkError();
}

} // namespace murmeli::voice
