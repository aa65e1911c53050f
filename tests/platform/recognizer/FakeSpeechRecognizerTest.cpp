#include <memory>

#include <gtest/gtest.h>

#include <QStringList>

#include "platform/recognizer/fake/FakeSpeechRecognizer.h"
#include "tests/support/HeardRecognition.h"
#include "tests/support/Wait.h"

namespace murmeli::platform {
namespace {

using Heard = test::HeardRecognition;

constexpr auto errorEvent = &Heard::errorEvent;

TEST(FakeSpeechRecognizer, AnswersInQueueOrderOnALaterTurnAndRecordsTheRequests)
{
    FakeSpeechRecognizer recognizer;
    recognizer.queue(PresetRecognitionOutcome::recognised("hello world", { "hello", "hello world" }));
    recognizer.queue(PresetRecognitionOutcome::failure(RecognitionError::Code::TimedOut, "too slow"));

    const auto request = RecognitionRequest::forFile("/tmp/take.wav", "en_US", { "murmeli" });
    std::unique_ptr<RecognitionTask> first = recognizer.recognize(request);
    Heard heardFirst(*first);
    std::unique_ptr<RecognitionTask> second = recognizer.recognize(RecognitionRequest::forPcm("\0\0", 8000, "en-US"));
    Heard heardSecond(*second);
    std::unique_ptr<RecognitionTask> third = recognizer.recognize(RecognitionRequest::forPcm("\0\0", 16000, "en-US"));
    Heard heardThird(*third);
    // Nothing may arrive before the caller has had the chance to connect.
    EXPECT_TRUE(heardFirst.events.isEmpty());

    ASSERT_TRUE(test::waitUntil([&] { return heardFirst.ended() && heardSecond.ended() && heardThird.ended(); }));
    EXPECT_EQ(heardFirst.events, QStringList({ "partial:hello", "partial:hello world", "final:hello world" }));
    EXPECT_EQ(heardSecond.events, QStringList({ errorEvent(RecognitionError::Code::TimedOut, "too slow") }));
    EXPECT_EQ(heardThird.events,
        QStringList({ errorEvent(RecognitionError::Code::NoSpeech, RecognitionError::noSpeech().description) }));
    ASSERT_EQ(recognizer.requests().size(), 3U);
    EXPECT_EQ(recognizer.requests().front(), request);
    EXPECT_EQ(recognizer.requests().at(1).sampleRate, 8000);
}

TEST(FakeSpeechRecognizer, RefusesWhatTheRealOneRefuses)
{
    struct Case {
        bool available;
        QString locale;
        RecognitionError::Code expected;
    };
    const Case cases[] = {
        { true, "de-DE", RecognitionError::Code::UnsupportedLocale },
        { false, "en-US", RecognitionError::Code::Unavailable },
    };
    for (const Case& c : cases) {
        FakeSpeechRecognizer recognizer;
        recognizer.setAvailable(c.available);
        recognizer.queue(PresetRecognitionOutcome::recognised("never heard"));
        EXPECT_FALSE(recognizer.supportsLocale(c.locale)) << c.locale.toStdString();
        auto task = recognizer.recognize(RecognitionRequest::forFile("/tmp/x.wav", c.locale));
        Heard heard(*task);
        ASSERT_TRUE(test::waitUntil([&] { return heard.ended(); }));
        ASSERT_EQ(heard.events.size(), 1);
        EXPECT_TRUE(heard.events.front().startsWith(QStringLiteral("error:%1:").arg(static_cast<int>(c.expected))))
            << heard.events.front().toStdString();
    }
}

TEST(FakeSpeechRecognizer, AHeldRecognitionCancelledOrDestroyedSaysNothing)
{
    FakeSpeechRecognizer recognizer;
    recognizer.setHeld(true);
    recognizer.queue(PresetRecognitionOutcome::recognised("one"));
    recognizer.queue(PresetRecognitionOutcome::recognised("two"));
    recognizer.queue(PresetRecognitionOutcome::recognised("three"));
    auto cancelled = recognizer.recognize(RecognitionRequest::forFile("/tmp/a.wav", "en-US"));
    auto destroyed = recognizer.recognize(RecognitionRequest::forFile("/tmp/b.wav", "en-US"));
    auto kept = recognizer.recognize(RecognitionRequest::forFile("/tmp/c.wav", "en-US"));
    Heard heardCancelled(*cancelled);
    Heard heardKept(*kept);
    EXPECT_EQ(recognizer.inFlight(), 3);

    cancelled->cancel();
    destroyed.reset();
    EXPECT_TRUE(cancelled->isDone());
    EXPECT_EQ(recognizer.inFlight(), 1);
    recognizer.release();

    ASSERT_TRUE(test::waitUntil([&] { return heardKept.ended(); }));
    EXPECT_EQ(heardKept.events, QStringList({ "final:three" }));
    EXPECT_TRUE(heardCancelled.events.isEmpty());
    EXPECT_EQ(recognizer.inFlight(), 0);
}

TEST(FakeSpeechRecognizer, AnswersThePermissionRequestLater)
{
    FakeSpeechRecognizer recognizer;
    recognizer.setAuthorization(RecognizerAuthorization::Denied);
    std::optional<RecognizerAuthorization> answer;
    recognizer.requestAuthorization([&](RecognizerAuthorization status) { answer = status; });
    EXPECT_FALSE(answer.has_value());
    ASSERT_TRUE(test::waitUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, RecognizerAuthorization::Denied);
}

} // namespace
} // namespace murmeli::platform
