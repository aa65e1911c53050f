#include "main/device/tts/SayTTSBackend.h"

#include "main/common/OffThread.h"
#include "main/device/tts/TTSEngine.h"
#include "platform/speech/SpeechSynthesizerFactory.h"

namespace murmeli::device {

namespace {

// 100 ms of silence after the speech.
constexpr qsizetype trailingSilenceBytes = TTSEngine::sampleRate / 10 * 2;

} // namespace

struct SayTTSBackend::Decoded {
    std::optional<QByteArray> pcm;
    QString error;
};

SayTTSBackend::SayTTSBackend(
    std::shared_ptr<const platform::SpeechSynthesizer> synthesizer, common::CommandRunner runner)
    : m_synthesizer(synthesizer ? std::move(synthesizer) : platform::makeSpeechSynthesizer()),
      m_runner(std::move(runner))
{
}

bool SayTTSBackend::isAvailable() const
{
    return m_synthesizer->isAvailable();
}

void SayTTSBackend::logFailure(const common::ProcessResult& result, const QString& program)
{
    if (!result.started && !result.timedOut) {
        onLog(QStringLiteral("SayTTS: %1 failed: %2").arg(program, result.systemError), common::LogColor::Grey);
    } else if (result.timedOut) {
        onLog(QStringLiteral("SayTTS: %1 did not finish within %2 ms and was stopped")
                  .arg(program)
                  .arg(qint64(toolTimeout.count())),
            common::LogColor::Grey);
    } else if (result.crashed) {
        onLog(QStringLiteral("SayTTS: %1 failed: %2").arg(program, result.systemError), common::LogColor::Grey);
    } else {
        onLog(QStringLiteral("SayTTS: %1 exited with %2").arg(program).arg(result.exitCode), common::LogColor::Grey);
    }
}

QCoro::Task<std::optional<QByteArray>> SayTTSBackend::synthesize(QString text)
{
    // The engine holds this backend until the phrase is done, so `this` outlives every wait below.
    const platform::SpeechCommand command
        = m_synthesizer->command(text, platform::SpeechVoice { rate, voice.value_or(QString()) });
    common::ProcessRequest request;
    request.program = command.program;
    request.arguments = command.arguments;
    request.standardInput = command.standardInput;
    request.timeout = toolTimeout;
    const qsizetype cap = request.maxOutputBytes;
    m_lastCut = false;
    const common::ProcessResult result = co_await m_runner(std::move(request));
    m_lastCut = result.outputTruncated;
    if (m_lastCut) {
        onLog(QStringLiteral("SayTTS: %1 wrote more than %2 MiB of audio; the phrase was cut there")
                  .arg(command.program)
                  .arg(cap / (1024 * 1024)),
            common::LogColor::Grey);
    }
    if (!result.succeeded()) {
        logFailure(result, command.program);
        co_return std::nullopt;
    }

    // Parsing and resampling a long phrase takes a few milliseconds that the main thread need not spend. The work
    // is a named local: g++ 12 destroys a lambda's captures too early when the lambda is made inside co_await.
    std::function<Decoded()> work = [synthesizer = m_synthesizer, output = result.standardOutput] {
        Decoded out;
        out.pcm = synthesizer->decode(output, &out.error);
        return out;
    };
    const Decoded decoded = co_await common::runOffThread(std::move(work));
    if (!decoded.pcm) {
        onLog(QStringLiteral("SayTTS: WAV read failed: ") + decoded.error, common::LogColor::Grey);
        co_return std::nullopt;
    }
    QByteArray pcm = *decoded.pcm;
    pcm.append(QByteArray(trailingSilenceBytes, '\0'));
    co_return pcm;
}

} // namespace murmeli::device
