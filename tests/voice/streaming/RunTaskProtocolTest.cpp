#include "main/voice/streaming/RunTaskProtocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

using Event = RunTaskProtocol::Event;
using Kind = Event::Kind;

QJsonObject parsed(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

TEST(RunTaskProtocolTest, TaskIdsAreFreshUpperCaseUuidsWithoutHyphens)
{
    const QString first = RunTaskProtocol::newTaskId();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{32}$")).match(first).hasMatch()) << first.toStdString();
    EXPECT_NE(first, RunTaskProtocol::newTaskId());
}

// Task id, duplex streaming, 16 kHz PCM and the finish's task id are checked by the worker mock on every take.
TEST(RunTaskProtocolTest, RunTaskCarriesTheRecognitionParametersAndHotwordsOnlyWhenThereAreAny)
{
    const QJsonObject payload = parsed(*RunTaskProtocol::runTask(QStringLiteral("T1"), QStringLiteral("model-x"), {}))
                                    .value("payload")
                                    .toObject();
    EXPECT_EQ(payload.value("task_group").toString(), "audio");
    EXPECT_EQ(payload.value("function").toString(), "recognition");
    EXPECT_EQ(payload.value("model").toString(), "model-x");
    const QJsonObject parameters = payload.value("parameters").toObject();
    EXPECT_FALSE(parameters.contains("hotword"));
    EXPECT_TRUE(parameters.value("punctuation_prediction_enabled").toBool());

    const QJsonObject withWords = parsed(*RunTaskProtocol::runTask(
        QStringLiteral("T1"), QStringLiteral("model-x"), { { QStringLiteral("murmeli"), 25 } }));
    const QString hotword
        = withWords.value("payload").toObject().value("parameters").toObject().value("hotword").toString();
    EXPECT_EQ(parsed(hotword), (QJsonObject { { "murmeli", 25 } }));
}

TEST(RunTaskProtocolTest, ServerEventsAreReadByTheirHeaderEvent)
{
    struct Row {
        const char* frame;
        Event expected;
    };
    const Row rows[] = {
        { R"({"header":{"event":"result-generated"},"payload":{"output":{"sentence":{"text":"hi","sentence_end":true}}}})",
            { Kind::Result, QStringLiteral("hi"), true } },
        { R"({"header":{"event":"result-generated"},"payload":{"output":{"sentence":{"text":"hi"}}}})",
            { Kind::Result, QStringLiteral("hi"), false } },
        { R"({"header":{"event":"result-generated"},"payload":{"output":{"sentence":{"text":"hi","sentence_end":"yes"}}}})",
            { Kind::Result, QStringLiteral("hi"), false } },
        { R"({"header":{"event":"result-generated"},"payload":{"output":{}}})", {} },
        { R"({"header":{"event":"task-finished"}})", { Kind::Finished, {}, false } },
        { R"({"header":{"event":"task-failed","error_message":"quota"}})",
            { Kind::Failed, QStringLiteral("quota"), false } },
        { R"({"header":{"event":"task-failed","error_message":7}})",
            { Kind::Failed, QStringLiteral("ASR error"), false } },
        { R"({"header":{"event":"task-started"}})", {} },
        { R"({"header":{}})", {} },
        { R"({"header":"task-finished"})", {} },
        { R"(["task-finished"])", {} },
        { "not json", {} },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RunTaskProtocol::parseEvent(QString::fromUtf8(row.frame)), row.expected) << row.frame;
    }
}

TEST(RunTaskProtocolTest, TheRunningTextIsTheEndedSentencesAndTheCurrentOne)
{
    RunTaskProtocol::Transcript transcript;
    EXPECT_EQ(transcript.add(QStringLiteral("Hel"), false), "Hel");
    EXPECT_EQ(transcript.add(QStringLiteral("Hello. "), true), "Hello. ");
    EXPECT_EQ(transcript.add(QStringLiteral("Wor"), false), "Hello. Wor");
    EXPECT_EQ(transcript.finalText(), "Hello. ");
    EXPECT_EQ(transcript.add(QStringLiteral("World."), true), "Hello. World.");
    EXPECT_EQ(transcript.finalText(), "Hello. World.");
}

} // namespace
} // namespace murmeli::voice
