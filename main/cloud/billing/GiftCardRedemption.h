#pragma once

#include <functional>

#include <QString>

#include <QCoroTask>

#include "main/cloud/billing/GiftCardClient.h"
#include "main/cloud/billing/GiftCardPhase.h"

namespace murmeli::common {
class Clock;
}

namespace murmeli::cloud {

/// The redeem row of the account page without its widgets: the code field, the phase, the redemption and the wait
/// for the balance to show the credit. Main thread only; the page draws it and calls triggerRedeem().
class GiftCardRedemption final {
public:
    using RedeemImpl = std::function<QCoro::Task<GiftCardClient::Outcome>(QString code, QString token)>;
    using SleepImpl = std::function<QCoro::Task<>(double seconds)>;

    /// Redemptions go through client; the waits between balance checks run on clock, which must outlive them.
    GiftCardRedemption(GiftCardClient client, common::Clock& clock);
    ~GiftCardRedemption();
    GiftCardRedemption(const GiftCardRedemption&) = delete;
    GiftCardRedemption& operator=(const GiftCardRedemption&) = delete;

    RedeemImpl redeemImpl;
    SleepImpl sleepImpl;
    /// The controller's side; all three unset means there is no controller and nothing is redeemed.
    /// The session token, read when a redemption starts.
    std::function<QString()> sessionToken;
    /// Refreshes the controller's balance.
    std::function<QCoro::Task<>()> refreshBalance;
    /// The controller's balance as it stands; -1 when unknown.
    std::function<qint64()> minutesLeft;
    /// The field or the phase changed.
    std::function<void()> onChange;

    /// How often, and how far apart, the balance is read again after a credit.
    int balancePollRounds = 6;
    double balancePollInterval = 5.0;

    const QString& codeInput() const { return m_codeInput; }
    void setCodeInput(QString text);
    const GiftCardPhase& phase() const { return m_phase; }
    /// A controller is there, nothing is being redeemed, and the field holds more than white space.
    bool canRedeem() const;

    /// Redeems the trimmed code of the field; a field of white space does nothing. On a credit the balance is
    /// refreshed and then read again until it shows the credit, for at most balancePollRounds rounds.
    QCoro::Task<> triggerRedeem();

private:
    void setPhase(GiftCardPhase phase);
    void changed();
    QCoro::Task<> pollForBalanceIncrease(qint64 baseline);

    QString m_codeInput;
    GiftCardPhase m_phase;
    // Checked after each wait: the row may be gone by the time the service answers.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace murmeli::cloud
