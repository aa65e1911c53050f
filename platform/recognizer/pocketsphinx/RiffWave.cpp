#include "platform/recognizer/pocketsphinx/RiffWave.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QtEndian>

namespace murmeli::platform::RiffWave {

namespace {

constexpr quint16 kFormatPcm = 1;
constexpr quint16 kFormatFloat = 3;
constexpr quint16 kFormatExtensible = 0xFFFE;
constexpr int kMaxChannels = 32;

struct Format final {
    quint16 encoding = 0;
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int blockAlign = 0;
};

quint16 u16(const char* at)
{
    return qFromLittleEndian<quint16>(at);
}

quint32 u32(const char* at)
{
    return qFromLittleEndian<quint32>(at);
}

std::optional<Format> parseFormat(const char* body, quint32 size, QString* whyNot)
{
    if (size < 16) {
        *whyNot = QStringLiteral("its format chunk is too short");
        return std::nullopt;
    }
    Format format;
    format.encoding = u16(body);
    format.channels = u16(body + 2);
    format.sampleRate = static_cast<int>(std::min<quint32>(u32(body + 4), 1'000'000));
    format.blockAlign = u16(body + 12);
    format.bitsPerSample = u16(body + 14);
    // The extensible header names the real encoding in the first two bytes of its sub-format GUID.
    if (format.encoding == kFormatExtensible) {
        if (size < 40) {
            *whyNot = QStringLiteral("its extensible format chunk is too short");
            return std::nullopt;
        }
        format.encoding = u16(body + 24);
    }
    const bool integer = format.encoding == kFormatPcm
        && (format.bitsPerSample == 8 || format.bitsPerSample == 16 || format.bitsPerSample == 24
            || format.bitsPerSample == 32);
    const bool floating = format.encoding == kFormatFloat && (format.bitsPerSample == 32 || format.bitsPerSample == 64);
    if (!integer && !floating) {
        *whyNot = QStringLiteral("it holds audio encoded as format %1 with %2-bit samples, not PCM")
                      .arg(format.encoding)
                      .arg(format.bitsPerSample);
        return std::nullopt;
    }
    if (format.channels < 1 || format.channels > kMaxChannels || format.sampleRate < 1
        || format.blockAlign < format.channels * format.bitsPerSample / 8) {
        *whyNot = QStringLiteral("its format chunk is inconsistent");
        return std::nullopt;
    }
    return format;
}

// One sample as a value in [-1, 1).
double sampleAt(const char* at, const Format& format)
{
    if (format.encoding == kFormatFloat) {
        if (format.bitsPerSample == 32) {
            const quint32 bits = u32(at);
            float value = 0;
            std::memcpy(&value, &bits, sizeof value);
            return std::isfinite(value) ? value : 0.0;
        }
        const quint64 bits = qFromLittleEndian<quint64>(at);
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return std::isfinite(value) ? value : 0.0;
    }
    switch (format.bitsPerSample) {
    case 8: // unsigned, centred on 128
        return (static_cast<quint8>(*at) - 128) / 128.0;
    case 16:
        return static_cast<qint16>(u16(at)) / 32768.0;
    case 24: {
        const qint32 value = static_cast<qint32>(static_cast<quint32>(static_cast<quint8>(at[0])) << 8
                                 | static_cast<quint32>(static_cast<quint8>(at[1])) << 16
                                 | static_cast<quint32>(static_cast<quint8>(at[2])) << 24)
            >> 8;
        return value / 8388608.0;
    }
    default:
        return static_cast<qint32>(u32(at)) / 2147483648.0;
    }
}

MonoPcm mixDown(const char* data, qsizetype bytes, const Format& format)
{
    MonoPcm pcm;
    pcm.sampleRate = format.sampleRate;
    const int sampleBytes = format.bitsPerSample / 8;
    const qsizetype frames = bytes / format.blockAlign;
    pcm.samples.reserve(static_cast<size_t>(frames));
    for (qsizetype frame = 0; frame < frames; ++frame) {
        const char* at = data + frame * format.blockAlign;
        double sum = 0;
        for (int channel = 0; channel < format.channels; ++channel) {
            sum += sampleAt(at + channel * sampleBytes, format);
        }
        const double scaled = std::round(sum / format.channels * 32768.0);
        pcm.samples.push_back(static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0)));
    }
    return pcm;
}

} // namespace

std::optional<MonoPcm> decode(const QByteArray& file, QString* whyNot)
{
    const char* bytes = file.constData();
    const qsizetype size = file.size();
    if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0) {
        *whyNot = QStringLiteral("it is not a RIFF/WAVE file");
        return std::nullopt;
    }
    std::optional<Format> format;
    const char* data = nullptr;
    qsizetype dataBytes = 0;
    // The RIFF size is ignored: writers that stream leave it wrong, and the chunks say the same thing.
    qsizetype at = 12;
    while (at + 8 <= size) {
        const char* id = bytes + at;
        // A chunk cut short by the end of the file keeps what is there, as a recording that stopped abruptly does.
        const qsizetype body = at + 8;
        const qsizetype length = std::min<qsizetype>(u32(bytes + at + 4), size - body);
        if (std::memcmp(id, "fmt ", 4) == 0 && !format) {
            format = parseFormat(bytes + body, static_cast<quint32>(length), whyNot);
            if (!format) {
                return std::nullopt;
            }
        } else if (std::memcmp(id, "data", 4) == 0 && !data) {
            data = bytes + body;
            dataBytes = length;
        }
        // Chunks are padded to an even length.
        at = body + length + (length & 1);
    }
    if (!format) {
        *whyNot = QStringLiteral("it has no format chunk");
        return std::nullopt;
    }
    if (!data) {
        *whyNot = QStringLiteral("it has no data chunk");
        return std::nullopt;
    }
    return mixDown(data, dataBytes, *format);
}

} // namespace murmeli::platform::RiffWave
