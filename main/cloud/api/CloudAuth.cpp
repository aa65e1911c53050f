#include "main/cloud/api/CloudAuth.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include "main/cloud/api/JsonFields.h"
#include "main/common/TextUtils.h"

namespace murmeli::cloud {

namespace {

using Reply = CloudHttpClient::Reply;
using Failure = CloudHttpClient::Failure;

QByteArray compactJson(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<QString> serviceCode(const QByteArray& body)
{
    const QString code = CloudAuth::parseErrorBody(body).code;
    return code.isEmpty() ? std::nullopt : std::optional(code.left(CloudAuth::maxErrorCodeLength));
}

} // namespace

CloudAuth::CloudAuth(std::shared_ptr<CloudHttpClient> http, QString baseURL)
    : m_http(std::move(http)), m_baseURL(std::move(baseURL))
{
}

std::optional<qint64> CloudAuth::parseRetryAfter(
    const std::optional<QByteArray>& retryAfterHeader, const QByteArray& body)
{
    if (retryAfterHeader) {
        if (const auto seconds = common::text::strictInteger(*retryAfterHeader)) {
            return seconds;
        }
    }
    const auto object = JsonFields::object(body);
    if (!object) {
        return std::nullopt;
    }
    const QJsonValue value = object->value(QLatin1String("retry_after"));
    const auto seconds = JsonFields::integer(value);
    // Only an exact integer: 1.5 seconds is not a wait the service means.
    if (!seconds || static_cast<double>(*seconds) != value.toDouble()) {
        return std::nullopt;
    }
    return seconds;
}

CloudAuth::ErrorBody CloudAuth::parseErrorBody(const QByteArray& body)
{
    const auto object = JsonFields::object(body);
    if (!object) {
        return {};
    }
    const QJsonValue code = object->value(QLatin1String("error"));
    const QJsonValue message = object->value(QLatin1String("message"));
    return { code.isString() ? code.toString() : QString(), message.isString() ? message.toString() : QString() };
}

QCoro::Task<std::variant<Reply, AuthError>> CloudAuth::perform(QByteArray method, QString path,
    std::optional<QString> bearer, std::optional<QByteArray> body, qint64 timeoutMs) const
{
    const std::optional<QUrl> url = CloudHttpClient::endpoint(m_baseURL, path);
    if (!url) {
        co_return AuthError::network(QStringLiteral("Invalid URL: ") + m_baseURL + path);
    }
    CloudHttpClient::Request request;
    request.method = std::move(method);
    request.url = *url;
    request.timeoutMs = timeoutMs;
    if (bearer) {
        request.headers.append(CloudHttpClient::Header("Authorization", "Bearer " + bearer->toUtf8()));
    }
    if (body) {
        request.headers.append(CloudHttpClient::Header("Content-Type", "application/json"));
        request.body = std::move(body);
    }
    // The client is kept alive by this frame, whatever becomes of this object meanwhile.
    const std::shared_ptr<CloudHttpClient> http = m_http;
    CloudHttpClient::Outcome outcome = co_await http->send(std::move(request));
    if (const auto* failure = std::get_if<Failure>(&outcome)) {
        if (failure->kind == Failure::Kind::Transport || failure->kind == Failure::Kind::TimedOut) {
            co_return AuthError::network(failure->description);
        }
        co_return AuthError::badResponse();
    }
    co_return std::get<Reply>(std::move(outcome));
}

QCoro::Task<AuthResult<Done>> CloudAuth::requestCode(QString email) const
{
    const QJsonObject body { { "email", email }, { "client", "mac" } };
    auto sent
        = co_await perform("POST", QStringLiteral("/auth/request"), std::nullopt, compactJson(body), requestTimeoutMs);
    if (auto* error = std::get_if<AuthError>(&sent)) {
        co_return *error;
    }
    const Reply& reply = std::get<Reply>(sent);
    switch (reply.status) {
    case 200:
        co_return Done {};
    case 429:
        co_return AuthError::rateLimited(parseRetryAfter(reply.header("Retry-After"), reply.body));
    default:
        co_return AuthError::server(reply.status, serviceCode(reply.body));
    }
}

QCoro::Task<AuthResult<CloudAuth::VerifyResult>> CloudAuth::verifyCode(QString email, QString code) const
{
    const QJsonObject body { { "email", email }, { "code", code } };
    auto sent
        = co_await perform("POST", QStringLiteral("/auth/verify"), std::nullopt, compactJson(body), requestTimeoutMs);
    if (auto* error = std::get_if<AuthError>(&sent)) {
        co_return *error;
    }
    const Reply& reply = std::get<Reply>(sent);
    switch (reply.status) {
    case 200:
        break;
    case 401:
    case 404:
    case 410:
        co_return AuthError::invalidCode();
    case 429:
        co_return AuthError::rateLimited(parseRetryAfter(reply.header("Retry-After"), reply.body));
    default:
        co_return AuthError::server(reply.status, serviceCode(reply.body));
    }
    const auto object = JsonFields::object(reply.body);
    // Anything but a text reads as empty. An empty token is no session: storing it would read as signed out on the
    // next launch while this one believes it is signed in.
    const QString token = object ? object->value(QLatin1String("token")).toString() : QString();
    if (token.isEmpty()) {
        co_return AuthError::badResponse();
    }
    VerifyResult result;
    result.token = token;
    const QString replyEmail = object->value(QLatin1String("email")).toString();
    result.email = replyEmail.isEmpty() ? email : replyEmail;
    result.minutesLeft = JsonFields::integer(object->value(QLatin1String("minutes_left"))).value_or(-1);
    co_return result;
}

QCoro::Task<AuthResult<Done>> CloudAuth::logout(QString token) const
{
    auto sent = co_await perform("POST", QStringLiteral("/auth/logout"), token, std::nullopt, logoutTimeoutMs);
    if (auto* error = std::get_if<AuthError>(&sent)) {
        co_return *error;
    }
    const int status = std::get<Reply>(sent).status;
    if (status == 200 || status == 204) {
        co_return Done {};
    }
    co_return status == 401 ? AuthError::unauthorized() : AuthError::server(status);
}

QCoro::Task<AuthResult<AccountInfo>> CloudAuth::fetchAccount(QString token) const
{
    auto sent = co_await perform("GET", QStringLiteral("/account"), token, std::nullopt, requestTimeoutMs);
    if (auto* error = std::get_if<AuthError>(&sent)) {
        co_return *error;
    }
    const Reply& reply = std::get<Reply>(sent);
    if (reply.status == 401) {
        co_return AuthError::unauthorized();
    }
    if (reply.status != 200) {
        co_return AuthError::server(reply.status);
    }
    const auto object = JsonFields::object(reply.body);
    if (!object) {
        co_return AuthError::badResponse();
    }
    co_return AccountInfo::fromJson(*object);
}

QCoro::Task<AuthResult<CloudAuth::BillingCheckoutResult>> CloudAuth::requestBillingCheckout(QString token) const
{
    auto sent = co_await perform(
        "POST", QStringLiteral("/billing/checkout"), token, compactJson(QJsonObject {}), requestTimeoutMs);
    if (auto* error = std::get_if<AuthError>(&sent)) {
        co_return *error;
    }
    const Reply& reply = std::get<Reply>(sent);
    switch (reply.status) {
    case 200:
        break;
    case 401:
        co_return AuthError::unauthorized();
    case 502:
        co_return AuthError::billingUnavailable();
    default:
        co_return AuthError::server(reply.status, serviceCode(reply.body));
    }
    const auto object = JsonFields::object(reply.body);
    // Anything but a text reads as empty.
    const QString url = object ? object->value(QLatin1String("url")).toString() : QString();
    if (url.isEmpty()) {
        co_return AuthError::badResponse();
    }
    co_return BillingCheckoutResult { url };
}

} // namespace murmeli::cloud
