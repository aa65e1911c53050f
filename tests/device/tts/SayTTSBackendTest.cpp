#include "main/device/tts/SayTTSBackend.h"

#include <gtest/gtest.h>

#include <memory>

#include <QTemporaryDir>

#include "main/device/tts/TTSEngine.h"
#include "platform/speech/espeak/EspeakSynthesizer.h"
#include "platform/speech/fake/FakeSpeechSynthesizer.h"
#include "tests/support/FakeTTS.h"
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

bool speakNow(device::TTSEngine& engine, const QString& text)
{
    const auto done = test::keepResult(engine.speak(text).then([] { return true; }));
    return test::waitUntil([&] { return done->has_value(); }, 10000);
}

} // namespace

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
    backend->onLog = engine.onLog = [&log](const QString& message, common::LogColor) { log << message; };
    const auto speaker = std::make_shared<test::RecordingTTSOutput>(QStringLiteral("mac-speaker"));
    engine.setBackends({ backend });
    engine.setOutputs({ speaker });
    engine.setEnabled(true);

    ASSERT_TRUE(speakNow(engine, QStringLiteral("Approve. rm -rf build"))) << log.join('\n').toStdString();
    EXPECT_FALSE(engine.isSpeaking());
    ASSERT_EQ(speaker->played.size(), 1u);
    EXPECT_EQ(speaker->played.front(), device::TTSEngine::generateSynthTone(500, 440.0));
    EXPECT_TRUE(log.contains(QStringLiteral("SayTTS: %1 did not finish within 300 ms and was stopped").arg(tool)));
    EXPECT_EQ(log.last(), QStringLiteral("TTS: apple-tts synthesis failed, using tone fallback"));

    // The tool works again: the next phrase is spoken, not dropped behind the one that hung.
    synthesizer->setTool(QStringLiteral("cat"));
    ASSERT_TRUE(speakNow(engine, QStringLiteral("Approve. ls")));
    EXPECT_EQ(synthesizer->phrases(), (QStringList { "Approve. rm -rf build", "Approve. ls" }));
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
