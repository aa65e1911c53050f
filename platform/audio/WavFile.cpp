#include "platform/audio/WavFile.h"

#include <QtEndian>

#include "main/common/BoundedFile.h"

namespace murmeli::platform::WavFile {

namespace {

constexpr qint64 maxFileBytes = qint64(256) << 20;
constexpr quint16 formatPcm = 1;
constexpr quint16 formatFloat = 3;
constexpr quint16 formatExtensible = 0xFFFE;
constexpr int fmtChunkBytes = 16;
// In an extensible "fmt " chunk the sub-format's first two bytes (the plain format tag) sit at this offset.
constexpr int extensibleTagOffset = 24;

void appendLE16(QByteArray& out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void appendLE32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

std::optional<WavAudio> refuse(QString* error, const QString& reason)
{
    if (error) {
        *error = reason;
    }
    return std::nullopt;
}

std::optional<SampleType> sampleTypeOf(quint16 tag, int bits)
{
    if (tag == formatFloat && bits == 32) {
        return SampleType::Float32;
    }
    if (tag != formatPcm) {
        return std::nullopt;
    }
    switch (bits) {
    case 8:
        return SampleType::UInt8;
    case 16:
        return SampleType::Int16;
    case 32:
        return SampleType::Int32;
    default:
        return std::nullopt;
    }
}

} // namespace

QByteArray header(const AudioFormat& format, quint32 dataBytes)
{
    const auto blockAlign = quint16(format.bytesPerFrame());
    QByteArray out;
    out.reserve(44);
    out.append("RIFF");
    appendLE32(out, dataBytes + 36);
    out.append("WAVEfmt ");
    appendLE32(out, fmtChunkBytes);
    appendLE16(out, format.sampleType == SampleType::Float32 ? formatFloat : formatPcm);
    appendLE16(out, quint16(format.channels));
    appendLE32(out, quint32(format.sampleRate));
    appendLE32(out, quint32(format.sampleRate) * blockAlign);
    appendLE16(out, blockAlign);
    appendLE16(out, quint16(format.bytesPerSample() * 8));
    out.append("data");
    appendLE32(out, dataBytes);
    return out;
}

std::optional<WavAudio> parse(const QByteArray& bytes, QString* error)
{
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") {
        return refuse(error, QStringLiteral("not a RIFF WAVE file"));
    }
    std::optional<AudioFormat> format;
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const qint64 declared = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const qsizetype body = at + 8;
        const qsizetype available = bytes.size() - body;
        if (id == "fmt ") {
            if (declared < fmtChunkBytes || available < fmtChunkBytes) {
                return refuse(error, QStringLiteral("short fmt chunk"));
            }
            const char* fmt = bytes.constData() + body;
            quint16 tag = qFromLittleEndian<quint16>(fmt);
            if (tag == formatExtensible && declared >= extensibleTagOffset + 2
                && available >= extensibleTagOffset + 2) {
                tag = qFromLittleEndian<quint16>(fmt + extensibleTagOffset);
            }
            const int bits = qFromLittleEndian<quint16>(fmt + 14);
            const std::optional<SampleType> type = sampleTypeOf(tag, bits);
            if (!type) {
                return refuse(error, QStringLiteral("unsupported encoding (format %1, %2 bits)").arg(tag).arg(bits));
            }
            format
                = AudioFormat { int(qFromLittleEndian<quint32>(fmt + 4)), qFromLittleEndian<quint16>(fmt + 2), *type };
            if (!format->isValid() || qFromLittleEndian<quint16>(fmt + 12) != format->bytesPerFrame()) {
                return refuse(error, QStringLiteral("implausible format %1").arg(format->describe()));
            }
        } else if (id == "data") {
            if (!format) {
                return refuse(error, QStringLiteral("data chunk before the fmt chunk"));
            }
            const qsizetype length = qsizetype(std::min<qint64>(declared, available));
            const qsizetype whole = length - length % format->bytesPerFrame();
            return WavAudio { *format, bytes.mid(body, whole) };
        }
        // Chunks are padded to an even length.
        at = body + qsizetype(declared + (declared & 1));
    }
    return refuse(error, QStringLiteral("no data chunk"));
}

std::optional<WavAudio> read(const QString& path, QString* error)
{
    common::BoundedFile file(path);
    std::optional<QByteArray> bytes = file.isOpen() ? file.readAll(maxFileBytes) : std::nullopt;
    switch (file.problem()) {
    case common::FileProblem::None:
        return parse(bytes.value_or(QByteArray()), error);
    case common::FileProblem::NotRegularFile:
        return refuse(error, QStringLiteral("not a regular file"));
    case common::FileProblem::TooLarge:
        return refuse(error, QStringLiteral("file too large (%1 bytes)").arg(file.size()));
    case common::FileProblem::Missing:
    case common::FileProblem::Unreadable:
        break;
    }
    return refuse(error, file.errorText());
}

} // namespace murmeli::platform::WavFile
