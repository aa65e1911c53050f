#include "main/cloud/billing/BillingFlow.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>

#include "tests/support/FakeClock.h"
#include "tests/support/TaskResult.h"

namespace murmeli::cloud {
namespace {

using Result = BillingFlowResult;

AccountInfo account(qint64 minutesLeft, const QString& tier = {})
{
    AccountInfo info;
    info.minutesLeft = minutesLeft;
    if (!tier.isEmpty()) {
        info.tier = tier;
        info.hasTier = true;
    }
    return info;
}

TEST(BillingFlowChangeTest, OnlyARealChangeCountsAsAPurchase)
{
    struct Row {
        const char* name;
        QString baselineTier;
        qint64 baselineMinutes;
        AccountInfo fresh;
        bool purchase;
    };
    const Row rows[] = {
        { "higher balance", "pay-go", 10, account(70, "pay-go"), true },
        { "higher balance, plans unknown", "", 10, account(70), true },
        { "equal balance", "pay-go", 10, account(10, "pay-go"), false },
        { "lower balance", "pay-go", 10, account(5, "pay-go"), false },
        { "new plan", "free", 10, account(10, "pro"), true },
        { "plan named by case", "pro", 10, account(10, "Pro"), true },
        { "unknown baseline balance, same plan", "free", -1, account(500, "free"), false },
        // The record's "free" stands in for a plan it did not name; that is no change of plan.
        { "reply without a plan", "pay-go", -1, account(500), false },
        // Nothing to compare a plan with.
        { "unknown baseline plan", "", -1, account(10, "pro"), false },
        { "unknown fresh balance", "free", 10, account(-1, "free"), false },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(BillingFlow::didTierOrBalanceChange(row.baselineTier, row.baselineMinutes, row.fresh), row.purchase)
            << row.name;
    }
}

/// The flow with scripted network operations; its waits run on a fake clock.
class BillingFlowTest : public ::testing::Test {
protected:
    QNetworkAccessManager m_network;
    test::FakeClock m_clock;
    BillingFlow m_flow { CloudAuth(
                             std::make_shared<CloudHttpClient>(m_network, m_clock), QStringLiteral("https://unused")),
        m_clock, [this](const QUrl& address) { opened(address); } };
    AuthResult<CloudAuth::BillingCheckoutResult> m_checkout
        = CloudAuth::BillingCheckoutResult { QStringLiteral("https://pay.example.org/s/1") };
    /// The account reads in order: the baseline first, then one per poll; the last one repeats.
    std::vector<AuthResult<AccountInfo>> m_accounts { account(10, "pay-go") };
    int m_fetches = 0;
    QList<QUrl> m_opened;
    int m_fetchesWhenOpened = -1;

    void SetUp() override
    {
        m_flow.checkoutImpl = [this](QString token) -> QCoro::Task<AuthResult<CloudAuth::BillingCheckoutResult>> {
            EXPECT_EQ(token, "tok-1");
            // Copies: a task's promise moves from whatever it is handed, the script too.
            co_return AuthResult<CloudAuth::BillingCheckoutResult>(m_checkout);
        };
        m_flow.fetchAccountImpl = [this](QString token) -> QCoro::Task<AuthResult<AccountInfo>> {
            EXPECT_EQ(token, "tok-1");
            const std::size_t index = std::min<std::size_t>(m_fetches, m_accounts.size() - 1);
            ++m_fetches;
            co_return AuthResult<AccountInfo>(m_accounts[index]);
        };
    }

    void opened(const QUrl& address)
    {
        m_opened.append(address);
        m_fetchesWhenOpened = m_fetches;
    }

