#include "main/voice/enhance/SpeechEnhancerFrame.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace murmeli::voice {
namespace {

using Frame = SpeechEnhancerFrame;

QJsonObject encoded(const QMap<QString, int>& hotwords, const std::optional<QString>& prompt)
{
    const auto text = Frame::encodeRequest(QStringLiteral("raw 文本"), 4200, hotwords, QStringLiteral("zh-CN"), prompt);
    EXPECT_TRUE(text.has_value());
    return text ? QJsonDocument::fromJson(text->toUtf8()).object() : QJsonObject();
}

TEST(SpeechEnhancerFrameTest, RequestCarriesTheTakeTheHeaviestHotwordsAndOnlyANonEmptyTemplate)
{
    QMap<QString, int> hotwords;
    for (int i = 0; i < 40; ++i) {
        hotwords.insert(QStringLiteral("w%1").arg(i, 2, 10, QLatin1Char('0')), i);
    }
    const QJsonObject object = encoded(hotwords, std::nullopt);
    EXPECT_EQ(object.value(QStringLiteral("type")).toString(), QStringLiteral("enhance.request"));
    EXPECT_EQ(object.value(QStringLiteral("raw_text")).toString(), QStringLiteral("raw 文本"));
    EXPECT_EQ(object.value(QStringLiteral("duration_ms")).toInt(), 4200);
    EXPECT_EQ(object.value(QStringLiteral("locale")).toString(), QStringLiteral("zh-CN"));
    EXPECT_FALSE(object.contains(QStringLiteral("prompt_template")));
    const QJsonArray words = object.value(QStringLiteral("hotwords")).toArray();
    ASSERT_EQ(words.size(), 30);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(words[i].toString(), QStringLiteral("w%1").arg(39 - i, 2, 10, QLatin1Char('0')));
    }

    const QJsonObject none = encoded({}, QString());
    EXPECT_TRUE(none.value(QStringLiteral("hotwords")).isArray());
    EXPECT_TRUE(none.value(QStringLiteral("hotwords")).toArray().isEmpty());
    EXPECT_FALSE(none.contains(QStringLiteral("prompt_template"))) << "an empty template is left out";

    const QJsonObject prompted = encoded({ { QStringLiteral("cmake"), 5 } }, QStringLiteral("Polish: {text}"));
    EXPECT_EQ(prompted.value(QStringLiteral("prompt_template")).toString(), QStringLiteral("Polish: {text}"));
}

TEST(SpeechEnhancerFrameTest, ReplyDecoding)
{
    struct Row {
        const char* text;
        Frame::Decoded expected;
    };
    const Row rows[] = {
        { R"({"type":"final.enhanced","raw_text":"r","enhanced_text":"E.","model":"m1","latency_ms":812})",
            Frame::Enhanced { "r", "E.", "m1", 812 } },
        { R"({"type":"final.enhanced","enhanced_text":"E.","latency_ms":"812","model":7})",
            Frame::Enhanced { "", "E.", "", 0 } },
        { R"({"type":"final.enhanced","enhanced_text":"E.","latency_ms":12.5})", Frame::Enhanced { "", "E.", "", 0 } },
        { R"({"type":"final.enhanced","raw_text":"r","enhanced_text":""})", Frame::Ignore {} },
        { R"({"type":"final.enhanced","raw_text":"r"})", Frame::Ignore {} },
        { R"({"type":"enhance.error","raw_text":"r","reason":"busy","fallback":"retry"})",
            Frame::Error { "r", "busy", "retry" } },
        { R"({"type":"enhance.error"})", Frame::Error { "", "unknown", "use_raw" } },
        { R"({"type":"final.enhanced.error","reason":3})", Frame::Error { "", "unknown", "use_raw" } },
        { R"({"type":"progress","enhanced_text":"E."})", Frame::Ignore {} },
        { R"({"type":1,"enhanced_text":"E."})", Frame::Ignore {} },
        { R"({"enhanced_text":"E."})", Frame::Ignore {} },
        { R"(["final.enhanced"])", Frame::Ignore {} },
        { "not json", Frame::Ignore {} },
        { "", Frame::Ignore {} },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Frame::decode(QString::fromUtf8(row.text)), row.expected) << row.text;
    }
}

TEST(SpeechEnhancerFrameTest, OnlyTheTwoQuotedTypeNamesEndTheExchange)
{
    struct Row {
        const char* text;
        bool ends;
    };
    const Row rows[] = {
        { R"({"type":"final.enhanced","enhanced_text":"x"})", true },
        { R"({"type":"enhance.error"})", true },
        { R"({"type":"progress","stage":"final.enhanced"})", true },
        { R"({"type":"final.enhanced.error"})", false },
        { R"({"type":"progress"})", false },
        { "final.enhanced", false },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Frame::endsExchange(QString::fromUtf8(row.text)), row.ends) << row.text;
    }
}

} // namespace
} // namespace murmeli::voice
