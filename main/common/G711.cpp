#include "main/common/G711.h"

#include <cstdint>

#include <QtEndian>

namespace murmeli::common::g711 {

QByteArray decodeMulaw(const QByteArray& mulaw)
{
    QByteArray pcm(mulaw.size() * 2, Qt::Uninitialized);
    char* out = pcm.data();
    for (const char byte : mulaw) {
        const int u = ~static_cast<unsigned char>(byte) & 0xFF;
        const int exponent = (u >> 4) & 7;
        const int mantissa = u & 0x0F;
        const int magnitude = ((mantissa << 3) + 0x84) << exponent;
        const int sample = (u & 0x80) ? 0x84 - magnitude : magnitude - 0x84;
        qToLittleEndian(static_cast<std::uint16_t>(static_cast<qint16>(sample)), out);
        out += 2;
    }
    return pcm;
}

} // namespace murmeli::common::g711
