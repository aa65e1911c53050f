#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "main/common/Log.h"
#include "main/common/ProcessRunner.h"
#include "main/device/tts/TTSBackend.h"
#include "platform/speech/SpeechSynthesizer.h"

namespace murmeli::device {

/// Synthesis by the system's speech tool (platform::SpeechSynthesizer), run through the program's process runner
/// with a time limit: a tool that hangs is stopped, so the phrase fails over to the tone instead of keeping the
/// engine busy for ever. The tool's WAV is parsed and resampled off the main thread; the PCM ends with 100 ms of
/// silence so that the last syllable is not cut short by the player.
class SayTTSBackend final : public TTSBackend {
public:
    static constexpr auto backendId = "apple-tts";
    static constexpr auto backendDisplayName = "eSpeak NG";
    static constexpr std::chrono::milliseconds defaultToolTimeout { 5000 };

    /// The system's synthesiser and the program's runner by default.
    explicit SayTTSBackend(std::shared_ptr<const platform::SpeechSynthesizer> synthesizer = {},
        common::CommandRunner runner = common::defaultCommandRunner());

    /// Words a minute.
    int rate = 160;
    /// The tool's voice; its default when unset.
    std::optional<QString> voice;
    /// How long one run of the tool may take before it is stopped.
    std::chrono::milliseconds toolTimeout = defaultToolTimeout;
    common::LogSink onLog;

    QString id() const override { return QString::fromLatin1(backendId); }
    QString displayName() const override { return QString::fromLatin1(backendDisplayName); }
    /// Whether the speech tool is installed.
    bool isAvailable() const override;
    QCoro::Task<std::optional<QByteArray>> synthesize(QString text) override;
    /// Whether the tool's output for the last phrase passed the runner's cap, so that its end is missing.
    bool lastPhraseWasCut() const { return m_lastCut; }

private:
    // A member rather than a type of the .cpp's own: synthesize()'s coroutine frame holds one.
    struct Decoded;

    void logFailure(const common::ProcessResult& result, const QString& program);

    std::shared_ptr<const platform::SpeechSynthesizer> m_synthesizer;
    common::CommandRunner m_runner;
    bool m_lastCut = false;
};

} // namespace murmeli::device
