#pragma once

#include <memory>
#include <optional>
#include <variant>

#include <QString>

#include <QCoroTask>

#include "main/cloud/api/CloudHttpClient.h"
#include "main/cloud/billing/GiftCardError.h"

namespace murmeli::cloud {

/// Turns a gift code into cloud minutes: one POST to the account service's "/billing/redeem-gift-code" with the
/// session's bearer token. Keeps nothing between calls; shares the account client's HTTP path and base address.
class GiftCardClient final {
public:
    struct RedeemResult final {
        enum class Status {
            Redeemed, ///< "redeemed": credited now
            AlreadyRedeemed, ///< "alreadyRedeemed": this account had redeemed it; nothing added
        };

        Status status = Status::Redeemed;
        /// 0 when the reply does not say; never negative nor above maxCreditMinutes.
        qint64 creditMinutesAdded = 0;
        /// -1 when the reply does not say.
        qint64 balanceMinutes = -1;

        bool operator==(const RedeemResult&) const = default;
    };

    using Outcome = std::variant<RedeemResult, GiftCardError>;

    static constexpr auto path = "/billing/redeem-gift-code";
    /// A credit beyond this (about two years of speech) is no gift the service hands out; the reply is refused.
    static constexpr qint64 maxCreditMinutes = 1'000'000;
    static constexpr qint64 timeoutMs = 15'000;

    GiftCardClient(std::shared_ptr<CloudHttpClient> http, QString baseURL);

    /// Sends code (already trimmed by the caller) with token.
    QCoro::Task<Outcome> redeem(QString code, QString token) const;

private:
    std::shared_ptr<CloudHttpClient> m_http;
    QString m_baseURL;
};

/// The status's raw value as the service writes it.
QString toString(GiftCardClient::RedeemResult::Status status);
/// The status of a raw value, matched exactly; nullopt for any other text.
std::optional<GiftCardClient::RedeemResult::Status> redeemStatusFromString(const QString& raw);

} // namespace murmeli::cloud
