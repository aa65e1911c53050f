#pragma once

#include "platform/speech/SpeechSynthesizer.h"

namespace murmeli::platform {

/// Speech by eSpeak NG's command-line tool, which writes a streamed WAV of its own rate (22050 Hz for its voices) to
/// standard output; decode() parses the RIFF chunks and resamples to take PCM.
class EspeakSynthesizer final : public SpeechSynthesizer {
public:
    static constexpr auto toolName = "espeak-ng";

    /// The tool at program; empty looks for espeak-ng on the PATH.
    explicit EspeakSynthesizer(QString program = {});

    bool isAvailable() const override;
    QString program() const override { return m_program; }
    SpeechCommand command(const QString& text, const SpeechVoice& voice) const override;
    std::optional<QByteArray> decode(const QByteArray& output, QString* error = nullptr) const override;

private:
    QString m_program;
};

} // namespace murmeli::platform
