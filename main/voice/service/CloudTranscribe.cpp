#include "main/voice/service/CloudTranscribe.h"

#include <cstdint>

#include <QtEndian>

#include "main/common/G711.h"

namespace murmeli::voice::CloudTranscribe {

namespace {

void appendLE16(QByteArray& out, std::uint16_t value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void appendLE32(QByteArray& out, std::uint32_t value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void appendSample(QByteArray& out, qint16 sample)
{
    appendLE16(out, static_cast<std::uint16_t>(sample));
}

qint16 sampleAt(const QByteArray& pcm, qsizetype index)
{
    return qFromLittleEndian<qint16>(pcm.constData() + index * 2);
}

} // namespace

QByteArray buildWAV(const QByteArray& pcm, int sampleRate)
{
    constexpr int headerSize = 44;
    const auto dataSize = static_cast<std::uint32_t>(pcm.size());
    const auto rate = static_cast<std::uint32_t>(sampleRate);
    QByteArray wav;
    wav.reserve(headerSize + pcm.size());
    wav.append("RIFF");
    appendLE32(wav, dataSize + 36);
    wav.append("WAVE");
    wav.append("fmt ");
    appendLE32(wav, 16);
    appendLE16(wav, 1); // integer PCM
    appendLE16(wav, 1); // mono
    appendLE32(wav, rate);
    appendLE32(wav, rate * 2);
    appendLE16(wav, 2);
    appendLE16(wav, 16);
    wav.append("data");
    appendLE32(wav, dataSize);
    wav.append(pcm);
    return wav;
}

QByteArray decodeMulaw(const QByteArray& mulaw)
{
    return common::g711::decodeMulaw(mulaw);
}

QByteArray resample8to16(const QByteArray& pcm)
{
    if (pcm.size() < 4) {
        return pcm;
    }
    const qsizetype n = pcm.size() / 2;
    QByteArray out;
    out.reserve(n * 4);
    for (qsizetype i = 0; i + 1 < n; ++i) {
        const qint32 current = sampleAt(pcm, i);
        const qint32 next = sampleAt(pcm, i + 1);
        appendSample(out, static_cast<qint16>(current));
        appendSample(out, static_cast<qint16>((current + next) / 2));
    }
    const qint16 last = sampleAt(pcm, n - 1);
    appendSample(out, last);
    appendSample(out, last);
    return out;
}

} // namespace murmeli::voice::CloudTranscribe
