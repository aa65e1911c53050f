#include "main/cloud/api/CloudHttpClient.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QSslConfiguration>

#include "main/cloud/api/CloudAuth.h"
#include "tests/support/FakeClock.h"
#include "tests/support/HostileHttpServer.h"
#include "tests/support/LoopbackTls.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

namespace murmeli::cloud {
namespace {

using Server = test::HostileHttpServer;
using Kind = CloudHttpClient::Failure::Kind;

constexpr qint64 fiftyMegabytes = 50LL << 20;
// Generous: the bound is there to catch a reply swallowed whole, not to measure.
constexpr qint64 residentGrowthBound = 64LL << 20;
constexpr int boundMs = 30'000;

std::optional<Kind> failureOf(const CloudHttpClient::Outcome& outcome)
{
    const auto* failure = std::get_if<CloudHttpClient::Failure>(&outcome);
    return failure ? std::optional(failure->kind) : std::nullopt;
}

/// The one client against misbehaving loopback servers, over real sockets; time limits on a fake clock.
class CloudHttpClientTest : public ::testing::Test {
protected:
    Server m_server;
    QNetworkAccessManager m_network;
    test::FakeClock m_clock;
    std::shared_ptr<CloudHttpClient> m_client = std::make_shared<CloudHttpClient>(m_network, m_clock);

    void SetUp() override { ASSERT_TRUE(m_server.start()); }

    CloudHttpClient::Request get(const QString& base) const
    {
        CloudHttpClient::Request request;
        request.method = "GET";
        request.url = QUrl(base + QStringLiteral("/account"));
        request.headers = { { "Authorization", "Bearer tok-secret" } };
        return request;
    }

    std::shared_ptr<std::optional<CloudHttpClient::Outcome>> start(const QString& base)
    {
        return test::keepResult(m_client->send(get(base)));
    }

    /// The outcome of a GET once it has come, within a bound.
    std::optional<CloudHttpClient::Outcome> fetch(const QString& base)
    {
        const auto result = start(base);
        test::waitUntil([&] { return result->has_value(); }, boundMs);
        return *result;
    }

