#include "main/voice/service/CloudTranscribeClient.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QTcpServer>

#include "main/voice/service/CloudTranscribe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/HostileHttpServer.h"
#include "tests/support/MockAccountRoute.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/MockTranscribeRoute.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

namespace murmeli::voice {

namespace {

using Client = CloudTranscribeClient;

TEST(CloudTranscribeClientTest, MinutesHeaderParsing)
{
    struct Row {
        std::optional<QByteArray> header;
        std::optional<int> minutes;
    };
    const Row rows[] = {
        { std::nullopt, std::nullopt }, // absent: unknown, never zero
        { QByteArray("42"), 42 },
        { QByteArray("+12"), 12 },
        { QByteArray("-5"), -5 },
        { QByteArray("0"), 0 },
        { QByteArray("12 "), std::nullopt },
        { QByteArray(" 12"), std::nullopt },
        { QByteArray("1.5"), std::nullopt },
        { QByteArray("0x10"), std::nullopt },
        { QByteArray("+"), std::nullopt },
        { QByteArray(""), std::nullopt },
        { QByteArray("2147483647"), 2147483647 },
        { QByteArray("2147483648"), std::nullopt },
        { QByteArray("99999999999999999999999"), std::nullopt },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Client::parseMinutesRemaining(row.header), row.minutes)
            << (row.header ? row.header->toStdString() : "<absent>");
    }
}

TEST(CloudTranscribeClientTest, UnusableWorkerAddressFailsBeforeSending)
{
    QNetworkAccessManager network;
    test::FakeClock clock;
    Client client(network, clock);
    for (const char* address :
        { "", "worker.example", "ftp://worker.example", "https://", "https://wor ker.example", "file:///etc" }) {
        const auto upload
            = QCoro::waitFor(client.transcribe("RIFF", {}, QStringLiteral("t"), QString::fromUtf8(address)));
        EXPECT_EQ(std::get<CloudSTTError>(upload), CloudSTTError::badURL()) << address;
        const auto account = QCoro::waitFor(client.fetchAccount(QStringLiteral("t"), QString::fromUtf8(address)));
        EXPECT_EQ(std::get<CloudSTTError>(account), CloudSTTError::badURL()) << address;
    }
    EXPECT_EQ(CloudSTTError::badURL().description().toStdString(), "无效的服务器地址");
    EXPECT_EQ(clock.pendingTimers(), 0) << "nothing was sent, so nothing is timed";
}

TEST(CloudTranscribeClientTest, RefusedConnectionIsTheNetworkLayersOwnError)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QString address = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();

    QNetworkAccessManager network;
    test::FakeClock clock;
    Client client(network, clock);
    const auto upload = QCoro::waitFor(client.transcribe("RIFF", {}, QStringLiteral("t"), address));
    const auto* error = std::get_if<CloudSTTError>(&upload);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->kind(), CloudSTTError::Kind::TransportError);
    EXPECT_FALSE(error->description().isEmpty());
}

