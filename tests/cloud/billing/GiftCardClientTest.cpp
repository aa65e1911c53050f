#include "main/cloud/billing/GiftCardClient.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>

#include "main/cloud/billing/GiftCardPhase.h"
#include "tests/support/FakeClock.h"
#include "tests/support/MockAccountService.h"
#include "tests/support/MockCloudWorker.h"

namespace murmeli::cloud {
namespace {

using test::MockAccountService;
using Redeemed = GiftCardClient::RedeemResult;
using Status = GiftCardClient::RedeemResult::Status;

// Only the lines that carry a value; the fixed ones are shown as written.
TEST(GiftCardTextTest, LinesCarryTheirValues)
{
    const std::pair<GiftCardPhase, const char*> rows[] = {
        { GiftCardPhase::succeeded(60), "Redeemed · +60 min added. Refreshing balance…" },
        { GiftCardPhase::failed(GiftCardError::server(503)), "Server error (503) — please try again shortly." },
        { GiftCardPhase::failed(GiftCardError::network(QStringLiteral("Decode failed"))),
            "Network error: Decode failed" },
    };
    for (const auto& [phase, line] : rows) {
        EXPECT_EQ(phase.statusLine().toStdString(), line);
    }
}

/// The client against the loopback account service; time limits on a fake clock.
class GiftCardClientTest : public ::testing::Test {
protected:
    test::MockCloudWorker m_worker;
    MockAccountService m_service { m_worker };
    QNetworkAccessManager m_network;
    test::FakeClock m_clock;
    const QString m_path = QString::fromLatin1(MockAccountService::redeemPath);

    void SetUp() override { ASSERT_TRUE(m_worker.start()); }

    GiftCardClient client(const QString& base = {})
    {
        return GiftCardClient(
            std::make_shared<CloudHttpClient>(m_network, m_clock), base.isEmpty() ? m_worker.baseUrl() : base);
    }
    GiftCardClient::Outcome redeem(const test::MockHttpReply& reply)
    {
        m_service.queue(m_path, reply);
        return QCoro::waitFor(client().redeem(QStringLiteral("GIFT-1234"), QStringLiteral("tok-1")));
    }
};

TEST_F(GiftCardClientTest, PostsTheCodeWithTheBearer)
{
    const auto outcome = QCoro::waitFor(client().redeem(QStringLiteral("GIFT-1234"), QStringLiteral("tok-1")));
    EXPECT_EQ(std::get<Redeemed>(outcome), (Redeemed { Status::Redeemed, 60, 618 }));
    const auto requests = m_service.requests(m_path);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests.front().method, "POST");
    EXPECT_EQ(requests.front().bearerToken(), "tok-1");
    EXPECT_EQ(requests.front().header("content-type"), QByteArray("application/json"));
    EXPECT_EQ(QJsonDocument::fromJson(requests.front().body).object(), (QJsonObject { { "code", "GIFT-1234" } }));
}

TEST_F(GiftCardClientTest, EveryStatusAndReplyMapsToItsOutcome)
{
    struct Row {
        test::MockHttpReply reply;
        GiftCardClient::Outcome outcome;
    };
    const auto body = [](const QByteArray& text) { return MockAccountService::status(200, text); };
    const Row rows[] = {
        { body(R"({"status":"redeemed"})"), Redeemed { Status::Redeemed, 0, -1 } },
        { body(R"({"status":"alreadyRedeemed","credit_minutes_added":0,"balance_minutes":90,"x":1})"),
            Redeemed { Status::AlreadyRedeemed, 0, 90 } },
        { body(R"({"status":"redeemed","credit_minutes_added":"30","balance_minutes":12.9})"),
            Redeemed { Status::Redeemed, 0, 12 } },
        { body(R"({"status":"Redeemed"})"), GiftCardError::network(QStringLiteral("Unknown status: Redeemed")) },
        { body(R"({"credit_minutes_added":30})"), GiftCardError::network(QStringLiteral("Unknown status: ")) },
        { body(R"(["redeemed"])"), GiftCardError::network(QStringLiteral("Decode failed")) },
        { MockAccountService::status(401), GiftCardError::unauthorized() },
        { MockAccountService::status(404), GiftCardError::invalidCode() },
        { MockAccountService::status(409), GiftCardError::alreadyByOther() },
        { MockAccountService::status(410), GiftCardError::expired() },
        { MockAccountService::tooMany(QByteArray("5"), std::nullopt), GiftCardError::rateLimited() },
        { MockAccountService::error(503, QStringLiteral("down")), GiftCardError::server(503) },
        { MockAccountService::status(204), GiftCardError::server(204) },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(redeem(row.reply), row.outcome) << row.reply.status << " " << row.reply.body.toStdString();
    }
}

TEST_F(GiftCardClientTest, CreditThatCannotBeOneIsABadReply)
{
    const auto withCredit = [](const QByteArray& credit) {
        return MockAccountService::status(200, R"({"status":"redeemed","credit_minutes_added":)" + credit + "}");
    };
    for (const char* credit : { "-5", "1000001", "1e300" }) {
        const auto outcome = redeem(withCredit(credit));
        const auto* error = std::get_if<GiftCardError>(&outcome);
        ASSERT_NE(error, nullptr) << credit;
        EXPECT_EQ(GiftCardPhase::failed(*error).statusLine().toStdString(), "Network error: Decode failed") << credit;
    }
    EXPECT_EQ(redeem(withCredit("1000000")), GiftCardClient::Outcome(Redeemed { Status::Redeemed, 1'000'000, -1 }));
}

TEST_F(GiftCardClientTest, UnusableBaseFailsBeforeSending)
{
    EXPECT_EQ(QCoro::waitFor(client(QStringLiteral("no address")).redeem(QStringLiteral("C"), QStringLiteral("t"))),
        GiftCardClient::Outcome(GiftCardError::network(QStringLiteral("Invalid URL"))));
    EXPECT_TRUE(m_worker.requests().empty());
}

} // namespace
} // namespace murmeli::cloud
