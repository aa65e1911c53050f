#include "main/voice/enhance/SpeechEnhancer.h"

#include <vector>

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "main/voice/enhance/EngineStateProvider.h"
#include "main/voice/enhance/EnhanceTransport.h"
#include "main/voice/enhance/SpeechEnhancerConfig.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::voice {
namespace {

/// Answers every request at once with a scripted reply and keeps what it was asked.
class ScriptedTransport final : public EnhanceTransport {
public:
    struct Call {
        QJsonObject request;
        QString workerURL;
        QString token;
        int timeoutMs = 0;
    };
    std::optional<QString> reply;
    std::vector<Call> calls;

    QCoro::Task<std::optional<QString>> send(
        QString requestJson, QString workerURL, QString token, int timeoutMs) override
    {
        calls.push_back({ QJsonDocument::fromJson(requestJson.toUtf8()).object(), workerURL, token, timeoutMs });
        // A copy first: g++ 12 moves from a member named in co_return.
        std::optional<QString> answer = reply;
        co_return answer;
    }
};

class StubEngineState final : public EngineStateProvider {
public:
    QString token = QStringLiteral("tok");
    QString worker = QStringLiteral("https://worker.example");
    QString backend = QStringLiteral("cloud-streaming");
    QMap<QString, int> hotwords { { QStringLiteral("CMake"), 25 }, { QStringLiteral("gtest"), 40 } };

    QString cloudToken() const override { return token; }
    QString cloudWorkerURL() const override { return worker; }
    QString effectiveBackendId() const override { return backend; }
    QMap<QString, int> currentHotwords() const override { return hotwords; }
};

const char* polished = R"({"type":"final.enhanced","raw_text":"raw","enhanced_text":"Polished.","model":"m"})";

class SpeechEnhancerTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    platform::Defaults m_defaults { m_dir.filePath(QStringLiteral("defaults.json")) };
    ScriptedTransport m_transport;
    StubEngineState m_state;
    SpeechEnhancer m_enhancer { m_transport, m_defaults };

    void SetUp() override
    {
        m_enhancer.effectiveLocale = [] { return QStringLiteral("zh-CN"); };
        m_enhancer.setEngineStateProvider(&m_state);
    }

    std::optional<QString> polish(int durationMs = 4000)
    {
        return QCoro::waitFor(m_enhancer.polishIfEligible(QStringLiteral("raw"), durationMs));
    }
};

TEST_F(SpeechEnhancerTest, EligibleTakeIsPolishedWithTheEngineState)
{
    m_transport.reply = QString::fromUtf8(polished);
    m_enhancer.promptTemplate = [] { return std::optional<QString>(QStringLiteral("tidy it")); };

    EXPECT_EQ(polish(), QStringLiteral("Polished."));

    ASSERT_EQ(m_transport.calls.size(), 1u);
    const ScriptedTransport::Call& call = m_transport.calls.front();
    EXPECT_EQ(call.workerURL, QStringLiteral("https://worker.example"));
    EXPECT_EQ(call.token, QStringLiteral("tok"));
    EXPECT_EQ(call.timeoutMs, 5000);
    EXPECT_EQ(call.request.value(QStringLiteral("raw_text")).toString(), QStringLiteral("raw"));
    EXPECT_EQ(call.request.value(QStringLiteral("duration_ms")).toInt(), 4000);
    EXPECT_EQ(call.request.value(QStringLiteral("locale")).toString(), QStringLiteral("zh-CN"));
    EXPECT_EQ(call.request.value(QStringLiteral("hotwords")).toArray(), QJsonArray({ "gtest", "CMake" }));
    EXPECT_EQ(call.request.value(QStringLiteral("prompt_template")).toString(), QStringLiteral("tidy it"));
}

TEST_F(SpeechEnhancerTest, EveryUnpolishedReplyKeepsTheRawText)
{
    const std::optional<QString> replies[] = {
        std::nullopt,
        QStringLiteral(R"({"type":"enhance.error","raw_text":"other","fallback":"use_raw"})"),
        QStringLiteral(R"({"type":"final.enhanced","raw_text":"raw","enhanced_text":""})"),
        QStringLiteral("garbage"),
    };
    for (const auto& reply : replies) {
        m_transport.reply = reply;
        const SpeechEnhancer::Outcome outcome = QCoro::waitFor(m_enhancer.process(QStringLiteral("raw"),
            { 4000, true, QStringLiteral("cloud-streaming"), true, QStringLiteral("en-US") },
            { QStringLiteral("raw"), 4000, {}, QStringLiteral("en-US"), QStringLiteral("w"), QStringLiteral("t") },
            {}));
        EXPECT_EQ(
            outcome, (SpeechEnhancer::Outcome { EnhanceResult::raw(QStringLiteral("raw")), EnhanceGateDecision::Run }))
            << reply.value_or(QStringLiteral("<none>")).toStdString();
    }
    EXPECT_EQ(m_transport.calls.size(), 4u);
}

TEST_F(SpeechEnhancerTest, GateReadsEngineStateDefaultsAndLocale)
{
    m_transport.reply = QString::fromUtf8(polished);
    const QString key = QString::fromLatin1(SpeechEnhancerConfig::aiOptimizationKey);
    struct Row {
        const char* name;
        QString token;
        QString backend;
        QJsonValue stored; // the polish switch in the user's defaults
        QString locale;
        bool polishes;
    };
    const QString streaming = QStringLiteral("cloud-streaming");
    const QJsonValue unset(QJsonValue::Undefined);
    const Row rows[] = {
        { "switch never set", QStringLiteral("tok"), streaming, unset, QStringLiteral("en-US"), true },
        { "switch stored true", QStringLiteral("tok"), streaming, true, QStringLiteral("zh-CN"), true },
        { "switch stored false", QStringLiteral("tok"), streaming, false, QStringLiteral("zh-CN"), false },
        { "a string is not a boolean", QStringLiteral("tok"), streaming, QStringLiteral("false"),
            QStringLiteral("zh-CN"), true },
        { "signed out", QString(), streaming, unset, QStringLiteral("zh-CN"), false },
        { "upload backend", QStringLiteral("tok"), QStringLiteral("murmeli-cloud"), unset, QStringLiteral("zh-CN"),
            false },
        { "unsupported locale", QStringLiteral("tok"), streaming, unset, QStringLiteral("ja-JP"), false },
    };
    for (const Row& row : rows) {
        m_state.token = row.token;
        m_state.backend = row.backend;
        m_defaults.setValue(key, row.stored);
        m_enhancer.effectiveLocale = [locale = row.locale] { return locale; };
        const std::size_t callsBefore = m_transport.calls.size();
        EXPECT_EQ(m_enhancer.shouldPolish(4000, &m_state), row.polishes) << row.name;
        EXPECT_EQ(polish(), row.polishes ? std::optional<QString>(QStringLiteral("Polished.")) : std::nullopt)
            << row.name;
        EXPECT_EQ(m_transport.calls.size() - callsBefore, row.polishes ? 1u : 0u) << row.name;
    }
    m_enhancer.setEngineStateProvider(nullptr);
    EXPECT_EQ(polish(), std::nullopt);
    EXPECT_FALSE(m_enhancer.shouldPolish(4000, nullptr));
}

} // namespace
} // namespace murmeli::voice