    std::shared_ptr<std::optional<Result>> start()
    {
        return test::keepResult(m_flow.startTopUp(QStringLiteral("tok-1")));
    }
};

TEST_F(BillingFlowTest, TwelvePollsFiveSecondsApartThenTimeout)
{
    const auto result = start();
    EXPECT_EQ(m_opened, QList<QUrl> { QUrl(QStringLiteral("https://pay.example.org/s/1")) });
    EXPECT_EQ(m_fetchesWhenOpened, 1) << "the baseline is read before the page opens";
    for (int poll = 1; poll <= 12; ++poll) {
        m_clock.advance(4999);
        EXPECT_EQ(m_fetches, poll) << "no poll before its interval";
        m_clock.advance(1);
        EXPECT_EQ(m_fetches, poll + 1);
    }
    ASSERT_TRUE(result->has_value());
    EXPECT_EQ(**result, Result::timeout());
    EXPECT_EQ(m_clock.pendingTimers(), 0);
}

// A passing transfer error does not end the run; a purchase or a refused token ends it on that poll.
TEST_F(BillingFlowTest, APollEndsTheRunOnAPurchaseOrARefusal)
{
    struct Row {
        AuthResult<AccountInfo> last;
        Result result;
    };
    const Row rows[] = {
        { account(70, "pay-go"), Result::success() },
        { AuthError::unauthorized(), Result::failed(QStringLiteral("Session expired. Please sign in again.")) },
    };
    for (const Row& row : rows) {
        m_fetches = 0;
        m_accounts
            = { account(10, "pay-go"), account(10, "pay-go"), AuthError::network(QStringLiteral("reset")), row.last };
        const auto result = start();
        m_clock.advance(10'000);
        EXPECT_FALSE(result->has_value());
        m_clock.advance(5'000);
        ASSERT_TRUE(result->has_value());
        EXPECT_EQ(**result, row.result);
        EXPECT_EQ(m_fetches, 4);
        EXPECT_EQ(m_clock.pendingTimers(), 0) << "no further wait";
    }
}

TEST_F(BillingFlowTest, NoPollsMeansTimeoutRightAfterTheOpen)
{
    m_flow.maxPollAttempts = 0;
    const auto result = start();
    ASSERT_TRUE(result->has_value());
    EXPECT_EQ(**result, Result::timeout());
    EXPECT_EQ(m_opened.size(), 1);
    EXPECT_EQ(m_fetches, 1);
}

TEST_F(BillingFlowTest, FailuresBeforeThePageOpensShowTheirText)
{
    struct Row {
        AuthResult<CloudAuth::BillingCheckoutResult> checkout;
        AuthResult<AccountInfo> baseline;
        const char* text;
    };
    const CloudAuth::BillingCheckoutResult page { QStringLiteral("https://pay.example.org/s/1") };
    const Row rows[] = {
        { AuthError::unauthorized(), account(1), "Session expired. Please sign in again." },
        { AuthError::billingUnavailable(), account(1), "Top up unavailable, try again later." },
        { AuthError::network(QStringLiteral("down")), account(1), "Network error, try again." },
        { AuthError::server(500, QStringLiteral("x")), account(1), "Network error, try again." },
        { CloudAuth::BillingCheckoutResult { QStringLiteral("http://pay.example.org/s/1") }, account(1),
            "Invalid checkout URL." },
        { CloudAuth::BillingCheckoutResult { QStringLiteral("javascript:alert(1)") }, account(1),
            "Invalid checkout URL." },
        { page, AuthError::unauthorized(), "Session expired. Please sign in again." },
        { page, AuthError::network(QStringLiteral("down")), "Network error, try again." },
    };
    for (const Row& row : rows) {
        m_checkout = row.checkout;
        m_accounts = { row.baseline };
        const auto result = start();
        ASSERT_TRUE(result->has_value()) << row.text;
        EXPECT_EQ(**result, Result::failed(QString::fromUtf8(row.text)));
    }
    EXPECT_TRUE(m_opened.isEmpty());
    EXPECT_EQ(m_clock.pendingTimers(), 0);
}

} // namespace
} // namespace murmeli::cloud
