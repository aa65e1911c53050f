#include "platform/speech/espeak/EspeakSynthesizer.h"

#include <algorithm>

#include <QFileInfo>
#include <QStandardPaths>

#include "platform/audio/AudioConverter.h"
#include "platform/audio/WavFile.h"

namespace murmeli::platform {

namespace {

// The tool's own bounds for its speed; outside them it clamps silently, so we say what we mean.
constexpr int slowestRate = 80;
constexpr int fastestRate = 450;

std::optional<QByteArray> refuse(QString* error, const QString& reason)
{
    if (error) {
        *error = reason;
    }
    return std::nullopt;
}

} // namespace

EspeakSynthesizer::EspeakSynthesizer(QString program) : m_program(std::move(program))
{
    if (m_program.isEmpty()) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(toolName));
        m_program = found.isEmpty() ? QString::fromLatin1(toolName) : found;
    }
}

bool EspeakSynthesizer::isAvailable() const
{
    const QFileInfo tool(m_program);
    return tool.isAbsolute() && tool.isFile() && tool.isExecutable();
}

SpeechCommand EspeakSynthesizer::command(const QString& text, const SpeechVoice& voice) const
{
    // The text goes on standard input, read whole (--stdin): a phrase such as a tool named "--help" is spoken, never
    // taken for an option. --stdout streams the WAV through the pipe, so no file is ever made for it.
    QStringList arguments { QStringLiteral("--stdin"), QStringLiteral("--stdout"), QStringLiteral("-b"),
        QStringLiteral("1"), QStringLiteral("-s"), QString::number(std::clamp(voice.rate, slowestRate, fastestRate)) };
    if (!voice.voice.isEmpty()) {
        arguments << QStringLiteral("-v") << voice.voice;
    }
    return { m_program, arguments, text.toUtf8() };
}

std::optional<QByteArray> EspeakSynthesizer::decode(const QByteArray& output, QString* error) const
{
    // Streamed to a pipe, the header's sizes say "unknown" (0x7fffffff); the parser reads the data that is there.
    QString reason;
    const std::optional<WavAudio> wav = WavFile::parse(output, &reason);
    if (!wav) {
        return refuse(error, reason);
    }
    if (wav->pcm.isEmpty()) {
        return refuse(error, QStringLiteral("no samples"));
    }
    if (wav->format == AudioFormat::take()) {
        return wav->pcm;
    }
    QByteArray pcm = AudioConverter::convertWhole(wav->format, wav->pcm);
    if (pcm.isEmpty()) {
        return refuse(error, QStringLiteral("cannot convert %1").arg(wav->format.describe()));
    }
    return pcm;
}

} // namespace murmeli::platform
