#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QUrl>

#include <QCoroTask>

#include "main/cloud/api/CloudAuth.h"

namespace murmeli::common {
class Clock;
}

namespace murmeli::cloud {

/// How a top-up ended.
struct BillingFlowResult final {
    enum class Kind {
        Failed, ///< the flow stopped; message is for the user
        Success, ///< the account shows a new plan or a higher balance
        Timeout, ///< every poll ran and none showed a change
    };

    Kind kind = Kind::Timeout;
    QString message;

    static BillingFlowResult failed(QString message) { return { Kind::Failed, std::move(message) }; }
    static BillingFlowResult success() { return { Kind::Success, {} }; }
    static BillingFlowResult timeout() { return { Kind::Timeout, {} }; }

    bool operator==(const BillingFlowResult&) const = default;
};

/// One top-up from the application's side: asks the service for a checkout page, opens it in the browser and
/// polls the account until it shows the purchase, or gives up. It touches neither the secrets nor the controller.
class BillingFlow final {
public:
    using CheckoutImpl = std::function<QCoro::Task<AuthResult<CloudAuth::BillingCheckoutResult>>(QString token)>;
    using FetchAccountImpl = std::function<QCoro::Task<AuthResult<AccountInfo>>(QString token)>;
    using OpenURLImpl = std::function<void(const QUrl& address)>;
    using SleepImpl = std::function<QCoro::Task<>(double seconds)>;

    static constexpr auto sessionExpiredText = "Session expired. Please sign in again.";
    static constexpr auto unavailableText = "Top up unavailable, try again later.";
    static constexpr auto networkErrorText = "Network error, try again.";
    static constexpr auto invalidURLText = "Invalid checkout URL.";

    /// The checkout and the polls default to auth, the waits to clock (which must outlive every run); openURL opens
    /// the checkout page.
    BillingFlow(CloudAuth auth, common::Clock& clock, OpenURLImpl openURL);

    CheckoutImpl checkoutImpl;
    FetchAccountImpl fetchAccountImpl;
    OpenURLImpl openURLImpl;
    SleepImpl sleepImpl;
    /// Seconds before each poll; finite and not negative.
    double pollInterval = 5.0;
    /// Not negative.
    int maxPollAttempts = 12;

    /// Runs one top-up with the session's token: checkout, a baseline read of the account, the page, the polls.
    /// Never fails; a second call runs independently.
    QCoro::Task<BillingFlowResult> startTopUp(QString token);

    /// Whether fresh shows a purchase against the baseline: another plan, when both the baseline and fresh name one,
    /// or a higher balance, when the baseline balance is known.
    static bool didTierOrBalanceChange(
        const QString& baselineTier, qint64 baselineMinutesLeft, const AccountInfo& fresh);
    /// The checkout page as an address the browser may be given: https with a host; nullopt otherwise.
    static std::optional<QUrl> checkoutAddress(const QString& text);
};

} // namespace murmeli::cloud
