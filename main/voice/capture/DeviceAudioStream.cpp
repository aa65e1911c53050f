#include "main/voice/capture/DeviceAudioStream.h"

#include <QtEndian>

#include "main/voice/service/CloudTranscribe.h"

namespace murmeli::voice {

namespace {

constexpr qsizetype sampleBytes = 2;

QByteArray sampleBytesOf(qint16 sample)
{
    QByteArray bytes(sampleBytes, Qt::Uninitialized);
    qToLittleEndian(sample, bytes.data());
    return bytes;
}

} // namespace

QByteArray DeviceAudioStream::feed(const QByteArray& mulaw)
{
    QByteArray pcm = m_held ? sampleBytesOf(*m_held) : QByteArray();
    pcm.append(CloudTranscribe::decodeMulaw(mulaw));
    if (pcm.isEmpty()) {
        return {};
    }
    m_held = qFromLittleEndian<qint16>(pcm.constData() + pcm.size() - sampleBytes);
    if (pcm.size() < 2 * sampleBytes) {
        return {};
    }
    // The resampler ends on the last sample twice; here that end belongs to the next frame's first midpoint.
    QByteArray resampled = CloudTranscribe::resample8to16(pcm);
    resampled.chop(2 * sampleBytes);
    return resampled;
}

QByteArray DeviceAudioStream::finish()
{
    if (!m_held) {
        return {};
    }
    const QByteArray last = sampleBytesOf(*m_held);
    m_held.reset();
    return last + last;
}

} // namespace murmeli::voice
