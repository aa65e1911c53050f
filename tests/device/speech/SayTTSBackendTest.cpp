#include "main/device/speech/SayTTSBackend.h"

#include <gtest/gtest.h>

#include <memory>

#include <QTemporaryDir>

#include "main/device/speech/TTSEngine.h"
#include "platform/speech/espeak/EspeakSynthesizer.h"
#include "platform/speech/fake/FakeSpeechSynthesizer.h"
#include "tests/device/support/FakeTTS.h"
#include "tests/support/Files.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using device::SayTTSBackend;

namespace {

std::optional<QByteArray> synthesizeNow(SayTTSBackend& backend, const QString& text)
{
    const auto result = test::keepResult(backend.synthesize(text));
    EXPECT_TRUE(test::waitUntil([&] { return result->has_value(); }, 10000)) << text.toStdString();
    return result->value_or(std::nullopt);
}

} // namespace

TEST(SayTTSBackendTest, EachWayTheToolCanFailIsLoggedAndGivesNoSpeech)
{
    const auto synthesizer = std::make_shared<platform::FakeSpeechSynthesizer>();
    const QByteArray wav = synthesizer->command(QString(), {}).standardInput;
    struct Case {
        const char* name;
        common::ProcessResult result;
        QString logged; // "" when the phrase is spoken
    };
    const auto ran = [](int status, QByteArray output) {
        common::ProcessResult result;
        result.started = true;
        result.exitCode = status;
        result.standardOutput = std::move(output);
        return result;
    };
    common::ProcessResult missing;
    missing.systemError = QStringLiteral("No such file or directory");
    common::ProcessResult hung = ran(-1, {});
    hung.timedOut = true;
    common::ProcessResult crashed = ran(-1, {});
    crashed.crashed = true;
    crashed.systemError = QStringLiteral("Process crashed");
    const Case cases[] = {
        { "spoken", ran(0, wav), QString() },
        { "not installed", missing, QStringLiteral("SayTTS: cat failed: No such file or directory") },
        { "exit status", ran(3, wav), QStringLiteral("SayTTS: cat exited with 3") },
        { "crashed", crashed, QStringLiteral("SayTTS: cat failed: Process crashed") },
        { "hung", hung, QStringLiteral("SayTTS: cat did not finish within 250 ms and was stopped") },
        { "no WAV", ran(0, "RIFF"), QStringLiteral("SayTTS: WAV read failed: ") },
    };
    for (const Case& c : cases) {
        std::optional<common::ProcessRequest> request;
        SayTTSBackend backend(synthesizer, [&](common::ProcessRequest sent) -> QCoro::Task<common::ProcessResult> {
            request = sent;
            co_return c.result;
        });
        backend.toolTimeout = std::chrono::milliseconds(250);
        QStringList log;
        backend.onLog = [&log](const QString& message, common::LogColor) { log << message; };

        const std::optional<QByteArray> pcm = synthesizeNow(backend, QStringLiteral("Done."));
        ASSERT_TRUE(request) << c.name;
        EXPECT_EQ(request->timeout, std::chrono::milliseconds(250)) << c.name;
        if (c.logged.isEmpty()) {
            // 100 ms of silence follows the speech.
            EXPECT_EQ(pcm, synthesizer->speech() + QByteArray(3200, '\0')) << c.name;
            EXPECT_TRUE(log.isEmpty()) << c.name;
        } else {
            EXPECT_FALSE(pcm) << c.name;
            ASSERT_EQ(log.size(), 1) << c.name;
            EXPECT_TRUE(log.front().startsWith(c.logged)) << c.name << ": " << log.front().toStdString();
        }
    }
}

TEST(SayTTSBackendTest, AHangingToolIsStoppedAndLaterPhrasesAreSpoken)
{
    QTemporaryDir dir;
    const QString tool = dir.filePath(QStringLiteral("hanging-tool"));
    ASSERT_TRUE(test::writeScript(tool, "exec sleep 600\n"));
    const auto synthesizer = std::make_shared<platform::FakeSpeechSynthesizer>();
    synthesizer->setTool(tool);
    auto backend = std::make_shared<SayTTSBackend>(synthesizer);
    backend->toolTimeout = std::chrono::milliseconds(300);

    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    device::TTSEngine engine(defaults);
    QStringList log;
    engine.onLog = [&log](const QString& message, common::LogColor) { log << message; };
    backend->onLog = engine.onLog;
    const auto speaker = std::make_shared<test::RecordingTTSOutput>(QStringLiteral("mac-speaker"));
    engine.setBackends({ backend });
    engine.setOutputs({ speaker });
    engine.setEnabled(true);

    const auto first = test::keepResult([](device::TTSEngine& tts) -> QCoro::Task<bool> {
        co_await tts.speak(QStringLiteral("Approve. rm -rf build"));
        co_return true;
    }(engine));
    ASSERT_TRUE(test::waitUntil([&] { return first->has_value(); }, 10000)) << log.join('\n').toStdString();
    EXPECT_FALSE(engine.isSpeaking());
    ASSERT_EQ(speaker->played.size(), 1u);
    EXPECT_EQ(speaker->played.front(), device::TTSEngine::generateSynthTone(500, 440.0));
    EXPECT_TRUE(log.contains(QStringLiteral("SayTTS: %1 did not finish within 300 ms and was stopped").arg(tool)));
    EXPECT_EQ(log.last(), QStringLiteral("TTS: apple-tts synthesis failed, using tone fallback"));

    // The tool works again: the next phrase is spoken, not dropped behind the one that hung.
    synthesizer->setTool(QStringLiteral("cat"));
    const auto second = test::keepResult([](device::TTSEngine& tts) -> QCoro::Task<bool> {
        co_await tts.speak(QStringLiteral("Approve. ls"));
        co_return true;
    }(engine));
    ASSERT_TRUE(test::waitUntil([&] { return second->has_value(); }, 10000));
    EXPECT_EQ(speaker->played.size(), 2u);
    EXPECT_NE(speaker->played.back(), speaker->played.front());
}

TEST(SayTTSBackendTest, APhraseThatLooksLikeAnOptionReachesTheToolAsText)
{
    // A stand-in for the speech tool that notes its arguments and what it was given to read.
    QTemporaryDir dir;
    const QString tool = dir.filePath(QStringLiteral("speech-tool"));
    ASSERT_TRUE(test::writeScript(
        tool, QStringLiteral("printf '%s\\n' \"$@\" > '%1/arguments'\ncat > '%1/text'\n").arg(dir.path()).toUtf8()));
    SayTTSBackend backend(std::make_shared<platform::EspeakSynthesizer>(tool));
    backend.voice = QStringLiteral("en-gb");
    for (const QString& phrase :
        { QStringLiteral("--help"), QStringLiteral("-w /tmp/x.wav"), QStringLiteral("-- mcp__tool failed") }) {
        EXPECT_FALSE(synthesizeNow(backend, phrase));
        EXPECT_EQ(test::readFile(dir.filePath(QStringLiteral("text"))), phrase.toUtf8());
        const QByteArray arguments = test::readFile(dir.filePath(QStringLiteral("arguments")));
        EXPECT_TRUE(arguments.contains("\n-v\nen-gb\n")) << arguments.constData();
        EXPECT_FALSE(arguments.contains(phrase.toUtf8())) << arguments.constData();
    }
}
