#include "main/cloud/billing/GiftCardRedemption.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>

#include "tests/support/FakeClock.h"
#include "tests/support/TaskResult.h"

namespace murmeli::cloud {
namespace {

using Redeemed = GiftCardClient::RedeemResult;
using Status = GiftCardClient::RedeemResult::Status;

/// The redeem row with a scripted service and balance; its waits run on a fake clock.
class GiftCardRedemptionTest : public ::testing::Test {
protected:
    QNetworkAccessManager m_network;
    test::FakeClock m_clock;
    GiftCardRedemption m_row {
        GiftCardClient(std::make_shared<CloudHttpClient>(m_network, m_clock), QStringLiteral("https://unused")), m_clock
    };
    GiftCardClient::Outcome m_reply = Redeemed { Status::Redeemed, 60, 180 };
    QString m_token = QStringLiteral("tok-1");
    QStringList m_sentCodes;
    /// The balance each refresh reads, in order; the last one repeats.
    std::vector<qint64> m_balances { 120 };
    int m_refreshes = 0;
    qint64 m_minutesLeft = 120;

    void SetUp() override
    {
        m_row.redeemImpl = [this](QString code, QString token) -> QCoro::Task<GiftCardClient::Outcome> {
            EXPECT_EQ(token, m_token);
            m_sentCodes.append(code);
            // A copy: a task's promise moves from whatever it is handed, the script too.
            co_return GiftCardClient::Outcome(m_reply);
        };
        m_row.sessionToken = [this] { return m_token; };
        m_row.refreshBalance = [this]() -> QCoro::Task<> {
            m_minutesLeft = m_balances[std::min<std::size_t>(m_refreshes, m_balances.size() - 1)];
            ++m_refreshes;
            co_return;
        };
        m_row.minutesLeft = [this] { return m_minutesLeft; };
    }

    std::shared_ptr<std::optional<bool>> redeem(const QString& input)
    {
        m_row.setCodeInput(input);
        return test::keepResult([](GiftCardRedemption& row) -> QCoro::Task<bool> {
            co_await row.triggerRedeem();
            co_return true;
        }(m_row));
    }
};

TEST_F(GiftCardRedemptionTest, BalanceIsReadAgainUntilItShowsTheCredit)
{
    struct Row {
        const char* name;
        qint64 credit;
        std::vector<qint64> balances; // each refresh's reading
        int refreshes; // the one after the credit, then one per 5 s round
    };
    const Row rows[] = {
        { "credit already shown", 60, { 180 }, 2 },
        // Without a credit the first reading is the baseline; the rise ends the wait.
        { "late rise", 0, { 120, 120, 180 }, 3 },
        { "never rises", 0, { 120 }, 7 },
        { "balance unknown", 60, { -1 }, 1 },
    };
    for (const Row& row : rows) {
        m_reply = Redeemed { Status::Redeemed, row.credit, -1 };
        m_balances = row.balances;
        m_refreshes = 0;
        const auto done = redeem(QStringLiteral("  GIFT-1\n"));
        EXPECT_EQ(m_sentCodes.back(), "GIFT-1");
        EXPECT_EQ(m_row.phase(), GiftCardPhase::succeeded(row.credit)) << row.name;
        EXPECT_EQ(m_row.codeInput(), "");
        m_clock.advance(30'000);
        EXPECT_TRUE(done->has_value()) << row.name;
        EXPECT_EQ(m_refreshes, row.refreshes) << row.name;
        EXPECT_EQ(m_clock.pendingTimers(), 0) << row.name;
    }
}

TEST_F(GiftCardRedemptionTest, OutcomesWithoutACredit)
{
    m_reply = Redeemed { Status::AlreadyRedeemed, 0, 120 };
    redeem(QStringLiteral("GIFT-5"));
    EXPECT_EQ(m_row.phase(), GiftCardPhase::alreadyRedeemed());
    EXPECT_EQ(m_row.codeInput(), "");
    EXPECT_EQ(m_refreshes, 0) << "nothing was added, so nothing is refreshed";

    m_reply = GiftCardError::alreadyByOther();
    redeem(QStringLiteral("GIFT-6"));
    EXPECT_EQ(m_row.phase().statusLine(), "This code was already redeemed by another account.");
    EXPECT_EQ(m_row.codeInput(), "GIFT-6") << "a refused code stays for correcting";

    m_token.clear();
    redeem(QStringLiteral("GIFT-7"));
    EXPECT_EQ(m_row.phase(), GiftCardPhase::failed(GiftCardError::unauthorized()));
    EXPECT_EQ(m_sentCodes.size(), 2) << "no session, no request";
}

TEST_F(GiftCardRedemptionTest, RedeemIsOfferedOnlyForACodeWhileIdle)
{
    m_row.setCodeInput(QStringLiteral(" \n"));
    EXPECT_FALSE(m_row.canRedeem());
    redeem(QStringLiteral(" \t"));
    EXPECT_TRUE(m_sentCodes.isEmpty());
    EXPECT_EQ(m_row.phase(), GiftCardPhase::idle());

    m_row.setCodeInput(QStringLiteral("GIFT-8"));
    EXPECT_TRUE(m_row.canRedeem());
    m_row.sessionToken = nullptr;
    EXPECT_FALSE(m_row.canRedeem()) << "no controller";
}

} // namespace
} // namespace murmeli::cloud
