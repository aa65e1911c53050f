#include "main/cloud/billing/BillingFlow.h"

#include "main/common/ClockSleep.h"

namespace murmeli::cloud {

namespace {

/// The user's text for a failed checkout or baseline read.
BillingFlowResult failedWith(const AuthError& error)
{
    switch (error.kind()) {
    case AuthError::Kind::Unauthorized:
        return BillingFlowResult::failed(QString::fromUtf8(BillingFlow::sessionExpiredText));
    case AuthError::Kind::BillingUnavailable:
        return BillingFlowResult::failed(QString::fromUtf8(BillingFlow::unavailableText));
    default:
        return BillingFlowResult::failed(QString::fromUtf8(BillingFlow::networkErrorText));
    }
}

} // namespace

BillingFlow::BillingFlow(CloudAuth auth, common::Clock& clock, OpenURLImpl openURL)
    : checkoutImpl([auth](QString token) { return auth.requestBillingCheckout(std::move(token)); }),
      fetchAccountImpl([auth](QString token) { return auth.fetchAccount(std::move(token)); }),
      openURLImpl(std::move(openURL)),
      sleepImpl([&clock](double seconds) { return common::sleepSeconds(clock, seconds); })
{
}

bool BillingFlow::didTierOrBalanceChange(
    const QString& baselineTier, qint64 baselineMinutesLeft, const AccountInfo& fresh)
{
    // A plan only counts when both sides name one: the record's "free" may merely stand in for a missing plan.
    if (!baselineTier.isEmpty() && fresh.hasTier && fresh.tier != baselineTier) {
        return true;
    }
    if (baselineMinutesLeft < 0) {
        return false;
    }
    return fresh.minutesLeft > baselineMinutesLeft;
}

std::optional<QUrl> BillingFlow::checkoutAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    // Only a secure page goes to the browser; anything else in this field is not a checkout we asked for.
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty()) {
        return std::nullopt;
    }
    return url;
}

QCoro::Task<BillingFlowResult> BillingFlow::startTopUp(QString token)
{
    // One run works on its own copies: the owner may change the flow's fields while it polls.
    const CheckoutImpl checkout = checkoutImpl;
    const FetchAccountImpl fetchAccount = fetchAccountImpl;
    const OpenURLImpl openURL = openURLImpl;
    const SleepImpl sleep = sleepImpl;
    const double interval = pollInterval;
    const int attempts = maxPollAttempts;

    const auto page = co_await checkout(token);
    if (const AuthError* error = failure(page)) {
        co_return failedWith(*error);
    }
    const std::optional<QUrl> address = checkoutAddress(std::get<CloudAuth::BillingCheckoutResult>(page).url);
    if (!address) {
        co_return BillingFlowResult::failed(QString::fromUtf8(invalidURLText));
    }

    // The account as it stands before the page opens is what a purchase must change; the caller's copy may be
    // stale or unknown, and comparing with it could report a purchase nobody made.
    const auto before = co_await fetchAccount(token);
    if (const AuthError* error = failure(before)) {
        co_return failedWith(*error);
    }
    const AccountInfo& baseline = std::get<AccountInfo>(before);
    const QString baselineTier = baseline.hasTier ? baseline.tier : QString();
    const qint64 baselineMinutes = baseline.minutesLeft;

    if (openURL) {
        openURL(*address);
    }
    for (int attempt = 0; attempt < attempts; ++attempt) {
        co_await sleep(interval);
        const auto fresh = co_await fetchAccount(token);
        if (const AuthError* error = failure(fresh)) {
            if (error->kind() == AuthError::Kind::Unauthorized) {
                co_return BillingFlowResult::failed(QString::fromUtf8(sessionExpiredText));
            }
            // A passing network failure does not end the flow.
            continue;
        }
        if (didTierOrBalanceChange(baselineTier, baselineMinutes, std::get<AccountInfo>(fresh))) {
            co_return BillingFlowResult::success();
        }
    }
    co_return BillingFlowResult::timeout();
}

} // namespace murmeli::cloud
