#include "main/cloud/api/CloudAuth.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>

#include "main/cloud/account/AccountSignInSheetModel.h"
#include "tests/support/FakeClock.h"
#include "tests/support/MockAccountService.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

namespace murmeli::cloud {
namespace {

using test::MockAccountService;
using test::MockHttpReply;

enum class Op { RequestCode, Verify, Logout, FetchAccount, Checkout };

const char* pathOf(Op op)
{
    switch (op) {
    case Op::RequestCode:
        return MockAccountService::requestCodePath;
    case Op::Verify:
        return MockAccountService::verifyPath;
    case Op::Logout:
        return MockAccountService::logoutPath;
    case Op::FetchAccount:
        return MockAccountService::accountPath;
    case Op::Checkout:
        return MockAccountService::checkoutPath;
    }
    return "";
}

template <typename T> std::optional<AuthError> errorOf(const AuthResult<T>& result)
{
    if (const AuthError* error = failure(result)) {
        return *error;
    }
    return std::nullopt;
}

// Only the texts that carry a value; the fixed ones are shown as written.
TEST(CloudAuthErrorTest, TextsCarryTheirValues)
{
    const std::pair<AuthError, const char*> rows[] = {
        { AuthError::rateLimited(std::nullopt), "Too many attempts — please wait a moment." },
        { AuthError::rateLimited(30), "Please wait 30s before trying again." },
        { AuthError::network(QStringLiteral("Connection refused")), "Network error: Connection refused" },
        { AuthError::server(500), "Server error (500)." },
        { AuthError::server(500, QStringLiteral("db_down")), "Server error (500 · db_down)." },
        // An empty code is no code: the text does not end in a dangling dot.
        { AuthError::server(500, QString()), "Server error (500)." },
    };
    for (const auto& [error, text] : rows) {
        EXPECT_EQ(error.errorDescription().toStdString(), text);
    }
}

TEST(CloudAuthParsingTest, RetryAfterFromTheHeaderElseTheBody)
{
    struct Row {
        std::optional<QByteArray> header;
        QByteArray body;
        std::optional<qint64> seconds;
    };
    const Row rows[] = {
        { QByteArray("30"), {}, 30 },
        { QByteArray("+30"), {}, 30 },
        { QByteArray("-4"), {}, -4 },
        { std::nullopt, R"({"retry_after":12})", 12 },
        { std::nullopt, R"({"retry_after":12.0})", 12 },
        { QByteArray("30 "), R"({"retry_after":12})", 12 },
        { QByteArray(" 30"), R"({"retry_after":12})", 12 },
        { QByteArray("Wed, 21 Oct 2015 07:28:00 GMT"), R"({"retry_after":7})", 7 },
        { QByteArray("99999999999999999999"), R"({"retry_after":5})", 5 },
        { QByteArray("+"), {}, std::nullopt },
        { QByteArray(""), {}, std::nullopt },
        { std::nullopt, R"({"retry_after":12.5})", std::nullopt },
        { std::nullopt, R"({"retry_after":"12"})", std::nullopt },
        { std::nullopt, R"([12])", std::nullopt },
        { std::nullopt, "slow down", std::nullopt },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CloudAuth::parseRetryAfter(row.header, row.body), row.seconds)
            << (row.header ? row.header->toStdString() : "<none>") << " / " << row.body.toStdString();
    }
}

TEST(CloudAuthParsingTest, ErrorBodyGivesCodeAndMessage)
{
    using Body = CloudAuth::ErrorBody;
    EXPECT_EQ(CloudAuth::parseErrorBody(R"({"error":"rate","message":"slow"})"), (Body { "rate", "slow" }));
    EXPECT_EQ(CloudAuth::parseErrorBody(R"({"error":"rate"})"), (Body { "rate", "" }));
    EXPECT_EQ(CloudAuth::parseErrorBody(R"({"error":5,"message":"m"})"), (Body { "", "m" }));
    EXPECT_EQ(CloudAuth::parseErrorBody(R"(["error"])"), Body {});
    EXPECT_EQ(CloudAuth::parseErrorBody("<html>"), Body {});
    // Nothing normalises the join: a base with a trailing slash doubles it.
    EXPECT_EQ(CloudHttpClient::endpoint(QStringLiteral("https://api.example.org/"), QStringLiteral("/account"))->path(),
        "//account");
}

/// The client against the loopback account service over real sockets; time limits run on a fake clock.
class CloudAuthTest : public ::testing::Test {
protected:
    test::MockCloudWorker m_worker;
    MockAccountService m_service { m_worker };
    QNetworkAccessManager m_network;
    test::FakeClock m_clock;
    std::shared_ptr<CloudHttpClient> m_http = std::make_shared<CloudHttpClient>(m_network, m_clock);

