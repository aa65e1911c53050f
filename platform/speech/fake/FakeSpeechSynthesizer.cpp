#include "platform/speech/fake/FakeSpeechSynthesizer.h"

#include <cmath>
#include <numbers>

#include <QMutexLocker>
#include <QtEndian>

#include "platform/audio/WavFile.h"

namespace murmeli::platform {

namespace {

QByteArray tone(double hz, int ms)
{
    const AudioFormat take = AudioFormat::take();
    const qsizetype samples = take.bytesForMs(ms) / take.bytesPerSample();
    QByteArray pcm(samples * take.bytesPerSample(), Qt::Uninitialized);
    for (qsizetype i = 0; i < samples; ++i) {
        const double value = 8000.0 * std::sin(2.0 * std::numbers::pi * hz * double(i) / take.sampleRate);
        qToLittleEndian<qint16>(static_cast<qint16>(value), pcm.data() + i * take.bytesPerSample());
    }
    return pcm;
}

} // namespace

FakeSpeechSynthesizer::FakeSpeechSynthesizer() : m_speech(tone(440.0, 200)), m_program(QStringLiteral("cat")) { }

void FakeSpeechSynthesizer::setTool(const QString& program, const QStringList& arguments)
{
    m_program = program;
    m_arguments = arguments;
}

QStringList FakeSpeechSynthesizer::phrases() const
{
    const QMutexLocker lock(&m_mutex);
    return m_phrases;
}

SpeechCommand FakeSpeechSynthesizer::command(const QString& text, const SpeechVoice&) const
{
    {
        const QMutexLocker lock(&m_mutex);
        m_phrases << text;
    }
    return { m_program, m_arguments, WavFile::header(AudioFormat::take(), quint32(m_speech.size())) + m_speech };
}

std::optional<QByteArray> FakeSpeechSynthesizer::decode(const QByteArray& output, QString* error) const
{
    QString reason = QStringLiteral("not take PCM");
    const std::optional<WavAudio> wav = WavFile::parse(output, &reason);
    if (wav && wav->format == AudioFormat::take()) {
        return wav->pcm;
    }
    if (error) {
        *error = reason;
    }
    return std::nullopt;
}

} // namespace murmeli::platform
