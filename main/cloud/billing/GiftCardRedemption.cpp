#include "main/cloud/billing/GiftCardRedemption.h"

#include "main/common/ClockSleep.h"

namespace murmeli::cloud {

GiftCardRedemption::GiftCardRedemption(GiftCardClient client, common::Clock& clock)
    : redeemImpl([client](QString code, QString token) { return client.redeem(std::move(code), std::move(token)); }),
      sleepImpl([&clock](double seconds) { return common::sleepSeconds(clock, seconds); })
{
}

GiftCardRedemption::~GiftCardRedemption()
{
    *m_alive = false;
}

void GiftCardRedemption::setCodeInput(QString text)
{
    m_codeInput = std::move(text);
    changed();
}

bool GiftCardRedemption::canRedeem() const
{
    return sessionToken && m_phase.kind != GiftCardPhase::Kind::Redeeming && !m_codeInput.trimmed().isEmpty();
}

void GiftCardRedemption::setPhase(GiftCardPhase phase)
{
    m_phase = std::move(phase);
    changed();
}

void GiftCardRedemption::changed()
{
    if (onChange) {
        onChange();
    }
}

QCoro::Task<> GiftCardRedemption::triggerRedeem()
{
    if (!sessionToken) {
        co_return;
    }
    const QString code = m_codeInput.trimmed();
    if (code.isEmpty()) {
        co_return;
    }
    setPhase(GiftCardPhase::redeeming());
    const QString token = sessionToken();
    if (token.isEmpty()) {
        setPhase(GiftCardPhase::failed(GiftCardError::unauthorized()));
        co_return;
    }
    const std::shared_ptr<bool> alive = m_alive;
    const RedeemImpl redeem = redeemImpl;
    const GiftCardClient::Outcome outcome = co_await redeem(code, token);
    if (!*alive) {
        co_return;
    }
    if (const auto* error = std::get_if<GiftCardError>(&outcome)) {
        // The code stays in the field so the user can correct it.
        setPhase(GiftCardPhase::failed(*error));
        co_return;
    }
    const auto& result = std::get<GiftCardClient::RedeemResult>(outcome);
    m_codeInput.clear();
    if (result.status == GiftCardClient::RedeemResult::Status::AlreadyRedeemed) {
        setPhase(GiftCardPhase::alreadyRedeemed());
        co_return;
    }
    setPhase(GiftCardPhase::succeeded(result.creditMinutesAdded));
    if (!refreshBalance || !minutesLeft) {
        co_return;
    }
    const auto refresh = refreshBalance;
    co_await refresh();
    if (!*alive) {
        co_return;
    }
    // The balance shown comes from the refresh, never from the reply: the service may credit a moment later.
    co_await pollForBalanceIncrease(minutesLeft() - result.creditMinutesAdded);
}

QCoro::Task<> GiftCardRedemption::pollForBalanceIncrease(qint64 baseline)
{
    if (baseline < 0) {
        co_return;
    }
    const std::shared_ptr<bool> alive = m_alive;
    const SleepImpl sleep = sleepImpl;
    const auto refresh = refreshBalance;
    const auto balance = minutesLeft;
    const int rounds = balancePollRounds;
    const double interval = balancePollInterval;
    for (int round = 0; round < rounds; ++round) {
        co_await sleep(interval);
        if (!*alive) {
            co_return;
        }
        co_await refresh();
        if (!*alive || balance() > baseline) {
            co_return;
        }
    }
}

} // namespace murmeli::cloud
