#include "platform/audio/fake/FakeAudioCapture.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/audio/WavFile.h"

namespace murmeli::platform {

FakeAudioCapture::FakeAudioCapture()
    : m_access { true, QStringLiteral("Fake microphone") }, m_converter(std::make_unique<AudioConverter>(m_format))
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FakeAudioCapture::onTick);
}

FakeAudioCapture::~FakeAudioCapture() = default;

bool FakeAudioCapture::start()
{
    if (m_active) {
        return true;
    }
    ++m_starts;
    if (!m_nextStartError.isEmpty()) {
        m_error = std::exchange(m_nextStartError, QString());
        return false;
    }
    m_error.clear();
    m_delivered.clear();
    m_position = 0;
    m_buffersPlayed = 0;
    m_sourceFinished = false;
    m_converter = std::make_unique<AudioConverter>(m_format);
    m_active = true;
    m_clock.start();
    schedule();
    return true;
}

void FakeAudioCapture::stop()
{
    if (!m_active) {
        return;
    }
    m_active = false;
    m_timer.stop();
    if (!m_sourceFinished) {
        emitPcm(m_converter->flush());
    }
}

bool FakeAudioCapture::loadWav(const QString& path)
{
    QString error;
    const std::optional<WavAudio> audio = WavFile::read(path, &error);
    if (!audio) {
        m_error = QStringLiteral("%1: %2").arg(path, error);
        return false;
    }
    setSource(audio->format, audio->pcm);
    return true;
}

void FakeAudioCapture::setSource(const AudioFormat& format, const QByteArray& pcm)
{
    const bool valid = format.isValid();
    m_format = valid ? format : AudioFormat::take();
    m_source = valid ? pcm.left(pcm.size() - pcm.size() % format.bytesPerFrame()) : QByteArray();
}

void FakeAudioCapture::setBufferFrames(int frames)
{
    m_bufferFrames = std::max(1, frames);
    schedule();
}

void FakeAudioCapture::setSpeed(double speed)
{
    m_speed = std::max(0.0, speed);
    if (m_active) {
        // The new pace counts from here.
        m_clock.start();
        m_buffersPlayed = 0;
    }
    schedule();
}

int FakeAudioCapture::deliver(int buffers)
{
    int played = 0;
    for (; m_active && played < buffers; ++played) {
        deliverOne();
    }
    return played;
}

void FakeAudioCapture::deliverRest()
{
    while (m_active && !m_sourceFinished) {
        deliverOne();
    }
}

void FakeAudioCapture::fail(const QString& error)
{
    if (!m_active) {
        return;
    }
    m_active = false;
    m_timer.stop();
    m_error = error;
    Q_EMIT failed(error);
}

void FakeAudioCapture::deliverOne()
{
    ++m_buffersPlayed;
    if (m_sourceFinished) {
        const qsizetype samples = qsizetype(m_bufferFrames) * AudioFormat::take().sampleRate / m_format.sampleRate;
        emitPcm(QByteArray(samples * qsizetype(sizeof(qint16)), '\0'));
        return;
    }
    const qsizetype length
        = std::min<qsizetype>(qsizetype(m_bufferFrames) * m_format.bytesPerFrame(), m_source.size() - m_position);
    QByteArray pcm = m_converter->convert(QByteArrayView(m_source).sliced(m_position, length));
    m_position += length;
    if (m_position >= m_source.size()) {
        pcm += m_converter->flush();
        m_sourceFinished = true;
    }
    emitPcm(pcm);
    if (m_sourceFinished && m_active) {
        Q_EMIT sourceEnded();
    }
}

void FakeAudioCapture::emitPcm(const QByteArray& pcm)
{
    if (pcm.isEmpty()) {
        return;
    }
    m_delivered += pcm;
    Q_EMIT pcmCaptured(pcm);
}

void FakeAudioCapture::onTick()
{
    // Buffers are due by the clock, not by the count of ticks, so a late tick catches up instead of drifting.
    const double bufferMs = 1000.0 * m_bufferFrames / m_format.sampleRate;
    const auto due = qint64(std::floor(double(m_clock.elapsed()) * m_speed / bufferMs));
    deliver(int(std::clamp<qint64>(due - m_buffersPlayed, 0, 1000)));
}

void FakeAudioCapture::schedule()
{
    if (!m_active || m_speed <= 0) {
        m_timer.stop();
        return;
    }
    const double bufferMs = 1000.0 * m_bufferFrames / m_format.sampleRate;
    m_timer.start(std::max(1, int(bufferMs / m_speed)));
}

} // namespace murmeli::platform
