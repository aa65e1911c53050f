#pragma once

#include <QByteArray>

/// G.711 µ-law, the device microphone's 8 kHz wire format; shared by the device link and the cloud upload.
namespace murmeli::common::g711 {

/// One signed 16-bit little-endian sample per input byte, by the standard µ-law expansion; "" for "".
QByteArray decodeMulaw(const QByteArray& mulaw);

} // namespace murmeli::common::g711