    void expectStillServes(const char* after)
    {
        m_server.script({ Server::Act::Answer, test::MockHttpReply { 200, {}, R"({"ok":true})" } });
        const auto next = fetch(m_server.baseUrl());
        ASSERT_TRUE(next) << after;
        const auto* reply = std::get_if<CloudHttpClient::Reply>(&*next);
        ASSERT_NE(reply, nullptr) << after;
        EXPECT_EQ(reply->status, 200) << after;
        EXPECT_EQ(reply->body, R"({"ok":true})") << after;
    }
};

TEST_F(CloudHttpClientTest, OversizedRepliesAreCutWhileTheyArrive)
{
    struct Row {
        const char* name;
        Server::Script script;
    };
    const Row rows[] = {
        { "declared length", { Server::Act::LongBody, {}, fiftyMegabytes } },
        { "body to the close", { Server::Act::BodyToClose, {}, fiftyMegabytes } },
        { "endless chunks", { Server::Act::EndlessChunks, {}, 0 } },
    };
    const qint64 idle = test::residentBytes();
    for (const Row& row : rows) {
        m_server.script(row.script);
        const int dropped = m_server.closedByPeer();
        const qint64 sentBefore = m_server.bytesSent();
        const auto outcome = fetch(m_server.baseUrl());
        ASSERT_TRUE(outcome) << row.name;
        EXPECT_EQ(failureOf(*outcome), Kind::Oversized) << row.name;
        EXPECT_TRUE(test::waitUntil([&] { return m_server.closedByPeer() > dropped; })) << row.name;
        // What the server got rid of is what we read plus what the sockets hold: far from the whole body.
        EXPECT_LT(m_server.bytesSent() - sentBefore, fiftyMegabytes / 2) << row.name;
        EXPECT_LT(test::residentBytes() - idle, residentGrowthBound) << row.name;
    }
    EXPECT_EQ(m_clock.pendingTimers(), 0) << "the time limits went with the replies";

    m_server.script({ Server::Act::LongBody, {}, CloudHttpClient::maxReplyBytes });
    const auto full = fetch(m_server.baseUrl());
    ASSERT_TRUE(full);
    ASSERT_TRUE(std::holds_alternative<CloudHttpClient::Reply>(*full)) << "a reply of exactly the limit is taken";
    EXPECT_EQ(std::get<CloudHttpClient::Reply>(*full).body.size(), CloudHttpClient::maxReplyBytes);
}

TEST_F(CloudHttpClientTest, HeadThatNeverEndsIsCutAndTheClientGoesOn)
{
    struct Row {
        const char* name;
        qint64 stallAfterBytes;
        Kind kind;
    };
    const Row rows[] = {
        // Header lines as fast as the socket takes them: cut at the head limit, long before the time limit.
        { "flood", -1, Kind::Oversized },
        // A few lines, then silence on an open connection: cut at the time limit.
        { "trickle", 4096, Kind::TimedOut },
    };
    const qint64 idle = test::residentBytes();
    for (const Row& row : rows) {
        m_server.script({ Server::Act::EndlessHeaders, {}, 0, row.stallAfterBytes });
        const int dropped = m_server.closedByPeer();
        const qint64 sentBefore = m_server.bytesSent();
        const auto result = start(m_server.baseUrl());
        if (row.kind == Kind::TimedOut) {
            ASSERT_TRUE(test::waitUntil([&] { return m_server.bytesSent() - sentBefore == row.stallAfterBytes; }));
            m_clock.advance(get({}).timeoutMs - 1);
            QCoreApplication::processEvents();
            EXPECT_FALSE(result->has_value()) << row.name << " still waits just before its limit";
            m_clock.advance(1);
        }
        ASSERT_TRUE(test::waitUntil([&] { return result->has_value(); }, boundMs)) << row.name;
        EXPECT_EQ(failureOf(**result), row.kind) << row.name;
        EXPECT_TRUE(test::waitUntil([&] { return m_server.closedByPeer() > dropped; })) << row.name;
        EXPECT_LT(test::residentBytes() - idle, residentGrowthBound) << row.name;
        expectStillServes(row.name);
    }
}

TEST_F(CloudHttpClientTest, RedirectsAreHandedBackAndTheTokenStaysHome)
{
    Server elsewhere;
    ASSERT_TRUE(elsewhere.start());
    elsewhere.script({ Server::Act::Answer, test::MockHttpReply { 200, {}, "{}" } });
    const CloudAuth auth(m_client, m_server.baseUrl());
    for (const int status : { 301, 302, 303, 307, 308 }) {
        test::MockHttpReply redirect { status, { { "Location", (elsewhere.baseUrl() + "/account").toUtf8() } }, {} };
        m_server.script({ Server::Act::Answer, redirect });
        const auto result = QCoro::waitFor(auth.fetchAccount(QStringLiteral("tok-secret")));
        const auto* error = failure(result);
        ASSERT_NE(error, nullptr) << status;
        EXPECT_EQ(error->errorDescription(), QStringLiteral("Server error (%1).").arg(status));
    }
    EXPECT_EQ(m_server.requests().size(), 5u);
    EXPECT_TRUE(elsewhere.requests().empty()) << "no request, so no bearer token, reached another origin";
}

TEST_F(CloudHttpClientTest, HttpsChecksTheCertificateBeforeAnythingIsSent)
{
    Server secure;
    ASSERT_TRUE(secure.startTls());
    secure.script({ Server::Act::Answer, test::MockHttpReply { 200, {}, R"({"tls":true})" } });

    const auto refused = fetch(secure.baseUrl());
    ASSERT_TRUE(refused);
    EXPECT_EQ(failureOf(*refused), Kind::Transport) << "a certificate nobody vouches for is refused";
    EXPECT_TRUE(secure.requests().empty());

    const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = before;
    trusting.addCaCertificate(test::loopbackCertificate());
    QSslConfiguration::setDefaultConfiguration(trusting);
    const auto answered = fetch(secure.baseUrl());
    QSslConfiguration::setDefaultConfiguration(before);
    ASSERT_TRUE(answered);
    ASSERT_TRUE(std::holds_alternative<CloudHttpClient::Reply>(*answered));
    EXPECT_EQ(std::get<CloudHttpClient::Reply>(*answered).body, R"({"tls":true})");
    ASSERT_EQ(secure.requests().size(), 1u);
    EXPECT_EQ(secure.requests().front().bearerToken(), "tok-secret");
}

// The Host header names the account address's host, with its port only where the address gives one. The addresses
// are reached through the loopback server as their proxy, so the usual ports need no server of their own.
TEST_F(CloudHttpClientTest, TheHostHeaderNamesThePortOnlyWhereTheAddressDoes)
{
    m_network.setProxy(QNetworkProxy(
        QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), static_cast<quint16>(QUrl(m_server.baseUrl()).port())));
    m_server.script({ Server::Act::Answer, test::MockHttpReply { 200, {}, R"({"ok":true})" } });
    const std::pair<QString, QByteArray> rows[] = {
        { QStringLiteral("http://api.murmeli.test"), "api.murmeli.test" },
        { QStringLiteral("http://api.murmeli.test:8787"), "api.murmeli.test:8787" },
        { QStringLiteral("http://[fd00::7]:8080"), "[fd00::7]:8080" },
    };
    for (const auto& [address, host] : rows) {
        const auto outcome = fetch(address);
        ASSERT_TRUE(outcome && std::holds_alternative<CloudHttpClient::Reply>(*outcome)) << address.toStdString();
        ASSERT_FALSE(m_server.requests().empty());
        EXPECT_EQ(m_server.requests().back().method, "GET");
        EXPECT_EQ(m_server.requests().back().header("host").value_or("(none)").toStdString(), host.toStdString())
            << address.toStdString();
    }
}

} // namespace
} // namespace murmeli::cloud
