#include "main/voice/cloud/CloudTranscribeClient.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QTcpServer>

#include "tests/support/FakeClock.h"

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

TEST(CloudTranscribeClientTest, ErrorTexts)
{
    struct Row {
        CloudSTTError error;
        const char* text;
    };
    const Row rows[] = {
        { CloudSTTError::authError(QStringLiteral("token revoked")), "激活失败: token revoked" },
        { CloudSTTError::serverError(500), "服务器错误 (500)" },
        { CloudSTTError::badURL(), "无效的服务器地址" },
        { CloudSTTError::networkError(), "网络连接失败" },
        { CloudSTTError::badResponse(), "服务器响应格式错误" },
        { CloudSTTError::quotaExceeded(), "云端时间已用完" },
        { CloudSTTError::timedOut(), "请求超时" },
        { CloudSTTError::transportError(QStringLiteral("Connection refused")), "Connection refused" },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.error.description().toStdString(), row.text);
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

} // namespace
} // namespace murmeli::voice