TEST(CloudTranscribeClientTest, HostileWorkerEndsInTheTextOfItsFault)
{
    using Server = test::HostileHttpServer;
    Server worker;
    Server elsewhere;
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(elsewhere.start());
    QNetworkAccessManager network;
    test::FakeClock clock;
    Client client(network, clock);
    struct Row {
        const char* name;
        Server::Script script;
        const char* text;
    };
    const test::MockHttpReply redirect { 307, { { "Location", (elsewhere.baseUrl() + "/transcribe").toUtf8() } }, {} };
    const Row rows[] = {
        { "redirect", { Server::Act::Answer, redirect }, "服务器错误 (307)" },
        { "endless chunks", { Server::Act::EndlessChunks, {} }, "服务器响应格式错误" },
        { "endless head", { Server::Act::EndlessHeaders, {} }, "服务器响应格式错误" },
    };
    for (const Row& row : rows) {
        worker.script(row.script);
        const auto result = test::keepResult(client.transcribe("RIFF", {}, QStringLiteral("tok-1"), worker.baseUrl()));
        ASSERT_TRUE(test::waitUntil([&] { return result->has_value(); }, 30'000)) << row.name;
        const auto* error = std::get_if<CloudSTTError>(&**result);
        ASSERT_NE(error, nullptr) << row.name;
        EXPECT_EQ(error->description().toStdString(), row.text) << row.name;
    }
    EXPECT_EQ(worker.requests().size(), 3u);
    EXPECT_TRUE(elsewhere.requests().empty()) << "the upload and its token go nowhere else";
}

/// The client against the loopback worker, over real sockets; time limits run on a fake clock.
class CloudTranscribeClientWorkerTest : public ::testing::Test {
protected:
    test::MockCloudWorker m_worker;
    test::MockTranscribeRoute m_transcribe { m_worker };
    test::MockAccountRoute m_account { m_worker };
    QNetworkAccessManager m_network;
    test::FakeClock m_clock;
    Client m_client { m_network, m_clock };
    const QByteArray m_wav = CloudTranscribe::buildWAV(QByteArray(3200, '\x11'), 16000);
    const STTContext m_context { QStringLiteral("Edit"), { QStringLiteral("a.cpp") }, 0.5, {} };

    void SetUp() override { ASSERT_TRUE(m_worker.start()); }

    Client::Outcome<Client::Transcript> upload()
    {
        return QCoro::waitFor(m_client.transcribe(m_wav, m_context, QStringLiteral("tok-1"), m_worker.baseUrl()));
    }

    std::string uploadError()
    {
        const auto outcome = upload();
        const auto* error = std::get_if<CloudSTTError>(&outcome);
        return error ? error->description().toStdString() : "no error";
    }

    Client::Outcome<Client::Account> account()
    {
        return QCoro::waitFor(m_client.fetchAccount(QStringLiteral("tok-1"), m_worker.baseUrl()));
    }
};

TEST_F(CloudTranscribeClientWorkerTest, UploadDeliversTranscriptAndBalance)
{
    const auto outcome = upload();
    ASSERT_TRUE(std::holds_alternative<Client::Transcript>(outcome));
    EXPECT_EQ(std::get<Client::Transcript>(outcome), (Client::Transcript { QStringLiteral("mock transcript"), 37 }));

    ASSERT_EQ(m_transcribe.uploads().size(), 1u);
    const test::MockTranscribeRoute::Upload& seen = m_transcribe.uploads().front();
    EXPECT_TRUE(seen.violations.isEmpty()) << seen.violations.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(seen.bearerToken, QStringLiteral("tok-1"));
    EXPECT_TRUE(seen.boundary.startsWith(QStringLiteral("Boundary-")));
    ASSERT_EQ(seen.parts.size(), 2u);
    EXPECT_EQ(seen.parts[0].name, QStringLiteral("audio"));
    EXPECT_EQ(seen.parts[0].filename, QStringLiteral("audio.wav"));
    EXPECT_EQ(seen.parts[0].contentType, "audio/wav");
    EXPECT_EQ(seen.parts[0].data, m_wav);
    EXPECT_EQ(seen.parts[1].name, QStringLiteral("context"));
    EXPECT_EQ(seen.context().value(QStringLiteral("tool")).toString(), QStringLiteral("Edit"));
    EXPECT_EQ(m_clock.pendingTimers(), 0) << "the time limit goes with the reply";
}

TEST_F(CloudTranscribeClientWorkerTest, UploadFailuresCarryTheirTexts)
{
    using Answer = test::MockTranscribeRoute::Answer;
    struct Row {
        Answer answer;
        QByteArray authBody;
        const char* text;
    };
    const Row rows[] = {
        { Answer::Unauthorized, R"({"error":"token revoked"})", "激活失败: token revoked" },
        { Answer::Unauthorized, "", "激活失败: unauthorized" },
        { Answer::Unauthorized, R"({"error":401})", "激活失败: unauthorized" },
        { Answer::QuotaExceeded, {}, "云端时间已用完" },
        { Answer::ServerError, {}, "服务器错误 (500)" },
        { Answer::NoTranscript, {}, "服务器响应格式错误" },
    };
    for (const Row& row : rows) {
        m_transcribe.script().answer = row.answer;
        m_transcribe.script().authBody = row.authBody;
        EXPECT_EQ(uploadError(), row.text) << row.authBody.toStdString();
    }
}

TEST_F(CloudTranscribeClientWorkerTest, SilentWorkerTimesOutAfterThirtySeconds)
{
    m_transcribe.script().answer = test::MockTranscribeRoute::Answer::Hang;
    const auto result
        = test::keepResult(m_client.transcribe(m_wav, m_context, QStringLiteral("tok-1"), m_worker.baseUrl()));
    ASSERT_TRUE(test::waitUntil([&] { return m_transcribe.uploads().size() == 1; }));

    m_clock.advance(Client::uploadTimeoutMs - 1);
    EXPECT_FALSE(result->has_value());
    m_clock.advance(1);
    ASSERT_TRUE(test::waitUntil([&] { return result->has_value(); }));
    const auto* error = std::get_if<CloudSTTError>(&**result);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->description().toStdString(), "请求超时");
}

TEST_F(CloudTranscribeClientWorkerTest, AccountQuery)
{
    const auto outcome = account();
    ASSERT_TRUE(std::holds_alternative<Client::Account>(outcome));
    EXPECT_EQ(std::get<Client::Account>(outcome), (Client::Account { QStringLiteral("dev@example.org"), 118 }));
    EXPECT_EQ(m_account.bearerTokens(), QStringList { QStringLiteral("tok-1") });
    EXPECT_EQ(m_account.methods(), QList<QByteArray> { "GET" });

    struct Row {
        int status;
        QByteArray body;
        CloudSTTError error;
    };
    const Row rows[] = {
        { 401, R"({"error":"expired"})", CloudSTTError::authError(QStringLiteral("expired")) },
        { 401, "not json", CloudSTTError::authError(QStringLiteral("unauthorized")) },
        { 402, R"({"error":"quota"})", CloudSTTError::serverError(402) },
        { 200, R"({"email":"dev@example.org"})", CloudSTTError::badResponse() },
        { 200, R"({"email":"dev@example.org","minutes_left":"118"})", CloudSTTError::badResponse() },
        { 200, R"({"email":"dev@example.org","minutes_left":1.5})", CloudSTTError::badResponse() },
    };
    for (const Row& row : rows) {
        m_account.script().status = row.status;
        m_account.script().body = row.body;
        const auto failed = account();
        ASSERT_TRUE(std::holds_alternative<CloudSTTError>(failed)) << row.body.toStdString();
        EXPECT_EQ(std::get<CloudSTTError>(failed).description(), row.error.description()) << row.body.toStdString();
    }
}

} // namespace
} // namespace murmeli::voice