    void SetUp() override { ASSERT_TRUE(m_worker.start()); }

    CloudAuth auth(const QString& base = {}) const
    {
        return CloudAuth(m_http, base.isEmpty() ? m_worker.baseUrl() : base);
    }

    /// Runs op and gives its error, or nullopt when it succeeded.
    std::optional<AuthError> run(Op op, const CloudAuth& client)
    {
        switch (op) {
        case Op::RequestCode:
            return errorOf(QCoro::waitFor(client.requestCode(QStringLiteral("dev@example.org"))));
        case Op::Verify:
            return errorOf(
                QCoro::waitFor(client.verifyCode(QStringLiteral("dev@example.org"), QStringLiteral("123456"))));
        case Op::Logout:
            return errorOf(QCoro::waitFor(client.logout(QStringLiteral("tok-1"))));
        case Op::FetchAccount:
            return errorOf(QCoro::waitFor(client.fetchAccount(QStringLiteral("tok-1"))));
        case Op::Checkout:
            return errorOf(QCoro::waitFor(client.requestBillingCheckout(QStringLiteral("tok-1"))));
        }
        return std::nullopt;
    }
    std::optional<AuthError> run(Op op) { return run(op, auth()); }
};

TEST_F(CloudAuthTest, EachOperationSendsItsMethodPathHeadersAndBody)
{
    struct Row {
        Op op;
        QByteArray method;
        QString bearer;
        std::optional<QJsonObject> body; // nullopt: no body and no Content-Type
    };
    const Row rows[] = {
        { Op::RequestCode, "POST", "", QJsonObject { { "email", "dev@example.org" }, { "client", "mac" } } },
        { Op::Verify, "POST", "", QJsonObject { { "email", "dev@example.org" }, { "code", "123456" } } },
        { Op::Logout, "POST", "tok-1", std::nullopt },
        { Op::FetchAccount, "GET", "tok-1", std::nullopt },
        { Op::Checkout, "POST", "tok-1", QJsonObject {} },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(run(row.op), std::nullopt) << pathOf(row.op);
        const auto requests = m_service.requests(QString::fromLatin1(pathOf(row.op)));
        ASSERT_EQ(requests.size(), 1u) << pathOf(row.op);
        const test::MockHttpRequest& request = requests.front();
        EXPECT_EQ(request.method, row.method) << pathOf(row.op);
        EXPECT_EQ(request.bearerToken(), row.bearer) << pathOf(row.op);
        EXPECT_EQ(request.header("authorization").has_value(), !row.bearer.isEmpty()) << pathOf(row.op);
        if (row.body) {
            EXPECT_EQ(request.header("content-type"), QByteArray("application/json")) << pathOf(row.op);
            const QJsonDocument sent = QJsonDocument::fromJson(request.body);
            EXPECT_TRUE(sent.isObject()) << pathOf(row.op);
            EXPECT_EQ(sent.object(), *row.body) << pathOf(row.op);
        } else {
            EXPECT_FALSE(request.header("content-type")) << pathOf(row.op);
            EXPECT_TRUE(request.body.isEmpty()) << pathOf(row.op);
        }
    }
}

TEST_F(CloudAuthTest, EveryStatusMapsAsItsOperationSays)
{
    struct Row {
        Op op;
        MockHttpReply reply;
        std::optional<AuthError> error;
    };
    const auto boom = MockAccountService::error(500, QStringLiteral("boom"));
    const Row rows[] = {
        { Op::RequestCode, MockAccountService::status(200), std::nullopt },
        { Op::RequestCode, MockAccountService::status(204), AuthError::server(204) },
        { Op::RequestCode, MockAccountService::tooMany(std::nullopt, std::nullopt),
            AuthError::rateLimited(std::nullopt) },
        { Op::RequestCode, boom, AuthError::server(500, QStringLiteral("boom")) },
        { Op::RequestCode, MockAccountService::status(500, "<html>oops</html>"), AuthError::server(500) },
        { Op::Verify, MockAccountService::status(401), AuthError::invalidCode() },
        { Op::Verify, MockAccountService::status(404), AuthError::invalidCode() },
        { Op::Verify, MockAccountService::status(410), AuthError::invalidCode() },
        { Op::Verify, boom, AuthError::server(500, QStringLiteral("boom")) },
        { Op::Logout, MockAccountService::status(200), std::nullopt },
        { Op::Logout, MockAccountService::status(204), std::nullopt },
        { Op::Logout, MockAccountService::status(401), AuthError::unauthorized() },
        { Op::Logout, boom, AuthError::server(500) },
        { Op::FetchAccount, MockAccountService::status(401), AuthError::unauthorized() },
        { Op::FetchAccount, boom, AuthError::server(500) },
        { Op::FetchAccount, MockAccountService::status(429), AuthError::server(429) },
        { Op::Checkout, MockAccountService::status(401), AuthError::unauthorized() },
        { Op::Checkout, MockAccountService::status(502), AuthError::billingUnavailable() },
        { Op::Checkout, MockAccountService::error(500, QStringLiteral("stripe_down")),
            AuthError::server(500, QStringLiteral("stripe_down")) },
    };
    for (const Row& row : rows) {
        m_service.queue(QString::fromLatin1(pathOf(row.op)), row.reply);
        EXPECT_EQ(run(row.op), row.error) << pathOf(row.op) << " " << row.reply.status;
    }
    EXPECT_EQ(run(Op::Checkout).has_value(), false) << "queued replies are used once";
}

TEST_F(CloudAuthTest, VerifyReplyDecoding)
{
    struct Row {
        QByteArray body;
        std::optional<CloudAuth::VerifyResult> result; // nullopt: badResponse
    };
    const QString sent = QStringLiteral("dev@example.org");
    const Row rows[] = {
        { R"({"token":"t-1"})", CloudAuth::VerifyResult { "t-1", sent, -1 } },
        { R"({"token":"t-1","email":"owner@example.org","minutes_left":33.9})",
            CloudAuth::VerifyResult { "t-1", "owner@example.org", 33 } },
        { R"({"token":"t-1","email":7,"minutes_left":"33"})", CloudAuth::VerifyResult { "t-1", sent, -1 } },
        // An empty token is no session.
        { R"({"token":"","email":"owner@example.org"})", std::nullopt },
        { R"({"email":"owner@example.org"})", std::nullopt },
        { R"({"token":42})", std::nullopt },
        { R"(["t-1"])", std::nullopt },
        { "token=t-1", std::nullopt },
    };
    for (const Row& row : rows) {
        m_service.queue(QString::fromLatin1(MockAccountService::verifyPath), MockAccountService::status(200, row.body));
        const auto result = QCoro::waitFor(auth().verifyCode(sent, QStringLiteral("123456")));
        if (row.result) {
            EXPECT_EQ(std::get<CloudAuth::VerifyResult>(result), *row.result) << row.body.toStdString();
        } else {
            EXPECT_EQ(std::get<AuthError>(result), AuthError::badResponse()) << row.body.toStdString();
        }
    }
}

TEST_F(CloudAuthTest, AccountRecordDecoding)
{
    const auto fetch = [this](const QByteArray& body) {
        m_service.queue(QString::fromLatin1(MockAccountService::accountPath), MockAccountService::status(200, body));
        return QCoro::waitFor(auth().fetchAccount(QStringLiteral("tok-1")));
    };

    const AccountInfo full = std::get<AccountInfo>(fetch(QJsonDocument(MockAccountService::accountRecord()).toJson()));
    EXPECT_EQ(full,
        (AccountInfo { 314, "dev@example.org", "pay-go", 600, 1200, 42, 900, 558, 12, 1'800'086'400, 1'800'172'800,
            1'700'000'000, true }));

    const AccountInfo empty = std::get<AccountInfo>(fetch("{}"));
    EXPECT_EQ(empty, AccountInfo {});
    EXPECT_EQ(empty.tier, "free");
    EXPECT_FALSE(empty.hasTier) << "the stand-in plan is not one the service named";
    EXPECT_EQ(empty.minutesLeft, -1);

    const AccountInfo odd
        = std::get<AccountInfo>(fetch(R"({"minutes_left":"30","quota_minutes":12.7,"user_id":true,"email":5})"));
    EXPECT_EQ(odd.minutesLeft, -1);
    EXPECT_EQ(odd.quotaMinutes, 12);
    EXPECT_EQ(odd.userId, 1);
    EXPECT_EQ(odd.email, "");

    EXPECT_EQ(std::get<AuthError>(fetch("[]")), AuthError::badResponse());
    EXPECT_EQ(std::get<AuthError>(fetch("")), AuthError::badResponse());
}

TEST_F(CloudAuthTest, CheckoutReplyNeedsAUrlText)
{
    const auto checkout = [this](const QByteArray& body) {
        m_service.queue(QString::fromLatin1(MockAccountService::checkoutPath), MockAccountService::status(200, body));
        return QCoro::waitFor(auth().requestBillingCheckout(QStringLiteral("tok-1")));
    };
    EXPECT_EQ(std::get<CloudAuth::BillingCheckoutResult>(checkout(R"({"url":"not even an address"})")).url,
        "not even an address")
        << "the address is checked where it is opened";
    EXPECT_EQ(std::get<AuthError>(checkout(R"({"url":""})")), AuthError::badResponse());
    EXPECT_EQ(std::get<AuthError>(checkout(R"({"url":5})")), AuthError::badResponse());
    EXPECT_EQ(std::get<AuthError>(checkout(R"({})")), AuthError::badResponse());
}

TEST_F(CloudAuthTest, SilentServiceTimesOutAfterFifteenSecondsAndLogoutAfterTen)
{
    for (const auto& [op, limitMs] : { std::pair { Op::RequestCode, CloudAuth::requestTimeoutMs },
             std::pair { Op::Logout, CloudAuth::logoutTimeoutMs } }) {
        const QString path = QString::fromLatin1(pathOf(op));
        m_service.queue(path, MockAccountService::silent());
        const std::size_t before = m_service.requests(path).size();
        const CloudAuth client = auth();
        auto result = test::keepResult([](Op op, CloudAuth client) -> QCoro::Task<std::optional<AuthError>> {
            if (op == Op::Logout) {
                co_return errorOf(co_await client.logout(QStringLiteral("tok-1")));
            }
            co_return errorOf(co_await client.requestCode(QStringLiteral("dev@example.org")));
        }(op, client));
        ASSERT_TRUE(test::waitUntil([&] { return m_service.requests(path).size() > before; })) << path.toStdString();

        m_clock.advance(limitMs - 1);
        QCoreApplication::processEvents();
        EXPECT_FALSE(result->has_value()) << path.toStdString() << " still waits just before its limit";
        m_clock.advance(1);
        ASSERT_TRUE(test::waitUntil([&] { return result->has_value(); })) << path.toStdString();
        EXPECT_EQ(**result, AuthError::network(QString::fromLatin1(CloudHttpClient::timedOutText)))
            << path.toStdString();
    }
}

TEST_F(CloudAuthTest, AbsurdRetryAfterGivesASaneWait)
{
    struct Row {
        std::optional<QByteArray> header;
        std::optional<QJsonValue> body;
        const char* text;
        const char* signInText;
    };
    const char* const moment = "Too many attempts — please wait a moment.";
    const char* const signInMoment = "Too many requests. Please wait a moment and try again.";
    const Row rows[] = {
        { QByteArray("-4"), std::nullopt, moment, signInMoment },
        { QByteArray("100000000000000"), std::nullopt, "Please wait 3600s before trying again.",
            "Please wait 3600s before requesting another code." },
        { QByteArray("soon"), QJsonValue(-30), moment, signInMoment },
        { std::nullopt, QJsonValue(1e15), "Please wait 3600s before trying again.",
            "Please wait 3600s before requesting another code." },
        { QByteArray("3599"), std::nullopt, "Please wait 3599s before trying again.",
            "Please wait 3599s before requesting another code." },
    };
    for (const Row& row : rows) {
        m_service.queue(QString::fromLatin1(MockAccountService::requestCodePath),
            MockAccountService::tooMany(row.header, row.body));
        const auto error = run(Op::RequestCode);
        ASSERT_TRUE(error) << row.text;
        EXPECT_EQ(error->errorDescription().toStdString(), row.text);
        EXPECT_EQ(AccountSignInSheetModel::mapRequestError(*error).toStdString(), row.signInText);
    }
}

TEST_F(CloudAuthTest, UnusableBaseFailsBeforeSending)
{
    for (const char* base : { "not an address", "ftp://api.example.org" }) {
        EXPECT_EQ(run(Op::FetchAccount, auth(QString::fromLatin1(base))),
            AuthError::network(
                QStringLiteral("Invalid URL: ") + QString::fromLatin1(base) + QStringLiteral("/account")));
    }
    EXPECT_TRUE(m_worker.requests().empty());
    EXPECT_EQ(m_clock.pendingTimers(), 0) << "nothing was sent, so nothing is timed";
}

} // namespace
} // namespace murmeli::cloud
