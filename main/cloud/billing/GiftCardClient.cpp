#include "main/cloud/billing/GiftCardClient.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "main/cloud/api/JsonFields.h"

namespace murmeli::cloud {

using Status = GiftCardClient::RedeemResult::Status;

QString toString(Status status)
{
    return status == Status::Redeemed ? QStringLiteral("redeemed") : QStringLiteral("alreadyRedeemed");
}

std::optional<Status> redeemStatusFromString(const QString& raw)
{
    for (const Status status : { Status::Redeemed, Status::AlreadyRedeemed }) {
        if (raw == toString(status)) {
            return status;
        }
    }
    return std::nullopt;
}

GiftCardClient::GiftCardClient(std::shared_ptr<CloudHttpClient> http, QString baseURL)
    : m_http(std::move(http)), m_baseURL(std::move(baseURL))
{
}

QCoro::Task<GiftCardClient::Outcome> GiftCardClient::redeem(QString code, QString token) const
{
    const std::optional<QUrl> url = CloudHttpClient::endpoint(m_baseURL, QLatin1String(path));
    if (!url) {
        co_return GiftCardError::network(QStringLiteral("Invalid URL"));
    }
    CloudHttpClient::Request request;
    request.method = "POST";
    request.url = *url;
    request.timeoutMs = timeoutMs;
    request.headers = { { "Content-Type", "application/json" }, { "Authorization", "Bearer " + token.toUtf8() } };
    request.body = QJsonDocument(QJsonObject { { "code", code } }).toJson(QJsonDocument::Compact);

    const std::shared_ptr<CloudHttpClient> http = m_http;
    const CloudHttpClient::Outcome outcome = co_await http->send(std::move(request));
    if (const auto* failed = std::get_if<CloudHttpClient::Failure>(&outcome)) {
        switch (failed->kind) {
        case CloudHttpClient::Failure::Kind::Transport:
        case CloudHttpClient::Failure::Kind::TimedOut:
            co_return GiftCardError::network(failed->description);
        case CloudHttpClient::Failure::Kind::NotHttp:
            co_return GiftCardError::network(QStringLiteral("Bad response shape"));
        case CloudHttpClient::Failure::Kind::Oversized:
            co_return GiftCardError::network(QStringLiteral("Decode failed"));
        }
    }
    const auto& reply = std::get<CloudHttpClient::Reply>(outcome);
    switch (reply.status) {
    case 200:
        break;
    case 401:
        co_return GiftCardError::unauthorized();
    case 404:
        co_return GiftCardError::invalidCode();
    case 409:
        co_return GiftCardError::alreadyByOther();
    case 410:
        co_return GiftCardError::expired();
    case 429:
        co_return GiftCardError::rateLimited();
    default:
        co_return GiftCardError::server(reply.status);
    }
    const auto object = JsonFields::object(reply.body);
    if (!object) {
        co_return GiftCardError::network(QStringLiteral("Decode failed"));
    }
    const QJsonValue statusValue = object->value(QLatin1String("status"));
    const QString rawStatus = statusValue.isString() ? statusValue.toString() : QString();
    const std::optional<Status> status = redeemStatusFromString(rawStatus);
    if (!status) {
        // Cut: the text comes from outside and lands in the row's status line.
        co_return GiftCardError::network(QStringLiteral("Unknown status: ") + rawStatus.left(80));
    }
    RedeemResult result;
    result.status = *status;
    // The credit is shown to the user and taken off the balance to judge the refresh; a number that cannot be a
    // credit is a reply we cannot use, not a credit of none.
    const QJsonValue credit = object->value(QLatin1String("credit_minutes_added"));
    if (credit.isDouble()) {
        const std::optional<qint64> minutes = JsonFields::integer(credit);
        if (!minutes || *minutes < 0 || *minutes > maxCreditMinutes) {
            co_return GiftCardError::network(QStringLiteral("Decode failed"));
        }
        result.creditMinutesAdded = *minutes;
    }
    result.balanceMinutes = JsonFields::integer(object->value(QLatin1String("balance_minutes"))).value_or(-1);
    co_return result;
}

} // namespace murmeli::cloud
