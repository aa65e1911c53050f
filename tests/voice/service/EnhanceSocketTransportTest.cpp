#include "main/voice/service/EnhanceSocketTransport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include "main/voice/enhance/EngineStateProvider.h"
#include "main/voice/enhance/SpeechEnhancer.h"
#include "platform/defaults/Defaults.h"
#include "platform/net/NetworkSessionFactory.h"
#include "tests/support/FakeClock.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/MockRunTaskRoute.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

namespace murmeli::voice {

namespace {

using Route = test::MockRunTaskRoute;

class WorkerState final : public EngineStateProvider {
public:
    QString token = QStringLiteral("tok-9");
    QString worker;
    QString cloudToken() const override { return token; }
    QString cloudWorkerURL() const override { return worker; }
    QString effectiveBackendId() const override { return QStringLiteral("cloud-streaming"); }
    QMap<QString, int> currentHotwords() const override { return { { QStringLiteral("QCoro"), 30 } }; }
};

/// The polish end to end: the enhancer over the socket transport against the loopback worker. The exchange's time
/// limit runs on a fake clock; the sockets are real.
class EnhanceSocketTransportTest : public ::testing::Test {
protected:
    test::MockCloudWorker m_worker;
    Route m_route { m_worker };
    test::FakeClock m_clock;
    std::shared_ptr<platform::NetworkSession> m_session = platform::makeNetworkSession(QNetworkProxy::NoProxy);
    EnhanceSocketTransport m_transport { [this] { return m_session; }, m_clock };
    QTemporaryDir m_dir;
    platform::Defaults m_defaults { m_dir.filePath(QStringLiteral("defaults.json")) };
    WorkerState m_state;
    SpeechEnhancer m_enhancer { m_transport, m_defaults };

    void SetUp() override
    {
        ASSERT_TRUE(m_worker.start());
        m_route.script().token = QStringLiteral("tok-9");
        m_state.worker = m_worker.baseUrl();
        m_enhancer.effectiveLocale = [] { return QStringLiteral("en-US"); };
        m_enhancer.setEngineStateProvider(&m_state);
    }

    std::shared_ptr<std::optional<std::optional<QString>>> polish(const QString& raw)
    {
        return test::keepResult(m_enhancer.polishIfEligible(raw, 4500));
    }

    std::optional<QString> polishNow(const QString& raw)
    {
        const auto result = polish(raw);
        EXPECT_TRUE(test::waitUntil([&] { return result->has_value(); }));
        return result->value_or(std::nullopt);
    }

    bool closedNormally(const Route::Client& client)
    {
        return test::waitUntil([&] { return client.connection->clientCloseCode() == 1000; });
    }
};

TEST_F(EnhanceSocketTransportTest, PolishedTextAfterUnrelatedFrames)
{
    m_route.script().framesBeforeAnswer
        = { QStringLiteral(R"({"type":"progress","stage":"thinking"})"), QStringLiteral("not json at all") };

    EXPECT_EQ(polishNow(QStringLiteral("make it tidy")), QStringLiteral("Polished: make it tidy"));

    ASSERT_EQ(m_route.clients().size(), 1u);
    const Route::Client& client = *m_route.lastClient();
    EXPECT_EQ(client.bearerToken, QStringLiteral("tok-9"));
    ASSERT_EQ(client.enhanceRequests.size(), 1u);
    const QJsonObject& request = client.enhanceRequests.front();
    EXPECT_EQ(request.value(QStringLiteral("raw_text")).toString(), QStringLiteral("make it tidy"));
    EXPECT_EQ(request.value(QStringLiteral("duration_ms")).toInt(), 4500);
    EXPECT_EQ(request.value(QStringLiteral("hotwords")).toArray(), QJsonArray { QStringLiteral("QCoro") });
    EXPECT_TRUE(m_route.violations().isEmpty()) << m_route.violations().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(closedNormally(client));
    EXPECT_EQ(m_clock.pendingTimers(), 0);
}

TEST_F(EnhanceSocketTransportTest, UnansweredExchangeFallsBackToTheRawTextAtTheLimit)
{
    // A nested error type names neither reply the exchange waits for, so only the limit ends it.
    for (const auto answer : { Route::EnhanceAnswer::Silent, Route::EnhanceAnswer::NestedError }) {
        m_route.script().enhanceAnswer = answer;
        const std::size_t client = m_route.clients().size();
        const auto result = polish(QStringLiteral("raw words"));
        ASSERT_TRUE(test::waitUntil(
            [&] { return m_route.clients().size() > client && !m_route.lastClient()->enhanceRequests.empty(); }));
        m_clock.advance(4999);
        QCoreApplication::processEvents();
        EXPECT_FALSE(result->has_value()) << "not before the limit";
        m_clock.advance(1);
        ASSERT_TRUE(test::waitUntil([&] { return result->has_value(); }));
        EXPECT_EQ(**result, std::nullopt);
        EXPECT_TRUE(closedNormally(*m_route.lastClient()));
    }
}

TEST_F(EnhanceSocketTransportTest, ErrorReplyAndRefusedUpgradeEndAtOnce)
{
    m_route.script().enhanceAnswer = Route::EnhanceAnswer::Error;
    EXPECT_EQ(polishNow(QStringLiteral("raw")), std::nullopt);
    EXPECT_TRUE(closedNormally(*m_route.lastClient()));

    m_route.script().enhanceAnswer = Route::EnhanceAnswer::Enhanced;
    m_state.token = QStringLiteral("stale token");
    EXPECT_EQ(polishNow(QStringLiteral("raw")), std::nullopt);
    EXPECT_EQ(m_route.refusedUpgrades(), 1);
    EXPECT_EQ(m_clock.pendingTimers(), 0) << "a refused upgrade does not wait for the limit";
}

TEST_F(EnhanceSocketTransportTest, WorkerDyingMidExchangeGivesTheRawText)
{
    m_route.script().enhanceAnswer = Route::EnhanceAnswer::Silent;
    const auto result = polish(QStringLiteral("raw"));
    ASSERT_TRUE(
        test::waitUntil([&] { return m_route.lastClient() && !m_route.lastClient()->enhanceRequests.empty(); }));
    m_worker.kill();
    ASSERT_TRUE(test::waitUntil([&] { return result->has_value(); }));
    EXPECT_EQ(**result, std::nullopt);
    EXPECT_EQ(m_clock.pendingTimers(), 0);
}

TEST_F(EnhanceSocketTransportTest, UnusableAddressOpensNoSocket)
{
    m_state.worker = QStringLiteral("no address");
    EXPECT_EQ(polishNow(QStringLiteral("raw")), std::nullopt);
    EXPECT_TRUE(m_worker.requests().empty());
}

TEST_F(EnhanceSocketTransportTest, TwoTakesAtOnceUseTwoSocketsAndGetTheirOwnReplies)
{
    m_route.script().answerDelayMs = 50;
    const auto first = polish(QStringLiteral("first take"));
    const auto second = polish(QStringLiteral("second take"));
    ASSERT_TRUE(test::waitUntil([&] { return first->has_value() && second->has_value(); }));
    EXPECT_EQ(**first, QStringLiteral("Polished: first take"));
    EXPECT_EQ(**second, QStringLiteral("Polished: second take"));
    EXPECT_EQ(m_route.clients().size(), 2u);
}

} // namespace
} // namespace murmeli::voice
